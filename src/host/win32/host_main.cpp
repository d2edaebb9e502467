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
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/win32/process_usage.h"
#include "plugin/host_protocol.h"
#include "plugin/win32/bindings.h"
#include "plugin/win32/bridge.h"
#include "plugin/win32/guard.h"
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
    bool OnHang(const ForeignCall&, unsigned long long) override { return true; }
    std::wstring lastCall;
};

// The caller's requests as they come: small ones mostly in one read.
class Inbox {
  public:
    explicit Inbox(HANDLE pipe) : pipe_(pipe) {}
    bool Read(char* data, DWORD size) {
        for (DWORD done = 0; done < size;) {
            if (at_ < held_.size()) {
                const DWORD n =
                    static_cast<DWORD>(std::min<std::size_t>(size - done, held_.size() - at_));
                std::memcpy(data + done, held_.data() + at_, n);
                at_ += n;
                done += n;
                continue;
            }
            const bool direct = size - done >= kChunk;
            if (!direct) {
                held_.resize(kChunk);
                at_ = 0;
            }
            DWORD n = 0;
            if (!ReadFile(pipe_, direct ? data + done : held_.data(), direct ? size - done : kChunk,
                          &n, nullptr) ||
                n == 0)
                return false;
            if (direct) {
                done += n;
            } else {
                held_.resize(n);
            }
        }
        return true;
    }

  private:
    static constexpr DWORD kChunk = 1 << 16;
    HANDLE pipe_;
    std::string held_;
    std::size_t at_ = 0;
};

// An answer goes out after what the plugin printed: the caller may end this
// process as soon as it has the answer.
bool Send(HANDLE pipe, const MessageWriter& message) {
    FlushRuntimeStreams();
    const std::string frame = message.Frame();
    DWORD written = 0;
    return WriteFile(pipe, frame.data(), static_cast<DWORD>(frame.size()), &written, nullptr) &&
           written == frame.size();
}

class Host {
  public:
    explicit Host(const std::wstring& bridge) : bridge_(bindings_, bridge) {}

    // The answer to one request; false for Quit and for a malformed request.
    bool Answer(const std::string& request, MessageWriter& answer) {
        MessageReader r(request);
        const HostMessage kind = r.Kind();
        std::wstring text, path;
        switch (kind) {
            case HostMessage::Load: {
                path = r.Text();
                if (!r.Complete()) return false;
                const LibraryHandle handle = libraries_.Load(path);
                answer.U64(handle).U32(libraries_.LastLoadError());
                return true;
            }
            case HostMessage::Free: {
                const auto handle = static_cast<LibraryHandle>(r.U64());
                if (!r.Complete()) return false;
                libraries_.Free(handle);
                return true;
            }
            case HostMessage::PluginBackvalue: {
                path = r.Text();
                if (!r.Complete()) return false;
                const std::int16_t code = bridge_.PluginBackvalue(path);
                answer.U16(static_cast<std::uint16_t>(code)).Text(path);
                return true;
            }
            case HostMessage::PluginName:
            case HostMessage::PluginDescription: {
                path = r.Text();
                if (!r.Complete()) return false;
                text = kind == HostMessage::PluginName ? bridge_.PluginName(path)
                                                       : bridge_.PluginDescription(path);
                answer.Text(text).Text(path);
                return true;
            }
            case HostMessage::PluginRun:
            case HostMessage::PluginWrappText:
            case HostMessage::PluginWrappForm: {
                text = r.Text();
                path = r.Text();
                if (!r.Complete()) return false;
                text = kind == HostMessage::PluginRun         ? bridge_.PluginRun(text, path)
                       : kind == HostMessage::PluginWrappText ? bridge_.PluginWrappText(text, path)
                                                              : bridge_.PluginWrappForm(text, path);
                answer.Text(text).Text(path);
                return true;
            }
            case HostMessage::WrapperName:
                if (!r.Complete()) return false;
                answer.Text(bridge_.WrapperName());
                return true;
            case HostMessage::Usage: {
                const bool remember = r.U8() != 0;
                if (!r.Complete()) return false;
                const CycleUsage usage = usage_.Usage(remember);
                answer.U64(static_cast<std::uint64_t>(usage.handles))
                    .U64(static_cast<std::uint64_t>(usage.privateBytes))
                    .U64(static_cast<std::uint64_t>(usage.freeTlsSlots));
                return true;
            }
            case HostMessage::NewHandleTypes: {
                if (!r.Complete()) return false;
                const std::vector<std::wstring> types = usage_.NewHandleTypes();
                answer.U32(static_cast<std::uint32_t>(types.size()));
                for (const std::wstring& type : types) answer.Text(type);
                return true;
            }
            default:
                return false;
        }
    }

