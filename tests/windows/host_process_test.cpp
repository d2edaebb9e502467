// The plugin's own process as its caller sees it: a host that ends on its
// own account while a plugin's call runs is said as such, naming the plugin
// and the call, and the next call gets a new host.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "host/host_protocol.h"
#include "app/win32/plugin_route.h"
#include "host/win32/bulk_sections.h"
#include "plugin/bridge_cycle.h"
#include "host/win32/host_process.h"
#include "host/win32/mailbox.h"
#include "host/host_words.h"
#include "test_support.h"

namespace dllscope::testing {
namespace {

struct Patient : HostWaiting {
    DWORD HangMilliseconds() override { return 60000; }
    bool EndHungCall(const ForeignCall&, unsigned long long, HangSampling&) override {
        return true;
    }
};

// A host of the test folder's programs and the caller's end of it.
struct RealHost {
    explicit RealHost(HostWaiting& waiting)
        : host(InTestFolder(L"dllscope-host.exe"), InTestFolder(L"modbridge.dll"), waiting) {}
    PluginHost host;
    HostClient client{host};
    AnsiTextCodec codec;
    HostBridge bridge{client, codec, InTestFolder(L"modbridge.dll")};
};

// Ends the process `id` with `code` after a second, as the system would end
// a host that lost its connection.
DWORD WINAPI EndLater(void* id) {
    Sleep(1000);
    const HANDLE process =
        OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(id)));
    TerminateProcess(process, kHostExitLostPipe);
    CloseHandle(process);
    return 0;
}

TEST(HostProcess, AHostThatEndsOnItsOwnAccountDuringACallNamesThePluginAndTheCall) {
    Patient waiting;
    RealHost real(waiting);
    PluginHost& host = real.host;
    HostBridge& bridge = real.bridge;
    std::wstring loop = InTestFolder(L"loop.dll");
    EXPECT_EQ(bridge.PluginBackvalue(loop), 1);  // the host runs
    const HANDLE ender =
        CreateThread(nullptr, 0, EndLater,
                     reinterpret_cast<void*>(static_cast<ULONG_PTR>(host.ProcessId())), 0, nullptr);
    try {
        bridge.PluginRun(L"x", loop);
        ADD_FAILURE() << "the call came back";
    } catch (const PluginProcessEnded& e) {
        EXPECT_EQ(e.Description(),
                  L"Der Plugin-Prozess von \u201Eloop.dll\u201C hat beim Aufruf von PluginRun die "
                  L"Verbindung verloren und wurde beendet. Das Plugin hat womöglich einen Handle "
                  L"geschlossen oder beschrieben, der nicht seiner war.");
    }
    WaitForSingleObject(ender, INFINITE);
    CloseHandle(ender);
    std::wstring good = InTestFolder(L"entities.dll");
    EXPECT_EQ(bridge.PluginRun(L"<ä>", good), L"&lt;&auml;&gt;");  // in a new host
}

// A section the host only reserved: taking its bytes is refused, not a
// fault in the caller.
TEST(HostProcess, BytesOfASectionWithoutCommittedPagesAreRefused) {
    const HANDLE reserved = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr,
                                               PAGE_READWRITE | SEC_RESERVE, 0, 1 << 20, nullptr);
    ASSERT_NE(reserved, nullptr);
    std::string bytes;
    EXPECT_FALSE(TakeFromSection(reserved, 1 << 20, bytes));
    EXPECT_TRUE(bytes.empty());
    CloseHandle(reserved);
    const HANDLE whole = SectionWith("abc");
    EXPECT_TRUE(TakeFromSection(whole, 3, bytes));
    EXPECT_EQ(bytes, "abc");
    CloseHandle(whole);
}

// In Dllscope's isolated mode each plugin gets a host of its own: selecting
// another ends the host of the one before, selecting the same keeps it,
// and the bridge the cycle loaded first serves in the new host.
TEST(HostProcess, EachPluginSelectedGetsAHostOfItsOwn) {
    Bindings bindings;
    Win32Libraries libraries;
    Win32Bridge inProcess{bindings};
    HWND owner = nullptr;
    PluginRoute route(libraries, inProcess, InTestFolder(L"dllscope-host.exe"), owner);
    route.SetIsolated(true);
    const auto select = [&](const wchar_t* name) {
        std::wstring path = InTestFolder(name);
        std::int16_t code = 0;
        RunBridgeCycle(route, InTestFolder(L"modbridge.dll"), path,
                       [&](LibraryHandle) { code = route.PluginBackvalue(path); });
        return std::make_pair(code, route.HostProcessId());
    };
    const auto first = select(L"entities.dll");
    const auto again = select(L"entities.dll");
    const auto other = select(L"loop.dll");
    EXPECT_EQ(first.first, 1);
    EXPECT_EQ(again.second, first.second);
    EXPECT_EQ(other.first, 1);
    EXPECT_NE(other.second, first.second);
}

