// dllscope-host: the process of a plugin's own. Dllscope or the checker
// starts it with the name of a pipe and the bridge; it makes the calls of the
// plugin cycle they ask for (loads, frees, the bridge's exports, the usage
// the leak check measures), each under the guard as they would make it, and
// answers with the results, or with the report of a failure or a fault. A
// plugin that ends this process or hangs it costs only this process.
#include <windows.h>
#include <objbase.h>

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/host_server.h"
#include "host/win32/bulk_sections.h"
#include "host/win32/landed_fault.h"
#include "host/win32/line_marks.h"
#include "host/win32/mailbox.h"
#include "host/win32/usage_probe.h"
#include "plugin/win32/bindings.h"
#include "plugin/win32/bridge.h"
#include "guard/win32/guard.h"
#include "plugin/win32/libraries.h"

namespace dllscope {
namespace {

// The guard's observer here: it keeps the call under way for the fault's
// report. Hangs are the caller's business: it waits, and it ends this process.
class HostObserver : public ForeignCallObserver {
  public:
    void BeforeForeignCall(const ForeignCall& call) override { lastCall = call.call; }
    std::wstring SavedTextNote() override { return std::wstring(); }
    DWORD HangMilliseconds() override { return INFINITE; }
    bool OnHang(const ForeignCall&, unsigned long long, const HangPlace&) override { return true; }
    std::wstring lastCall;
};

// Large bytes through sections: a request's the caller handed in, an
// answer's left here for the caller to take (and close).
class HostBulk : public BulkChannel {
  public:
    bool Put(const std::string& bytes, std::uint64_t& token) override {
        const HANDLE section = SectionWith(bytes);
        token = reinterpret_cast<ULONG_PTR>(section);
        return section != nullptr;
    }
    bool Take(std::uint64_t token, std::uint32_t size, std::string& bytes) override {
        const HANDLE section = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(token));
        const bool taken = TakeFromSection(section, size, bytes);
        CloseHandle(section);
        return taken;
    }
};

// This process as the answers need it: the loads' errors, what it holds,
// the guard's faults, the C runtimes' buffers.
class Win32HostPlatform : public HostPlatform {
  public:
    Win32HostPlatform(const Win32Libraries& libraries, const HostObserver& observer, bool lane)
        : libraries_(libraries), observer_(observer), lane_(lane) {}
    bool Lane() override { return lane_; }
    unsigned long LastLoadError() override { return libraries_.LastLoadError(); }
    ProcessUsage Usage(bool remember) override { return usage_.Usage(remember); }
    std::vector<std::wstring> NewHandleTypes() override { return usage_.NewHandleTypes(); }
    bool AsFault(const std::exception& error, FaultRecord& fault) override {
        return LandedFault(error, observer_.lastCall, fault);
    }
    void BeforeAnswer() override { FlushRuntimeStreams(); }
    BulkChannel* Bulk() override { return &bulk_; }
    unsigned Cover(const std::wstring& section, const std::wstring& module,
                   const std::wstring& alias) override {
        return LineMarks::Start(section, module, alias);
    }

  private:
    const Win32Libraries& libraries_;
    const HostObserver& observer_;
    UsageProbe usage_;
    HostBulk bulk_;
    bool lane_;
};

// The pipe, blocking on this side.
class PipeEnd : public ByteSource, public ByteSink {
  public:
    explicit PipeEnd(HANDLE pipe) : pipe_(pipe) {}
    std::size_t ReadSome(char* to, std::size_t max) override {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max, 1u << 30));
        return ReadFile(pipe_, to, want, &n, nullptr) ? n : 0;
    }
    bool WriteAll(const char* data, std::size_t size) override {
        for (std::size_t done = 0; done < size;) {
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
            if (!WriteFile(pipe_, data + done, want, &n, nullptr) || n == 0) return false;
            done += n;
        }
        return true;
    }

  private:
    HANDLE pipe_;
};