  private:
    Bindings bindings_;
    Win32Libraries libraries_;
    Win32Bridge bridge_;
    UsageProbe usage_;
};

std::wstring Argument(int argc, wchar_t** argv, const wchar_t* name) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::wstring(argv[i]) == name) return argv[i + 1];
    return std::wstring();
}

// Serves requests until Quit; what ends it otherwise is its exit code.
DWORD Serve(HANDLE pipe, const std::wstring& bridge) {
    ForeignCallGuard guard;
    HostObserver observer;
    guard.SetObserver(&observer);
    Host host(bridge);
    Inbox inbox(pipe);
    if (!Send(
            pipe,
            MessageWriter(HostMessage::Hello).U32(kHostProtocolVersion).U32(GetCurrentProcessId())))
        return kHostExitLostPipe;
    for (;;) {
        char header[4];
        std::uint32_t length = 0;
        if (!inbox.Read(header, 4)) return kHostExitLostPipe;
        if (!FrameLength(header, kHostFrameLimit, length)) return kHostExitBadRequest;
        std::string request;
        try {
            request.resize(length);
        } catch (const std::bad_alloc&) {
            return kHostExitBadRequest;
        }
        if (!inbox.Read(request.data(), length)) return kHostExitLostPipe;
        // Done: the process ends at once. What is still loaded gets no
        // detach call; a plugin's clean-up after its last call is no one's
        // business any more, and a process it wrecked may not end cleanly.
        if (static_cast<HostMessage>(request[0]) == HostMessage::Quit)
            TerminateProcess(GetCurrentProcess(), 0);

        MessageWriter done(HostMessage::Done);
        bool answered = false;
        std::wstring failure;
        try {
            if (!host.Answer(request, done)) return kHostExitBadRequest;
            answered = true;
        } catch (const ForeignFault& fault) {
            const Fault& d = fault.Details();
            if (!Send(pipe, MessageWriter(HostMessage::Faulted)
                                .Text(fault.Description())
                                .Text(observer.lastCall)
                                .Text(FaultKindWords(d.code))
                                .U32(d.code)
                                .Text(FaultWhere(d))
                                .Text(FaultPlace(d))))
                return kHostExitLostPipe;
            continue;
        } catch (const RuntimeError& e) {
            failure = e.Description();
        } catch (const std::bad_alloc&) {
            failure = L"Nicht genügend Arbeitsspeicher.";
        } catch (const std::length_error&) {
            failure = L"Nicht genügend Arbeitsspeicher.";
        } catch (const std::exception& e) {
            const std::string what = e.what();
            failure = L"Interner Fehler: " + std::wstring(what.begin(), what.end());
        }
        if (!Send(pipe, answered ? done : MessageWriter(HostMessage::Failed).Text(failure)))
            return kHostExitLostPipe;
    }
}

}  // namespace
}  // namespace dllscope

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace dllscope;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring pipeName = argv ? Argument(argc, argv, L"--pipe") : std::wstring();
    const std::wstring bridge = argv ? Argument(argc, argv, L"--bridge") : std::wstring();
    if (argv) LocalFree(argv);
    if (pipeName.empty() || bridge.empty()) return static_cast<int>(kHostExitArguments);
    const HANDLE pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return static_cast<int>(kHostExitLostPipe);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int code = static_cast<int>(Serve(pipe, bridge));
    if (SUCCEEDED(com)) CoUninitialize();
    CloseHandle(pipe);
    return code;
}
