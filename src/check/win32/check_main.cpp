// dllscope-check: the plugin check for build scripts and CI. It runs on each
// plugin the cycle that selecting it in Dllscope runs, then the run that
// "PluginRun" does, through the same plugin cycle, bridge and guard, and
// reports one line per check, or one JSON document, and an exit code.
#include <windows.h>
#include <objbase.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "check/check_cases.h"
#include "check/check_session.h"
#include "check/plugin_check.h"
#include "check/win32/check_system.h"
#include "common/paths.h"
#include "common/utf8.h"
#include "common/win32/ansi.h"
#include "common/win32/files.h"
#include "plugin/win32/bindings.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/guard.h"
#include "plugin/win32/libraries.h"
#include "plugin/win32/plugin_host.h"

namespace dllscope {
namespace {

// Everything goes out through WriteFile at once: a plugin may end the
// process at any moment, and what is written stays written.
void Write(DWORD which, const std::string& bytes) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}
void Out(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, ToUtf8(text)); }
void Err(const std::wstring& text) { Write(STD_ERROR_HANDLE, ToUtf8(text)); }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return FolderOf(std::wstring(path, n < MAX_PATH ? n : 0));
}

// The guard's observer: it keeps the name of the call under way, and a call
// that does not return within --timeout closes the report (exit code 3).
class CheckObserver : public ForeignCallObserver {
  public:
    CheckObserver(const CheckOptions& options, CheckSession& session, Win32CheckSystem& system)
        : options_(options), session_(session), system_(system) {}
    void BeforeForeignCall(const ForeignCall& call) override { system_.lastCall = call.call; }
    std::wstring SavedTextNote() override { return std::wstring(); }
    DWORD HangMilliseconds() override { return static_cast<DWORD>(options_.timeoutSeconds) * 1000; }
    bool OnHang(const ForeignCall& call, unsigned long long milliseconds) override {
        session_.Hung(call.call, milliseconds);
        TerminateProcess(GetCurrentProcess(), 3);
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
    if (watch && watch->session->EndedByPlugin(watch->system->lastCall))
        TerminateProcess(GetCurrentProcess(), 1);
}

// A call in a plugin's host that runs past --timeout ends that host.
class CheckWaiting : public HostWaiting {
  public:
    explicit CheckWaiting(const CheckOptions& options) : options_(options) {}
    DWORD HangMilliseconds() override { return static_cast<DWORD>(options_.timeoutSeconds) * 1000; }
    bool EndHungCall(const ForeignCall&, unsigned long long) override { return true; }

  private:
    const CheckOptions& options_;
};

// Each plugin in a host of its own: whatever it does ends its check only.
void CheckIsolated(const CheckOptions& options, const std::wstring& bridgePath,
                   CheckSession& session) {
    CheckWaiting waiting(options);
    const std::wstring program = InFolder(ProgramFolder(), L"dllscope-host.exe");
    const std::wstring bridge = PassablePath(bridgePath);
    // The next plugins' hosts start while one is checked: a process's start
    // costs more than most checks.
    constexpr std::size_t kAhead = 2;
    std::deque<std::unique_ptr<PluginHost>> ahead;
    for (std::size_t i = 0; i < options.plugins.size(); ++i) {
        while (ahead.size() < kAhead && i + ahead.size() < options.plugins.size()) {
            ahead.push_back(std::make_unique<PluginHost>(program, bridge, waiting));
            ahead.back()->Launch();
        }
        const std::unique_ptr<PluginHost> host = std::move(ahead.front());
        ahead.pop_front();
        HostLibraries libraries(*host);
        HostBridge hostBridge(*host, bridgePath);
        HostCheckSystem system(*host, libraries);
        PluginCheck check(options, libraries, hostBridge, system, bridgePath);
        const std::wstring& plugin = options.plugins[i];
        session.Check(plugin, [&](PluginReport& report) { check.Check(FullPath(plugin), report); });
    }
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
    PluginCheck check(options, libraries, bridge, system, bridgePath);
    CheckObserver observer(options, session, system);
    guard.SetObserver(&observer);
    EndWatch watch{&session, &system};
    const DWORD slot = FlsAlloc(OnProcessEnd);
    if (slot != FLS_OUT_OF_INDEXES) FlsSetValue(slot, &watch);
    for (const std::wstring& plugin : options.plugins) {
        session.Check(plugin, [&](PluginReport& report) { check.Check(FullPath(plugin), report); });
    }
    if (slot != FLS_OUT_OF_INDEXES) {
        FlsSetValue(slot, nullptr);
        FlsFree(slot);
    }
    guard.SetObserver(nullptr);
}

int CheckAll(const CheckOptions& options, const std::wstring& bridgePath) {
    CheckSession session(options,
                         [](const std::string& bytes) { Write(STD_OUTPUT_HANDLE, bytes); });
    session.Begin(DLLSCOPE_VERSION_W, sizeof(void*) == 8 ? 64 : 32, bridgePath);
    if (options.inProcess) {
        CheckInProcess(options, bridgePath, session);
    } else {
        CheckIsolated(options, bridgePath, session);
    }
    const int code = session.End();
    Win32CheckSystem files([] { return 0UL; });
    if (!options.junitFile.empty() &&
        !files.WriteFile(options.junitFile, JUnitReport(session.Reports(), options.repeat > 1))) {
        Err(L"Der JUnit-Bericht \u201E" + options.junitFile +
            L"\u201C kann nicht geschrieben werden.\n");
        return 2;
    }
    return code;
}

}  // namespace
}  // namespace dllscope

int wmain(int argc, wchar_t** argv) {
    using namespace dllscope;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::wstring> arguments(argv + 1, argv + argc);
    std::wstring error;
    const std::optional<CheckOptions> options = ParseCheckArguments(arguments, error);
    if (options && options->help) {
        Out(kCheckUsage);
        return 0;
    }
    if (!options) {
        Err(error + L"\n\n" + kCheckUsage);
        return 2;
    }
    const std::wstring bridge = FullPath(
        options->bridge.empty() ? InFolder(ProgramFolder(), L"modbridge.dll") : options->bridge);
    std::string bytes;
    if (ReadWholeFile(bridge, bytes) != ERROR_SUCCESS) {
        Err(L"Die Brücke \u201E" + bridge +
            L"\u201C gibt es nicht oder sie kann nicht gelesen werden.\n");
        return 2;
    }
    for (const std::wstring& plugin : options->plugins) {
        if (GetFileAttributesW(plugin.c_str()) == INVALID_FILE_ATTRIBUTES) {
            Err(L"Das Plugin \u201E" + plugin + L"\u201C gibt es nicht.\n");
            return 2;
        }
    }
    if (!options->inputFile.empty() && ReadWholeFile(options->inputFile, bytes) != ERROR_SUCCESS) {
        Err(L"Die Eingabedatei \u201E" + options->inputFile +
            L"\u201C kann nicht gelesen werden.\n");
        return 2;
    }
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int code = CheckAll(*options, bridge);
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
