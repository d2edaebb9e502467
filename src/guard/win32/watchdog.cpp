#include "guard/win32/watchdog.h"

#include <string>

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
    Watched next{true, call, GetTickCount64()};
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

void Watchdog::Watch() {
    while (WaitForSingleObject(stop_, 250) == WAIT_TIMEOUT) {
        EnterCriticalSection(&lock_);
        const DWORD limit = observer_ ? observer_->HangMilliseconds() : kHangMilliseconds;
        const bool hung = watched_.active && GetTickCount64() - watched_.since >= limit;
        const Watched seen = hung ? watched_ : Watched{};
        const unsigned long generation = generation_;
        // The observer may take the hang itself (the checker ends its report).
        const bool taken =
            hung && observer_ && observer_->OnHang(seen.call, GetTickCount64() - seen.since);
        LeaveCriticalSection(&lock_);
        if (hung && !taken) AskWhetherToEnd(seen, generation);
    }
}

void Watchdog::AskWhetherToEnd(const Watched& seen, unsigned long generation) {
    EnterCriticalSection(&lock_);
    const std::wstring note = observer_ ? observer_->SavedTextNote() : std::wstring();
    LeaveCriticalSection(&lock_);
    const std::wstring text =
        Named(seen.call) + L" antwortet nicht: Der Aufruf von " + seen.call.call + L" läuft seit " +
        std::to_wstring((GetTickCount64() - seen.since) / 1000) + L" Sekunden.\n\n" + note +
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
