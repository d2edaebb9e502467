#include "plugin/win32/plugin_host.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/paths.h"
#include "common/win32/pipes.h"
#include "common/win32/system_error.h"
#include "plugin/win32/fault_words.h"

namespace dllscope {
namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

BOOL CALLBACK PaintNow(HWND window, LPARAM) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return TRUE;
}

ForeignCall PluginCall(const std::wstring& pluginPath, const wchar_t* name) {
    return {L"Das Plugin", FileNameOf(pluginPath), name};
}

}  // namespace

void PluginHost::Launch() {
    if (process_) return;
    std::wstring name;
    pipe_ = CreateOwnPipe(L"host", PIPE_ACCESS_DUPLEX, name);
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!pipe_ || !event_) {
        const DWORD error = GetLastError();
        Close();
        throw RuntimeError(L"Die Verbindung zum Plugin-Prozess kann nicht angelegt werden: " +
                           SystemErrorText(error) + L".");
    }
    std::wstring commandLine =
        Quoted(program_) + L" --pipe " + Quoted(name) + L" --bridge " + Quoted(bridge_);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // The host's standard output and error, which the plugin and the
    // processes it starts inherit: the caller's output, or none. Nothing else
    // of the caller's is inheritable.
    HANDLE output = nullptr;
    if (output_ && DuplicateHandle(GetCurrentProcess(), output_, GetCurrentProcess(), &output, 0,
                                   TRUE, DUPLICATE_SAME_ACCESS)) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    // Every process the plugin starts belongs to the host's job, which ends
    // them all when its last handle closes: when the host is done with.
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    PROCESS_INFORMATION info{};
    const BOOL created =
        CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr,
                       CREATE_SUSPENDED, nullptr, nullptr, &startup, &info);
    const DWORD error = GetLastError();
    if (output) CloseHandle(output);
    if (!created) {
        Close();
        throw RuntimeError(L"Der Plugin-Prozess \u201E" + program_ +
                           L"\u201C kann nicht gestartet werden: " + SystemErrorText(error) + L".");
    }
    if (job_ && !AssignProcessToJobObject(job_, info.hProcess)) {
        CloseHandle(job_);
        job_ = nullptr;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    // A window or message box the plugin opens may come to the front.
    AllowSetForegroundWindow(processId_);
}

std::vector<std::wstring> PluginHost::StrayProcesses() const {
    std::vector<std::wstring> programs;
    if (!job_) return programs;
    // The list's header, then its ids: read as bytes, the system's
    // structure declares a single one.
    constexpr std::size_t kIds = 64;
    constexpr std::size_t kFirst = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
    alignas(ULONG_PTR) char list[kFirst + kIds * sizeof(ULONG_PTR)] = {};
    if (!QueryInformationJobObject(job_, JobObjectBasicProcessIdList, list, sizeof list, nullptr) &&
        GetLastError() != ERROR_MORE_DATA)
        return programs;
    DWORD count = 0;
    std::memcpy(&count, list + offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, NumberOfProcessIdsInList),
                sizeof count);
    for (DWORD i = 0; i < count && i < kIds; ++i) {
        ULONG_PTR id = 0;
        std::memcpy(&id, list + kFirst + i * sizeof id, sizeof id);
        if (id == processId_) continue;
        std::wstring program = L"Prozess " + std::to_wstring(id);
        if (HANDLE p =
                OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id))) {
            wchar_t path[MAX_PATH];
            DWORD n = MAX_PATH;
            if (QueryFullProcessImageNameW(p, 0, path, &n)) program = FileNameOf(path);
            CloseHandle(p);
        }
        programs.push_back(program);
    }
    return programs;
}

