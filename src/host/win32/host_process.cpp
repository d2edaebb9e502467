#include "host/win32/host_process.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "common/paths.h"
#include "common/win32/ansi.h"
#include "common/win32/pipes.h"
#include "common/win32/system_error.h"
#include "host/host_words.h"
#include "host/win32/bulk_sections.h"
#include "host/win32/mailbox.h"
#include "host/host_protocol.h"
#include "guard/win32/fault_words.h"
#include "guard/win32/foreign_result.h"

namespace dllscope {
namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

BOOL CALLBACK PaintNow(HWND window, LPARAM) {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return TRUE;
}

// The host's own ends said as such; any other is the plugin's.
std::wstring HostEndedReport(const ForeignCall& call, DWORD exitCode) {
    switch (exitCode) {
        case kHostExitBadRequest:
            return HostOf(call) + L" konnte " + Action(call) +
                   L" eine Anfrage nicht lesen und hat sich beendet.";
        case kHostExitArguments:
            return HostOf(call) + L" wurde ohne Pipe oder Brücke gestartet und hat sich beendet.";
        case kHostExitLostPipe:
        case kHostExitEndedByCaller:
        case kHostExitQuit:
            return LostConnectionReport(call);
        default:
            return EndedReport(call, exitCode);
    }
}

}  // namespace

void PluginHost::Launch() {
    if (process_) return;
    std::wstring name;
    pipe_ = CreateOwnPipe(L"host", PIPE_ACCESS_DUPLEX, name);
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!pipe_ || !event_) {
        const DWORD error = GetLastError();
        Release();
        throw RuntimeError(L"Die Verbindung zum Plugin-Prozess kann nicht angelegt werden: " +
                           SystemErrorText(error) + L".");
    }
    std::wstring commandLine =
        Quoted(program_) + L" --pipe " + Quoted(name) + L" --bridge " + Quoted(bridge_);
    if (const std::wstring lane = OpenLane(); !lane.empty())
        commandLine +=
            L" --lane " + Quoted(lane) + L" --caller " + std::to_wstring(GetCurrentProcessId());
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
        Release();
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

