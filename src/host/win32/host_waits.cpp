#include "host/win32/host_process.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "guard/foreign_call.h"
#include "guard/win32/fault_words.h"
#include "host/host_protocol.h"
#include "host/host_words.h"
#include "host/win32/mailbox.h"
#include "sampling/win32/thread_sampler.h"

namespace dllscope {
namespace {

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

// The place of the host's call, sampled once when asked for.
class HostHang : public HangSampling {
  public:
    HostHang(HANDLE process, HANDLE thread, const std::wstring& module)
        : process_(process), thread_(thread), module_(module) {}
    const HangPlace& Place() override {
        if (!place_) place_ = SampleHang(process_, thread_, module_);
        return *place_;
    }

  private:
    HANDLE process_, thread_;
    const std::wstring& module_;
    std::optional<HangPlace> place_;
};

}  // namespace

// Waits for the launched host to connect, and makes sure it is that host.
void PluginHost::Connect() {
    call_ = ForeignCall::Load(L"Der Plugin-Prozess", Program(), L"Start");
    since_ = began_ = GetTickCount64();
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
        if (n == 0) lane_->Broken() ? Damaged() : Ended();
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
        if (!lane_->Write(data, size, [this] { return WaitFor(callerEvent_, nullptr); }))
            lane_->Broken() ? Damaged() : Ended();
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
            HostHang hang(process_, thread_, call_.name);
            if (waiting_.EndHungCall(call_, ran, hang)) {
                const HangPlace& place = hang.Place();
                TerminateProcess(process_, kHostExitEndedByCaller);
                if (pending) {
                    CancelIo(pipe_);
                    GetOverlappedResult(pipe_, pending, &n, TRUE);
                }
                WaitForSingleObject(process_, 5000);
                // The client closes what is left: this may run inside the
                // lane's own wait.
                // The whole call's time: a waiter may grant its time in slices.
                const ULONGLONG total = GetTickCount64() - began_;
                throw PluginProcessHung(HungReport(call_, total, place), call_.call, total, place);
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

// The lane's slots were written over while a message crossed: the host is
// ended, and that is said, not a hang or a lost connection.
[[noreturn]] void PluginHost::Damaged() {
    TerminateProcess(process_, kHostExitEndedByCaller);
    WaitForSingleObject(process_, 5000);
    const ForeignCall call = call_;
    Release();
    throw RuntimeError(DamagedMessageReport(call));
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

}  // namespace dllscope