// Waits for the launched host's greeting.
void PluginHost::Connect() {
    const ForeignCall start{L"Der Plugin-Prozess", FileNameOf(program_), L"Start",
                            ForeignCallKind::Load};
    ULONGLONG since = GetTickCount64();
    OVERLAPPED connect{};
    connect.hEvent = event_;
    ResetEvent(event_);
    if (!ConnectNamedPipe(pipe_, &connect)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            Await(connect, start, since);
        } else if (error != ERROR_PIPE_CONNECTED) {
            Ended(start);
        }
    }
    char header[4];
    Transfer(false, header, 4, start, since);
    std::uint32_t length = 0;
    if (!FrameLength(header, 64, length)) Malformed(start);
    std::string hello(length, '\0');
    Transfer(false, hello.data(), length, start, since);
    MessageReader reader(hello);
    const HostMessage kind = reader.Kind();
    const std::uint32_t version = reader.U32();
    reader.U32();
    if (kind != HostMessage::Hello || !reader.Complete() || version != kHostProtocolVersion) {
        Stop();
        throw RuntimeError(L"Der Plugin-Prozess \u201E" + program_ +
                           L"\u201C gehört zu einer anderen Version von Dllscope (Protokoll " +
                           std::to_wstring(version) + L" statt " +
                           std::to_wstring(kHostProtocolVersion) + L").");
    }
    connected_ = true;
}

// Reads or writes `size` bytes, waiting for the host as HostWaiting says.
// Reads take what the pipe holds first: most answers come in one read.
void PluginHost::Transfer(bool write, char* data, DWORD size, const ForeignCall& call,
                          ULONGLONG& since) {
    constexpr DWORD kChunk = 1 << 16;
    for (DWORD done = 0; done < size;) {
        if (!write && inboxAt_ < inbox_.size()) {
            const DWORD n =
                static_cast<DWORD>(std::min<std::size_t>(size - done, inbox_.size() - inboxAt_));
            std::memcpy(data + done, inbox_.data() + inboxAt_, n);
            inboxAt_ += n;
            done += n;
            continue;
        }
        // Small reads go through the inbox, large ones straight to their place.
        const bool direct = write || size - done >= kChunk;
        if (!direct) {
            inbox_.resize(kChunk);
            inboxAt_ = 0;
        }
        char* const to = direct ? data + done : inbox_.data();
        const DWORD want = direct ? size - done : kChunk;
        OVERLAPPED o{};
        o.hEvent = event_;
        ResetEvent(event_);
        DWORD n = 0;
        const BOOL ok =
            write ? WriteFile(pipe_, to, want, &n, &o) : ReadFile(pipe_, to, want, &n, &o);
        if (!ok && GetLastError() != ERROR_IO_PENDING) Ended(call);
        n = Await(o, call, since);
        if (n == 0) Ended(call);
        if (direct) {
            done += n;
        } else {
            inbox_.resize(n);
        }
    }
}

// Waits for the operation `o` under way: the bytes it moved. The host's end
// and a call that runs too long throw.
DWORD PluginHost::Await(OVERLAPPED& o, const ForeignCall& call, ULONGLONG& since) {
    DWORD n = 0;
    for (;;) {
        const ULONGLONG limit = waiting_.HangMilliseconds();
        const ULONGLONG ran = GetTickCount64() - since;
        const DWORD wait = ran >= limit ? 0 : static_cast<DWORD>(limit - ran);
        HANDLE handles[2] = {event_, process_};
        const DWORD woke = waiting_.Repaints()
                               ? MsgWaitForMultipleObjects(2, handles, FALSE, wait, QS_PAINT)
                               : WaitForMultipleObjects(2, handles, FALSE, wait);
        if (woke == WAIT_OBJECT_0) {
            if (GetOverlappedResult(pipe_, &o, &n, FALSE)) return n;
            Ended(call);
        } else if (woke == WAIT_OBJECT_0 + 1) {
            // The host ended: what it wrote before may still be on its way.
            if (WaitForSingleObject(event_, 500) == WAIT_OBJECT_0 &&
                GetOverlappedResult(pipe_, &o, &n, FALSE) && n > 0)
                return n;
            CancelIo(pipe_);
            GetOverlappedResult(pipe_, &o, &n, TRUE);
            Ended(call);
        } else if (woke == WAIT_OBJECT_0 + 2) {
            // Painting only, straight to the windows: taking a message from
            // the queue would also deliver what other threads and processes
            // send meanwhile, which must wait for the command's end as it
            // does while the plugin runs in this process.
            EnumThreadWindows(GetCurrentThreadId(), PaintNow, 0);
        } else if (GetTickCount64() - since >= limit) {
            const unsigned long long ran = GetTickCount64() - since;
            if (waiting_.EndHungCall(call, ran)) {
                TerminateProcess(process_, kHostExitEndedByCaller);
                CancelIo(pipe_);
                GetOverlappedResult(pipe_, &o, &n, TRUE);
                WaitForSingleObject(process_, 5000);
                Close();
                throw PluginProcessHung(HungReport(call, ran), call.call);
            }
            since = GetTickCount64();
        }
    }
}

