// The guard around foreign code: faults end the call, never the program,
// and leave the program able to do the same again.
#include <cstdio>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/error_report.h"
#include "common/runtime_error.h"
#include "plugin/win32/bridge.h"
#include "guard/win32/fault_words.h"
#include "guard/win32/guard.h"
#include "plugin/win32/libraries.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

volatile int zero = 0;
int* volatile nowhere = nullptr;

// Deeper and deeper until the stack runs out (the depth cannot reach the bound).
int Deeper(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return depth < 1 << 30 ? Deeper(depth + 1) + frame[0] : 0;
}

// Some machines (sandboxed kernels among them) let an integer division by
// zero go on with a result instead of trapping; the cases that divide by
// zero need a machine that traps.
bool DivisionByZeroTraps() {
    Fault fault;
    auto divide = [] { zero = 1 / zero; };
    return !RunGuarded(divide, fault);
}

TEST(Guard, AFaultInsideAGuardEndsOnlyThatGuardAndIsDescribed) {
    Fault inner, outer;
    bool innerReturned = true;
    auto body = [&] {
        auto write = [] { *nowhere = 1; };
        innerReturned = RunGuarded(write, inner);
        auto divide = [] { zero = 1 / zero; };  // the outer guard's own fault, after the inner one
        (void)RunGuarded(divide, outer);
        *nowhere = 2;
    };
    Fault outermost;
    EXPECT_FALSE(RunGuarded(body, outermost));
    EXPECT_FALSE(innerReturned);
    EXPECT_EQ(inner.code, EXCEPTION_ACCESS_VIOLATION);
    EXPECT_THAT(DescribeFault(inner), StartsWith(L"Zugriffsverletzung (0xC0000005) beim Schreiben "
                                                 L"an Adresse 0x0 in windows_tests.exe+0x"));
    if (DivisionByZeroTraps()) {
        EXPECT_EQ(outer.code, static_cast<DWORD>(EXCEPTION_INT_DIVIDE_BY_ZERO));
    }
    EXPECT_EQ(outermost.code, EXCEPTION_ACCESS_VIOLATION);

    int ran = 0;
    auto fine = [&] { ran = 42; };
    Fault none;
    EXPECT_TRUE(RunGuarded(fine, none));
    EXPECT_EQ(ran, 42);
}

TEST(Guard, AStackOverflowCanHappenAgainAfterTheFirst) {
    // The third one shows that the stack's guard page was armed again.
    for (int i = 0; i < 3; ++i) {
        Fault fault;
        int depth = 0;
        auto overflow = [&] { depth = Deeper(0); };
        EXPECT_FALSE(RunGuarded(overflow, fault)) << i;
        EXPECT_EQ(fault.code, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW)) << i;
    }
}

TEST(Guard, OurOwnErrorsStillReachTheErrorReport) {
    std::wstring report;
    RunReportingFailures(
        L"PluginRun", L"Command10_Click",
        [] {
            CallForeign(ForeignCall::Export(L"Das Plugin", L"gut.dll", L"PluginRun"), [] {});
            throw RuntimeError(L"Eigener Fehler.");
        },
        [&](const std::wstring& r) { report = r; });
    EXPECT_THAT(report, HasSubstr(L"Eigener Fehler."));
    RunReportingFailures(
        L"PluginRun", L"Command10_Click",
        [] {
            CallForeign(ForeignCall::Export(L"Das Plugin", L"crash.dll", L"PluginRun"),
                        [] { *nowhere = 3; });
        },
        [&](const std::wstring& r) { report = r; });
    EXPECT_THAT(
        report,
        HasSubstr(L"Das Plugin \u201Ecrash.dll\u201C ist beim Aufruf von PluginRun abgestürzt: "
                  L"Zugriffsverletzung (0xC0000005)"));
}

// Faulty plugins through the reference bridge; a good one runs after each.
class FaultyPlugins : public ::testing::Test {
  protected:
    std::wstring RunAndReport(const wchar_t* plugin) {
        std::wstring path = InTestFolder(plugin);
        try {
            bridge.PluginRun(L"Text", path);
        } catch (const RuntimeError& e) {
            return e.Description();
        }
        return L"(kein Fehler)";
    }
    Bindings bindings;
    Win32Bridge bridge{bindings};
};

TEST_F(FaultyPlugins, EachFaultIsReportedWithThePluginAndTheKind) {
    struct Case {
        const wchar_t* plugin;
        const wchar_t* said;
    };
    for (const Case c : {
             Case{L"nullwrite.dll",
                  L"Zugriffsverletzung (0xC0000005) beim Schreiben an Adresse 0x0 in "
                  L"nullwrite.dll!TsRun+0x"},
             Case{L"divzero.dll",
                  L"Ganzzahlige Division durch null (0xC0000094) in divzero.dll!TsRun+0x"},
             Case{L"illegal.dll", L"Ungültiger Befehl (0xC000001D) in illegal.dll!TsRun+0x"},
             Case{L"stack.dll", L"Stapelüberlauf (0xC00000FD) in stack.dll"},
             Case{L"garbage.dll", L"der Zeiger 0xDEAD0000 ist kein BSTR aus SysAllocStringByteLen"},
             Case{L"staticresult.dll", L"ist kein BSTR aus SysAllocStringByteLen"},
             Case{L"inputresult.dll", L"ist kein BSTR aus SysAllocStringByteLen"},
             // 64-bit: the exception leaves the plugin; 32-bit: its own runtime
             // cannot unwind past the plugin and calls std::terminate.
             Case{L"throw.dll", sizeof(void*) == 8 ? L"C++-Ausnahme" : L"Programmabbruch (abort oder std::terminate)"},
             Case{L"abort.dll", L"Programmabbruch (abort oder std::terminate)"},
         }) {
        if (std::wstring(c.plugin) == L"divzero.dll" && !DivisionByZeroTraps()) {
            std::printf(
                "this machine does not trap an integer division by zero: divzero.dll not "
                "checked\n");
            continue;
        }
        const std::wstring report = RunAndReport(c.plugin);
        EXPECT_THAT(report, HasSubstr(L"Das Plugin \u201E" + std::wstring(c.plugin) + L"\u201C"))
            << c.plugin;
        EXPECT_THAT(report, HasSubstr(c.said)) << c.plugin;
        std::wstring good = InTestFolder(L"entities.dll");
        EXPECT_EQ(bridge.PluginRun(L"<ä>", good), L"&lt;&auml;&gt;") << "after " << c.plugin;
    }
}

TEST_F(FaultyPlugins, AFaultInALibrarysEntryPointEndsOnlyItsLoad) {
    Win32Libraries libraries;
    LibraryHandle handle = 1;
    try {
        handle = libraries.Load(InTestFolder(L"entry.dll"));
    } catch (const RuntimeError& e) {
        EXPECT_THAT(e.Description(), HasSubstr(L"\u201Eentry.dll\u201C ist beim Laden abgestürzt"));
        handle = 0;
    }
    EXPECT_EQ(handle, 0u);  // Wine's loader catches the fault itself and fails the load
    EXPECT_NE(libraries.Load(InTestFolder(L"entities.dll")), 0u);
}

}  // namespace
}  // namespace dllscope::testing
