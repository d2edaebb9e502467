// dllscope-check: the plugin check for build scripts and CI. It runs on each
// plugin the cycle that selecting it in Dllscope runs, then the run that
// "PluginRun" does, through the same plugin cycle, bridge and guard, and
// reports one line per check, or one JSON document, and an exit code.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/error_report.h"
#include "check/check_cases.h"
#include "checker/check_session.h"
#include "check/plugin_check.h"
#include "check/win32/check_system.h"
#include "checker/win32/check_setup.h"
#include "checker/win32/host_checks.h"
#include "checker/win32/output_capture.h"
#include "checker/win32/watch_loop.h"
#include "common/paths.h"
#include "common/utf8.h"
#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "common/win32/temp_folder.h"
#include "plugin/win32/bindings.h"
#include "plugin/win32/bridge.h"
#include "guard/win32/fault_words.h"
#include "guard/win32/guard.h"
#include "plugin/win32/libraries.h"

namespace dllscope {
namespace {

// The checker's own standard output and error, kept apart from what
// plugins reach: a plugin checked in this process writes to a capture, and
// no plugin's process inherits them.
HANDLE reportOut = nullptr, reportErr = nullptr;

void KeepStandardHandles() {
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE h = GetStdHandle(which);
        if (!h || h == INVALID_HANDLE_VALUE) continue;
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
        if (which == STD_INPUT_HANDLE) continue;
        DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(),
                        which == STD_OUTPUT_HANDLE ? &reportOut : &reportErr, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    }
}

// The check's own temporary folder, and the end of the process that a
// plugin forces on the check: that folder goes first.
PrivateTempFolder* checkTemp = nullptr;
void EndNow(UINT code) {
    if (checkTemp) checkTemp->Remove();
    TerminateProcess(GetCurrentProcess(), code);
}

// Everything goes out through WriteFile at once: a plugin may end the
// process at any moment, and what is written stays written.
void Write(HANDLE to, const std::string& bytes) {
    DWORD written = 0;
    if (to) WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
void Out(const std::wstring& text) { Write(reportOut, ToUtf8(text)); }
void Err(const std::wstring& text) { Write(reportErr, ToUtf8(text)); }

// The guard's observer: it keeps the name of the call under way, and a call
// that does not return within --timeout closes the report (exit code 3).
class CheckObserver : public ForeignCallObserver {
  public:
    CheckObserver(const CheckOptions& options, CheckSession& session, Win32CheckSystem& system)
        : options_(options), session_(session), system_(system) {}
    void BeforeForeignCall(const ForeignCall& call) override { system_.lastCall = call.call; }
    std::wstring SavedTextNote() override { return std::wstring(); }
    DWORD HangMilliseconds() override { return static_cast<DWORD>(options_.timeoutSeconds) * 1000; }
    bool OnHang(const ForeignCall& call, unsigned long long milliseconds,
                const HangPlace& place) override {
        if (const auto code = session_.Hung(call, milliseconds, place))
            EndNow(static_cast<UINT>(*code));
        return true;
    }

  private:
    const CheckOptions& options_;
    CheckSession& session_;
    Win32CheckSystem& system_;
};

// A plugin that ends the process (ExitProcess, the C runtime's exit, a
// dependency's call of either) ends the check here: the system calls the
// callbacks of the main thread's fiber-local storage on the way out, before
// the process is gone. The report is closed and the exit code says that the
// plugin failed, whatever code it chose.
struct EndWatch {
    CheckSession* session;
    Win32CheckSystem* system;
};

void WINAPI OnProcessEnd(void* data) {
    const auto* watch = static_cast<const EndWatch*>(data);
    if (!watch) return;
    if (const auto code = watch->session->EndedByPlugin(watch->system->lastCall))
        EndNow(static_cast<UINT>(*code));
}

// An exception no guard took (in a thread a plugin started) ends the check
// here, with the report closed as the plugin's crash: no dialog of the
// system's, no debugger started for it.
EndWatch* crashWatch = nullptr;
std::wstring checkedPlugin;
LONG WINAPI EndWithTheCrash(EXCEPTION_POINTERS* e) {
    const DWORD code =
        e && e->ExceptionRecord ? e->ExceptionRecord->ExceptionCode : EXCEPTION_ACCESS_VIOLATION;
    if (crashWatch) {
        const ForeignCall call = ForeignCall::Export(L"Das Plugin", FileNameOf(checkedPlugin),
                                                     crashWatch->system->lastCall);
        if (const auto exit = crashWatch->session->CrashedByPlugin(EndedReport(call, code)))
            EndNow(static_cast<UINT>(*exit));
    }
    EndNow(code);
    return EXCEPTION_EXECUTE_HANDLER;
}

// The plugins in this process, for the debugger: a plugin that ends the
// process or hangs ends the check.
void CheckInProcess(const CheckOptions& options, const std::wstring& bridgePath,
                    CheckSession& session) {
    ForeignCallGuard guard;
    Bindings bindings;
    Win32Libraries libraries;
    Win32Bridge bridge(bindings, PassablePath(bridgePath));
    Win32CheckSystem system([&libraries] { return libraries.LastLoadError(); });
    PluginCheck check(options.settings, libraries, bridge, system, bridgePath);
    CheckObserver observer(options, session, system);
    guard.SetObserver(&observer);
    EndWatch watch{&session, &system};
    const DWORD slot = FlsAlloc(OnProcessEnd);
    if (slot != FLS_OUT_OF_INDEXES) FlsSetValue(slot, &watch);
    crashWatch = &watch;
    for (const std::wstring& plugin : options.plugins) {
        checkedPlugin = plugin;
        auto output = std::make_unique<OutputCapture>();
        session.TakeOutputFrom([&output] { return output->SoFar(); });
        session.Check(plugin, [&](PluginReport& report) {
            std::optional<StandardOutputRedirect> redirect;
            redirect.emplace(*output);
            struct Collect {
                std::optional<StandardOutputRedirect>& redirect;
                OutputCapture& output;
                PluginReport& report;
                ~Collect() {
                    redirect.reset();
                    report.pluginOutput = output.Finish();
                }
            } collect{redirect, *output, report};
            check.Check(FullPath(plugin), report);
        });
        session.TakeOutputFrom(nullptr);
    }
    crashWatch = nullptr;
    if (slot != FLS_OUT_OF_INDEXES) {
        FlsSetValue(slot, nullptr);
        FlsFree(slot);
    }
    guard.SetObserver(nullptr);
}

int CheckAll(const CheckOptions& options, const std::wstring& bridgePath) {
    CheckSession session(options, [](const std::string& bytes) { Write(reportOut, bytes); });
    // A report from an earlier run never stands for this one: it goes first,
    // and every end of this run writes the new one.
    std::wstring failure;
    if (!options.junitFile.empty()) {
        if (!DeleteFileW(options.junitFile.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
            GetLastError() != ERROR_PATH_NOT_FOUND) {
            failure = L"Der JUnit-Bericht \u201E" + options.junitFile +
                      L"\u201C eines früheren Laufs kann nicht ersetzt werden.";
        }
        session.WriteJUnitWith([&options](const std::string& xml) {
            Win32CheckSystem files([] { return 0UL; });
            return files.WriteFile(options.junitFile, xml);
        });
    }
    if (!options.sarifFile.empty()) {
        session.WriteSarifWith([&options](const std::string& sarif) {
            Win32CheckSystem files([] { return 0UL; });
            return files.WriteFile(options.sarifFile, sarif);
        });
    }
    if (!options.coverageXml.empty()) {
        session.WriteCoverageWith([&options](const std::string& xml) {
            Win32CheckSystem files([] { return 0UL; });
            return files.WriteFile(options.coverageXml, xml);
        });
    }
    // With --json the report is the JSON document: the annotations go beside it.
    if (options.json) session.AnnotateTo([](const std::string& bytes) { Write(reportErr, bytes); });
    session.Begin(DLLSCOPE_VERSION_W, sizeof(void*) == 8 ? 64 : 32, bridgePath);
    if (failure.empty()) failure = SetupProblem(options, bridgePath);
    if (failure.empty()) {
        try {
            if (options.settings.inProcess) {
                CheckInProcess(options, bridgePath, session);
            } else {
                CheckInHosts(options, bridgePath, session);
            }
            return session.End();
        } catch (const std::exception& e) {
            failure = ErrorWords(e);
        }
    }
    // Said once: the report ends with it; beside JSON on the error output too.
    if (options.json) Err(failure + L"\n");
    return session.Fail(failure);
}

}  // namespace
}  // namespace dllscope

int wmain(int argc, wchar_t** argv) {
    using namespace dllscope;
    // No dialog of the system's for what plugins do, in this process or in
    // those it starts.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndWithTheCrash);
    SetConsoleOutputCP(CP_UTF8);
    KeepStandardHandles();
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    std::wstring error;
    const std::optional<CheckOptions> options = ParseCheckArguments(arguments, error);
    if (options && options->help) {
        Out(kCheckUsage);
        return 0;
    }
    if (options && options->version) {
        Out(L"dllscope-check " DLLSCOPE_VERSION_W L" (" +
            std::to_wstring(sizeof(void*) == 8 ? 64 : 32) + L" Bit)\n");
        return 0;
    }
    if (!options) {
        Err(error + L"\n\n" + kCheckUsage);
        return 2;
    }
    const std::wstring bridge = FullPath(
        options->bridge.empty() ? InFolder(ProgramFolder(), kBridgeFileName) : options->bridge);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The check's own temporary folder (its exchange file; its hosts' folders
    // lie in it): checks started together never meet there.
    PrivateTempFolder temp(L"dllscope-check");
    UseTempFolder(temp.Path());
    checkTemp = &temp;
    int code = CheckAll(*options, bridge);
    if (options->watch) {
        // Beside JSON the lines of the watch go to the error output.
        code = WatchAndCheckAgain(
            *options, code, [&] { return CheckAll(*options, bridge); },
            [&options](const std::wstring& line) { options->json ? Err(line) : Out(line); });
    }
    checkTemp = nullptr;
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