// The pipe broke or closed: the host ends, or is ended when it does not.
[[noreturn]] void PluginHost::Ended(const ForeignCall& call) {
    if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0)
        TerminateProcess(process_, kHostExitEndedByCaller);
    WaitForSingleObject(process_, 5000);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    Close();
    throw PluginProcessEnded(HostEndedReport(call, code), code);
}

// A message that breaks the protocol ends that host.
[[noreturn]] void PluginHost::Malformed(const ForeignCall& call) {
    Stop();
    throw RuntimeError(MalformedAnswerReport(call));
}

std::string PluginHost::Ask(const MessageWriter& request, const ForeignCall& call) {
    // While an answer is awaited, messages sent from elsewhere still reach
    // the caller's windows; a command they start must not cut in.
    if (busy_) {
        throw RuntimeError(L"Dllscope wartet noch auf die Antwort des Plugin-Prozesses; \u201E" +
                           call.call + L"\u201C wurde nicht aufgerufen.");
    }
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(busy_);
    if (!process_) Launch();
    if (!connected_) Connect();
    lastCall_ = call;
    std::string frame = request.Frame();
    ULONGLONG since = GetTickCount64();
    Transfer(true, frame.data(), static_cast<DWORD>(frame.size()), call, since);
    std::string().swap(frame);
    char header[4];
    Transfer(false, header, 4, call, since);
    std::uint32_t length = 0;
    if (!FrameLength(header, kHostFrameLimit, length)) Malformed(call);
    std::string answer(length, '\0');
    Transfer(false, answer.data(), length, call, since);
    MessageReader reader(answer);
    switch (reader.Kind()) {
        case HostMessage::Done:
            return answer.substr(1);
        // After a failure or a fault the host may hold what the plugin left
        // behind (a lock, a wrecked heap): the next request gets a new one.
        case HostMessage::Failed: {
            std::wstring report = reader.Text();
            if (!reader.Complete()) break;
            Stop();
            throw RuntimeError(std::move(report));
        }
        case HostMessage::Faulted: {
            std::wstring report = reader.Text();
            FaultParts parts;
            parts.call = reader.Text();
            parts.kind = reader.Text();
            parts.code = reader.U32();
            parts.where = reader.Text();
            parts.place = reader.Text();
            if (!reader.Complete()) break;
            Stop();
            throw PluginProcessFault(std::move(report), std::move(parts));
        }
        default:
            break;
    }
    Malformed(call);
}

void PluginHost::Refuse() { Malformed(lastCall_); }

void PluginHost::End() {
    if (!busy_) Stop();
}

void PluginHost::Stop() {
    if (!process_) return;
    // Quit is a request like any other; a host that does not take it is ended.
    const std::string quit = MessageWriter(HostMessage::Quit).Frame();
    OVERLAPPED o{};
    o.hEvent = event_;
    ResetEvent(event_);
    DWORD n = 0;
    if (!WriteFile(pipe_, quit.data(), static_cast<DWORD>(quit.size()), &n, &o) &&
        GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(event_, 1000) != WAIT_OBJECT_0) CancelIo(pipe_);
        GetOverlappedResult(pipe_, &o, &n, TRUE);
    }
    if (WaitForSingleObject(process_, 2000) != WAIT_OBJECT_0) {
        TerminateProcess(process_, kHostExitEndedByCaller);
        WaitForSingleObject(process_, 5000);
    }
    Close();
}

