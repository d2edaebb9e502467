#include "host/win32/host_process.h"

#include <cstddef>
#include <cstring>
#include <mutex>

#include "common/paths.h"
#include "common/win32/pipes.h"
#include "common/win32/system_error.h"
#include "host/host_protocol.h"
#include "host/win32/mailbox.h"

namespace dllscope {
namespace {

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Every process the plugin starts belongs to the host's job, which ends
// them all when its last handle closes: when the host is done with.
HANDLE EndingJob() {
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return job;
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
    // Handles made inheritable for one host's start are inherited by every
    // process started meanwhile: one start at a time.
    static std::mutex starting;
    std::lock_guard<std::mutex> oneAtATime(starting);
    HANDLE output = nullptr;
    if (output_ && DuplicateHandle(GetCurrentProcess(), output_, GetCurrentProcess(), &output, 0,
                                   TRUE, DUPLICATE_SAME_ACCESS)) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output;
    }
    job_ = EndingJob();
    // A temporary folder of its own: what the plugin leaves there goes with
    // the host, and no other check's exchange file is there.
    temp_ = std::make_unique<PrivateTempFolder>(L"dllscope-host");
    std::wstring environment;
    if (!temp_->Path().empty()) environment = EnvironmentWithTemp(temp_->Path());
    PROCESS_INFORMATION info{};
    const BOOL created = CreateProcessW(
        program_.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr,
        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
        environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info);
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
    thread_ = info.hThread;  // it runs the plugin's calls: a hang's samples are its
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

std::wstring PluginHost::Program() const { return FileNameOf(program_); }

void PluginHost::SetCall(const ForeignCall& call) {
    waiting_.BeforeCall(call);
    call_ = call;
    since_ = began_ = GetTickCount64();
}

void PluginHost::Open() {
    Launch();
    if (!connected_) Connect();
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
    for (HANDLE* h : {&pipe_, &process_, &thread_, &event_, &job_}) {
        if (*h) CloseHandle(*h);
        *h = nullptr;
    }
    temp_.reset();  // the host is gone: its folder too
}

}  // namespace dllscope