// A waiter that grants a call its time in slices of 100 ms, as the
// examination does, and ends it after 1.5 s in all.
struct Slicing : HostWaiting {
    unsigned long long ran = 0;
    void BeforeCall(const ForeignCall&) override { ran = 0; }
    DWORD HangMilliseconds() override { return 100; }
    bool EndHungCall(const ForeignCall&, unsigned long long milliseconds, HangSampling&) override {
        ran += milliseconds;
        return ran >= 1500;
    }
};

// The words of a hang give the whole call's time, not the last slice's,
// and where the plugin was found.
TEST(HostProcess, AHangEndedAfterSlicesIsSaidWithTheWholeCallsTimeAndItsLine) {
    Slicing waiting;
    RealHost real(waiting);
    HostBridge& bridge = real.bridge;
    std::wstring loop = InTestFolder(L"loop.dll");
    try {
        bridge.PluginRun(L"x", loop);
        ADD_FAILURE() << "the call came back";
    } catch (const PluginProcessHung& e) {
        // "seit 1 s" or more (the host's start and the samples add to the
        // 1.5 s the slices granted), never "seit 0 s".
        const std::wstring words = e.Description();
        const std::wstring since = L"\u201Eloop.dll\u201C antwortet nicht seit ";
        const std::size_t at = words.find(since);
        ASSERT_NE(at, std::wstring::npos) << words;
        EXPECT_GE(std::wcstoul(words.c_str() + at + since.size(), nullptr, 10), 1ul) << words;
        EXPECT_NE(words.find(L" s (beim Aufruf von PluginRun) und hängt in faulty_plugin.cpp:"),
                  std::wstring::npos)
            << words;
        EXPECT_GE(e.Milliseconds(), 1500u);
        ASSERT_FALSE(e.Place().lines.empty());
        EXPECT_EQ(e.Place().lines.front().function, L"TsRun");
    }
}

// The fast lane's slots are the host's to write, and so the plugin's: a
// count beyond the slot breaks the lane at once. A wake that finds nothing
// is waited through, however often it comes (a signal left from a wait that
// did not sleep, another set late), until the slot is filled or the wait
// says the other side is gone.
TEST(HostProcess, ALaneWhoseSlotsAreWrittenOverBreaksAndWakesForNothingAreWaitedThrough) {
    std::vector<char> view(Mailbox::Bytes());
    const HANDLE own = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const HANDLE other = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    // The caller reads the second slot; its first word is the count.
    auto* count = reinterpret_cast<volatile LONG*>(view.data() + view.size() / 2);
    char to[16];
    Mailbox counted(view.data(), false, own, other, 10);
    *count = 0x7FFFFFFF;
    EXPECT_EQ(counted.Read(to, sizeof to, [] { return true; }), 0u);
    EXPECT_TRUE(counted.Broken());
    Mailbox woken(view.data(), false, own, other, 10);
    *count = 0;
    int wakes = 0;
    EXPECT_EQ(woken.Read(to, sizeof to, [&] { return ++wakes < 100; }), 0u);
    EXPECT_FALSE(woken.Broken());
    EXPECT_EQ(wakes, 100);
    std::memcpy(view.data() + view.size() / 2 + 16, "xyz", 3);
    wakes = 0;
    EXPECT_EQ(woken.Read(to, sizeof to,
                         [&] {
                             if (++wakes == 3) *count = 3;  // two wakes for nothing, then the data
                             return true;
                         }),
              3u);
    EXPECT_EQ(std::string(to, 3), "xyz");
    *count = 0;
    // An honest slot reads as it is.
    Mailbox honest(view.data(), false, own, other, 10);
    std::memcpy(view.data() + view.size() / 2 + 16, "abc", 3);
    *count = 3;
    EXPECT_EQ(honest.Read(to, sizeof to, [] { return true; }), 3u);
    EXPECT_FALSE(honest.Broken());
    CloseHandle(own);
    CloseHandle(other);
    EXPECT_THAT(DamagedMessageReport(ForeignCall::Export(L"Das Plugin", L"x.dll", L"PluginRun")),
                ::testing::StartsWith(L"Die Antwort des Plugin-Prozesses von \u201Ex.dll\u201C kam "
                                      L"beim Aufruf von PluginRun beschädigt an"));
}

}  // namespace
}  // namespace dllscope::testing
