#include "guard/win32/guard.h"

#include <csignal>
#include <cstdlib>
#include <memory>

#include "guard/win32/exception_codes.h"
#include "guard/win32/fault_words.h"
#include "guard/win32/watchdog.h"

namespace dllscope {
namespace {

// The installed guard's watchdog; none before the guard is made.
Watchdog* watchdog = nullptr;

// abort() of the C runtime (every MinGW module shares msvcrt's) raises
// SIGABRT first: inside a guarded call that becomes an exception the guard
// ends the call with; elsewhere the program ends as it would have.
void OnAbort(int) {
    if (!InGuardedCall()) return;
    std::signal(SIGABRT, OnAbort);
    RaiseException(kAbortException, 0, 0, nullptr);  // continuable: the guard resumes elsewhere
}

}  // namespace

ForeignCallGuard::ForeignCallGuard() {
    // Room to report a stack overflow in, and no "abnormal program
    // termination" box of the C runtime before SIGABRT is raised.
    ULONG guarantee = 64 * 1024;
    SetThreadStackGuarantee(&guarantee);
    _set_error_mode(_OUT_TO_STDERR);
    std::signal(SIGABRT, OnAbort);
    if (!watchdog) watchdog = new Watchdog();
    InstallVectoredGuard();
}

ForeignCallGuard::~ForeignCallGuard() {
    RemoveVectoredGuard();
    std::signal(SIGABRT, SIG_DFL);
    delete watchdog;
    watchdog = nullptr;
}

void ForeignCallGuard::SetObserver(ForeignCallObserver* observer) {
    if (watchdog) watchdog->SetObserver(observer);
}

void CallForeign(const ForeignCall& call, void (*fn)(void*), void* arg) {
    Watchdog* const watching = watchdog;
    if (watching) {
        if (ForeignCallObserver* observer = watching->Observer()) observer->BeforeForeignCall(call);
    }
    Watchdog::Watched previous;
    if (watching) previous = watching->Begin(call);
    // The record (with room for a stack's frames) lives off the stack: the
    // foreign code starts as high on it as before the frames were kept, and
    // an overflow keeps the room for its handling that Wine leaves (about a
    // page below where it is caught).
    const auto fault = std::make_unique<Fault>();
    const bool returned = RunGuarded(fn, arg, *fault);
    if (watching) watching->End(previous);
    if (returned) return;
    std::vector<StackFrame> stack = FaultStack(call, *fault);
    std::wstring report = CrashReport(call, *fault, stack);
    throw ForeignFault(std::move(report), *fault, std::move(stack));
}

}  // namespace dllscope
