#include "guard/win32/watchdog.h"

#include <string>

#include "guard/win32/fault_words.h"
#include "sampling/win32/thread_sampler.h"

namespace dllscope {

Watchdog::Watchdog() {
    InitializeCriticalSection(&lock_);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 64 * 1024, Run, this, 0, nullptr);
}

Watchdog::~Watchdog() {
    SetEvent(stop_);
    // Bounded: a box the thread shows may still be open.
    if (thread_ && WaitForSingleObject(thread_, 2000) == WAIT_OBJECT_0) {
        CloseHandle(thread_);
        CloseHandle(stop_);
        DeleteCriticalSection(&lock_);
    }
}

void Watchdog::SetObserver(ForeignCallObserver* observer) {
    EnterCriticalSection(&lock_);
    observer_ = observer;
    LeaveCriticalSection(&lock_);
}

ForeignCallObserver* Watchdog::Observer() {
    EnterCriticalSection(&lock_);
    ForeignCallObserver* const observer = observer_;
    LeaveCriticalSection(&lock_);
    return observer;
}

Watchdog::Watched Watchdog::Begin(const ForeignCall& call) {
    Watched next{true, call, GetTickCount64(), GetCurrentThreadId()};
    EnterCriticalSection(&lock_);
    std::swap(watched_, next);
    ++generation_;
    LeaveCriticalSection(&lock_);
    return next;
}

void Watchdog::End(Watched& previous) {
    EnterCriticalSection(&lock_);
    std::swap(watched_, previous);
    if (watched_.active) watched_.since = GetTickCount64();
    ++generation_;
    LeaveCriticalSection(&lock_);
}

DWORD WINAPI Watchdog::Run(void* self) {
    static_cast<Watchdog*>(self)->Watch();
    return 0;
}

namespace {

// Where the call runs: samples of the thread that makes it, taken while
// it runs on (the lock is not held: the thread may want it when it returns).
HangPlace SampleCall(const Watchdog::Watched& seen) {
    const HANDLE thread = OpenThread(
        THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE, seen.thread);
    if (!thread) return HangPlace{};
    HangPlace place = SampleHang(GetCurrentProcess(), thread, seen.call.name);
    CloseHandle(thread);
    return place;
}

}  // namespace

void Watchdog::Watch() {
    while (WaitForSingleObject(stop_, 250) == WAIT_TIMEOUT) {
        EnterCriticalSection(&lock_);
        const DWORD limit = observer_ ? observer_->HangMilliseconds() : kHangMilliseconds;
        const bool hung = watched_.active && GetTickCount64() - watched_.since >= limit;
        const Watched seen = hung ? watched_ : Watched{};
        const unsigned long generation = generation_;
        LeaveCriticalSection(&lock_);
        if (!hung) continue;
        const HangPlace place = SampleCall(seen);
        EnterCriticalSection(&lock_);
        const bool still = generation_ == generation;
        // The observer may take the hang itself (the checker ends its report).
        const bool taken = still && observer_ &&
                           observer_->OnHang(seen.call, GetTickCount64() - seen.since, place);
        LeaveCriticalSection(&lock_);
        if (still && !taken) AskWhetherToEnd(seen, generation, place);
    }
}

void Watchdog::AskWhetherToEnd(const Watched& seen, unsigned long generation,
                               const HangPlace& place) {
    EnterCriticalSection(&lock_);
    const std::wstring note = observer_ ? observer_->SavedTextNote() : std::wstring();
    LeaveCriticalSection(&lock_);
    const std::wstring text =
        Named(seen.call) + L" antwortet nicht: Der Aufruf von " + seen.call.call + L" läuft seit " +
        std::to_wstring((GetTickCount64() - seen.since) / 1000) + L" Sekunden" +
        HangPlaceWords(place) + L"." + HangLinesHint(place) + L"\n\n" + note +
        L"\n\nDllscope jetzt beenden? \u201EJa\u201C beendet Dllscope sofort, "
        L"\u201ENein\u201C wartet weiter.";
    const int answer = MessageBoxW(nullptr, text.c_str(), L"Dllscope",
                                   MB_YESNO | MB_ICONWARNING | MB_TOPMOST | MB_SETFOREGROUND);
    EnterCriticalSection(&lock_);
    const bool stillHung = generation_ == generation;
    if (stillHung) watched_.since = GetTickCount64();  // ask again after another while
    LeaveCriticalSection(&lock_);
    if (stillHung && answer == IDYES) TerminateProcess(GetCurrentProcess(), 3);
}

}  // namespace dllscope