// The fast lane's section and events, made before the host starts: their
// base name, or the empty string when they cannot be made (the pipe then
// carries everything). A name someone else made first is not used.
std::wstring PluginHost::OpenLane() {
    static LONG made = 0;
    const std::wstring base = L"Local\\dllscope-lane-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(InterlockedIncrement(&made));
    OwnUserOnly security;
    const auto fresh = [](HANDLE h) { return h && GetLastError() != ERROR_ALREADY_EXISTS; };
    laneSection_ =
        CreateFileMappingW(INVALID_HANDLE_VALUE, security.get(), PAGE_READWRITE, 0,
                           static_cast<DWORD>(Mailbox::Bytes()), MailboxSectionName(base).c_str());
    bool ok = fresh(laneSection_);
    hostEvent_ = CreateEventW(security.get(), FALSE, FALSE, MailboxEventName(base, true).c_str());
    ok = fresh(hostEvent_) && ok;
    callerEvent_ =
        CreateEventW(security.get(), FALSE, FALSE, MailboxEventName(base, false).c_str());
    ok = fresh(callerEvent_) && ok;
    laneView_ = ok ? MapViewOfFile(laneSection_, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
    if (laneView_) return base;
    CloseLane();
    return std::wstring();
}

void PluginHost::CloseLane() {
    lane_.reset();
    if (laneView_) UnmapViewOfFile(laneView_);
    laneView_ = nullptr;
    for (HANDLE* h : {&laneSection_, &hostEvent_, &callerEvent_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
}

void PluginHost::Greeted(bool lane) {
    // A host that took the lane reads and writes nothing else from now on.
    if (lane && laneView_) lane_.emplace(laneView_, false, callerEvent_, hostEvent_, 500.0);
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

std::string AnsiTextCodec::ToPlugin(const std::wstring& text) { return ToAnsi(text); }

std::wstring AnsiTextCodec::FromPlugin(const ForeignCall& call, const std::string& bytes) {
    return ForeignAnsiText(call, bytes);
}

bool PluginHost::Put(const std::string& bytes, std::uint64_t& token) {
    const HANDLE section = SectionWith(bytes);
    HANDLE remote = nullptr;
    if (!section || !DuplicateHandle(GetCurrentProcess(), section, process_, &remote, FILE_MAP_READ,
                                     FALSE, DUPLICATE_CLOSE_SOURCE))
        return false;
    token = reinterpret_cast<ULONG_PTR>(remote);
    return true;
}

// The token is a handle of the host's, which the answer names: whatever the
// plugin made of it, only a section of `size` bytes is read.
bool PluginHost::Take(std::uint64_t token, std::uint32_t size, std::string& bytes) {
    HANDLE section = nullptr;
    if (!DuplicateHandle(process_, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(token)),
                         GetCurrentProcess(), &section, FILE_MAP_READ, FALSE,
                         DUPLICATE_CLOSE_SOURCE))
        return false;
    struct Close {
        HANDLE handle;
        ~Close() { CloseHandle(handle); }
    } close{section};
    return TakeFromSection(section, size, bytes);
}

std::wstring PluginHost::Program() const { return FileNameOf(program_); }

void PluginHost::SetCall(const ForeignCall& call) {
    waiting_.BeforeCall(call);
    call_ = call;
    since_ = GetTickCount64();
}

void PluginHost::Open() {
    Launch();
    if (!connected_) Connect();
}

// Waits for the launched host to connect, and makes sure it is that host.
void PluginHost::Connect() {
    call_ = ForeignCall::Load(L"Der Plugin-Prozess", Program(), L"Start");
    since_ = GetTickCount64();
    OVERLAPPED connect{};
    connect.hEvent = event_;
    ResetEvent(event_);
    if (!ConnectNamedPipe(pipe_, &connect)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            Await(connect);
        } else if (error != ERROR_PIPE_CONNECTED) {
            Ended();
        }
    }
    // Only the user's own processes may open the pipe; of those, only the
    // host started may talk on it.
    ULONG client = 0;
    if (GetNamedPipeClientProcessId(pipe_, &client) && client != processId_) {
        const DWORD started = processId_;
        Close();
        throw RuntimeError(OtherProcessReport(Program(), started, client));
    }
    connected_ = true;
}

std::size_t PluginHost::ReadSome(char* to, std::size_t max) {
    if (lane_) {
        const std::size_t n =
            lane_->Read(to, max, [this] { return WaitFor(callerEvent_, nullptr); });
        if (n == 0) Ended();
        return n;
    }
    OVERLAPPED o{};
    o.hEvent = event_;
    ResetEvent(event_);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(max, 1u << 30));
    if (!ReadFile(pipe_, to, want, &n, &o) && GetLastError() != ERROR_IO_PENDING) Ended();
    n = Await(o);
    if (n == 0) Ended();
    return n;
}

void PluginHost::WriteAll(const char* data, std::size_t size) {
    if (lane_) {
        if (!lane_->Write(data, size, [this] { return WaitFor(callerEvent_, nullptr); })) Ended();
        return;
    }
    for (std::size_t done = 0; done < size;) {
        OVERLAPPED o{};
        o.hEvent = event_;
        ResetEvent(event_);
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        if (!WriteFile(pipe_, data + done, want, &n, &o) && GetLastError() != ERROR_IO_PENDING)
            Ended();
        n = Await(o);
        if (n == 0) Ended();
        done += n;
    }
}

// Waits for the operation `o` under way: the bytes it moved. The host's end
// and a call that runs too long throw.
DWORD PluginHost::Await(OVERLAPPED& o) {
    DWORD n = 0;
    if (WaitFor(event_, &o)) {
        if (GetOverlappedResult(pipe_, &o, &n, FALSE)) return n;
    } else if (WaitForSingleObject(event_, 500) == WAIT_OBJECT_0 &&
               GetOverlappedResult(pipe_, &o, &n, FALSE) && n > 0) {
        return n;  // the host ended, but what it wrote before came
    }
    CancelIo(pipe_);
    GetOverlappedResult(pipe_, &o, &n, TRUE);
    Ended();
}

// Waits until `event` is set (true) or the host ended (false); a wait that
// fails ends the host (false). `pending`, an operation under way on the
// pipe, is cancelled before a hang throws. The limit is checked on every
// pass, whatever woke the wait: a plugin that keeps the caller's windows
// repainting does not keep the question away.
bool PluginHost::WaitFor(HANDLE event, OVERLAPPED* pending) {
    DWORD n = 0;
    for (;;) {
        const ULONGLONG limit = waiting_.HangMilliseconds();
        const ULONGLONG ran = GetTickCount64() - since_;
        if (ran >= limit) {
            if (waiting_.EndHungCall(call_, ran)) {
                TerminateProcess(process_, kHostExitEndedByCaller);
                if (pending) {
                    CancelIo(pipe_);
                    GetOverlappedResult(pipe_, pending, &n, TRUE);
                }
                WaitForSingleObject(process_, 5000);
                // The client closes what is left: this may run inside the
                // lane's own wait.
                throw PluginProcessHung(HungReport(call_, ran), call_.call);
            }
            since_ = GetTickCount64();
            continue;
        }
        const auto wait = static_cast<DWORD>(limit - ran);
        HANDLE handles[2] = {event, process_};
        const DWORD woke = waiting_.Repaints()
                               ? MsgWaitForMultipleObjects(2, handles, FALSE, wait, QS_PAINT)
                               : WaitForMultipleObjects(2, handles, FALSE, wait);
        if (woke == WAIT_OBJECT_0) {
            return true;
        } else if (woke == WAIT_OBJECT_0 + 1) {
            return false;
        } else if (woke == WAIT_OBJECT_0 + 2) {
            // Painting only, straight to the windows: taking a message from
            // the queue would also deliver what other threads and processes
            // send meanwhile, which must wait for the command's end as it
            // does while the plugin runs in this process.
            EnumThreadWindows(GetCurrentThreadId(), PaintNow, 0);
        } else if (woke == WAIT_FAILED) {
            // A wait that cannot be made counts as the host's end.
            TerminateProcess(process_, kHostExitEndedByCaller);
            WaitForSingleObject(process_, 5000);
            return false;
        }
    }
}

// The pipe broke or closed: the host ends, or is ended when it does not.
[[noreturn]] void PluginHost::Ended() {
    if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0)
        TerminateProcess(process_, kHostExitEndedByCaller);
    WaitForSingleObject(process_, 5000);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    const ForeignCall call = call_;
    Release();
    throw PluginProcessEnded(HostEndedReport(call, code), code);
}

void PluginHost::Close() {
    if (!process_) return;
    // Quit is a request like any other; a host that does not take it is ended.
    const std::string quit = RequestFrame(QuitRequest{}, 0);
    OVERLAPPED o{};
    o.hEvent = event_;
    ResetEvent(event_);
    DWORD n = 0;
    if (lane_) {
        lane_->TryWrite(quit);
    } else if (connected_ &&
               !WriteFile(pipe_, quit.data(), static_cast<DWORD>(quit.size()), &n, &o) &&
               GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(event_, 1000) != WAIT_OBJECT_0) CancelIo(pipe_);
        GetOverlappedResult(pipe_, &o, &n, TRUE);
    }
    if (WaitForSingleObject(process_, connected_ ? 2000 : 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, kHostExitEndedByCaller);
        WaitForSingleObject(process_, 5000);
    }
    Release();
}

void PluginHost::Release() {
    connected_ = false;
    CloseLane();
    // The job's last handle: what the plugin started ends with its host.
    for (HANDLE* h : {&pipe_, &process_, &event_, &job_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
}

}  // namespace dllscope