void PluginHost::Close() {
    inbox_.clear();
    inboxAt_ = 0;
    connected_ = false;
    // The job's last handle: what the plugin started ends with its host.
    for (HANDLE* h : {&pipe_, &process_, &event_, &job_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
}

LibraryHandle HostLibraries::Load(const std::wstring& path) {
    const std::string answer =
        host_.Ask(MessageWriter(HostMessage::Load).Text(path),
                  {L"Die Bibliothek", FileNameOf(path), L"LoadLibrary", ForeignCallKind::Load});
    MessageReader reader(answer);
    const auto handle = static_cast<LibraryHandle>(reader.U64());
    const unsigned long error = reader.U32();
    if (!reader.Complete()) host_.Refuse();
    if (!handle) lastLoadError_ = error;
    if (handle) names_[handle] = FileNameOf(path);
    return handle;
}

void HostLibraries::Free(LibraryHandle handle) {
    const auto name = names_.find(handle);
    const std::wstring file = name != names_.end() ? name->second : std::wstring();
    if (name != names_.end()) names_.erase(name);
    host_.Ask(MessageWriter(HostMessage::Free).U64(handle),
              {L"Die Bibliothek", file, L"FreeLibrary", ForeignCallKind::Free});
}

std::int16_t HostBridge::PluginBackvalue(std::wstring& pluginPath) {
    const std::string answer =
        host_.Ask(MessageWriter(HostMessage::PluginBackvalue).Text(pluginPath),
                  PluginCall(pluginPath, L"PluginBackvalue"));
    MessageReader reader(answer);
    const auto code = static_cast<std::int16_t>(reader.U16());
    std::wstring path = reader.Text();
    if (!reader.Complete()) host_.Refuse();
    pluginPath = std::move(path);
    return code;
}

std::wstring HostBridge::TextCall(HostMessage kind, const wchar_t* name, const std::wstring* text,
                                  std::wstring& pluginPath) {
    MessageWriter request(kind);
    if (text) request.Text(*text);
    request.Text(pluginPath);
    const std::string answer = host_.Ask(request, PluginCall(pluginPath, name));
    MessageReader reader(answer);
    std::wstring result = reader.Text();
    std::wstring path = reader.Text();
    if (!reader.Complete()) host_.Refuse();
    pluginPath = std::move(path);
    return result;
}

std::wstring HostBridge::PluginName(std::wstring& pluginPath) {
    return TextCall(HostMessage::PluginName, L"PluginName", nullptr, pluginPath);
}
std::wstring HostBridge::PluginDescription(std::wstring& pluginPath) {
    return TextCall(HostMessage::PluginDescription, L"PluginDescription", nullptr, pluginPath);
}
std::wstring HostBridge::PluginRun(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall(HostMessage::PluginRun, L"PluginRun", &text, pluginPath);
}
std::wstring HostBridge::PluginWrappText(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall(HostMessage::PluginWrappText, L"PluginWrappText", &text, pluginPath);
}
std::wstring HostBridge::PluginWrappForm(const std::wstring& text, std::wstring& pluginPath) {
    return TextCall(HostMessage::PluginWrappForm, L"PluginWrappForm", &text, pluginPath);
}

std::wstring HostBridge::WrapperName() {
    const std::string answer = host_.Ask(MessageWriter(HostMessage::WrapperName),
                                         {L"Die Brücke", FileNameOf(bridge_), L"WrapperName"});
    MessageReader reader(answer);
    std::wstring result = reader.Text();
    if (!reader.Complete()) host_.Refuse();
    return result;
}

}  // namespace dllscope