// The caller's fast lane, when it made one and the host can open it: after
// the greeting, which goes by the pipe, every message goes there. The host
// sleeps on its event and on its caller's process, whose end is its own.
class HostEnds : public ByteSource, public ByteSink {
  public:
    HostEnds(HANDLE pipe, const std::wstring& lane, DWORD caller) : pipe_(pipe) {
        if (lane.empty()) return;
        const HANDLE section =
            OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, MailboxSectionName(lane).c_str());
        ownEvent_ = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                               MailboxEventName(lane, true).c_str());
        otherEvent_ = OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                                 MailboxEventName(lane, false).c_str());
        caller_ = OpenProcess(SYNCHRONIZE, FALSE, caller);
        void* const view =
            section ? MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, Mailbox::Bytes()) : nullptr;
        if (section) CloseHandle(section);  // the view stays
        if (!view || !ownEvent_ || !otherEvent_ || !caller_) return;
        // Like the pipe, what the lane needs cannot be closed by a plugin.
        for (const HANDLE h : {ownEvent_, otherEvent_, caller_})
            SetHandleInformation(h, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
        // The host spins 50 us for the next request, then sleeps: a longer
        // spin takes a core from the check running beside this one, and a
        // wake costs Wine some tens of microseconds.
        lane_.emplace(view, true, ownEvent_, otherEvent_, 50.0);
    }
    bool Lane() const { return lane_.has_value(); }

    std::size_t ReadSome(char* to, std::size_t max) override {
        return greeted_ && lane_ ? lane_->Read(to, max, Sleep()) : pipe_.ReadSome(to, max);
    }
    bool WriteAll(const char* data, std::size_t size) override {
        if (!greeted_) {
            greeted_ = true;
            return pipe_.WriteAll(data, size);
        }
        return lane_ ? lane_->Write(data, size, Sleep()) : pipe_.WriteAll(data, size);
    }

  private:
    Mailbox::Block Sleep() {
        return [this] {
            const HANDLE handles[2] = {ownEvent_, caller_};
            return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
        };
    }

    PipeEnd pipe_;
    HANDLE ownEvent_ = nullptr, otherEvent_ = nullptr, caller_ = nullptr;
    std::optional<Mailbox> lane_;
    bool greeted_ = false;
};

std::wstring Argument(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == name) return argv[i + 1];
    return std::wstring();
}

// Serves requests until Quit; what ends it otherwise is its exit code.
DWORD Serve(HostEnds& ends, const std::wstring& bridge) {
    ForeignCallGuard guard;
    HostObserver observer;
    guard.SetObserver(&observer);
    Bindings bindings;
    Win32Libraries libraries;
    Win32Bridge bridgeExports(bindings, bridge);
    Win32HostPlatform platform(libraries, observer, ends.Lane());
    HostServer server(libraries, bridgeExports, bridgeExports, platform);
    switch (server.Serve(ends, ends, GetCurrentProcessId())) {
        case HostEnd::Quit:
            // The process ends at once. What is still loaded gets no detach
            // call; a plugin's clean-up after its last call is no one's
            // business any more, and a process it wrecked may not end cleanly.
            TerminateProcess(GetCurrentProcess(), kHostExitQuit);
            return kHostExitQuit;
        case HostEnd::BadRequest:
            return kHostExitBadRequest;
        case HostEnd::LostPipe:
            break;
    }
    return kHostExitLostPipe;
}

// An exception no guard took (in a thread the plugin started, say) ends
// the host with its code, which the caller says as the plugin's crash: no
// dialog of the system's, no debugger started for it.
LONG WINAPI EndWithTheException(EXCEPTION_POINTERS* e) {
    TerminateProcess(GetCurrentProcess(), e && e->ExceptionRecord
                                              ? e->ExceptionRecord->ExceptionCode
                                              : kHostExitEndedByCaller);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace
}  // namespace dllscope

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace dllscope;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndWithTheException);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring pipeName = argv ? Argument(argc, argv, L"--pipe") : std::wstring();
    const std::wstring bridge = argv ? Argument(argc, argv, L"--bridge") : std::wstring();
    const std::wstring lane = argv ? Argument(argc, argv, L"--lane") : std::wstring();
    const std::wstring caller = argv ? Argument(argc, argv, L"--caller") : std::wstring();
    if (argv) LocalFree(argv);
    if (pipeName.empty() || bridge.empty()) return static_cast<int>(kHostExitArguments);
    const HANDLE pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return static_cast<int>(kHostExitLostPipe);
    // A plugin that closes a handle twice, or one it never had, cannot
    // close the pipe under the host.
    SetHandleInformation(pipe, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
    HostEnds ends(pipe, lane, static_cast<DWORD>(std::wcstoul(caller.c_str(), nullptr, 10)));
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int code = static_cast<int>(Serve(ends, bridge));
    if (SUCCEEDED(com)) CoUninitialize();
    return code;
}
