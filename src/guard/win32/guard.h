#pragma once
// Calls into code that is not Dllscope's (a library's entry point, the
// bridge, a plugin, the demo exports and objects) run under a guard: a
// hardware fault, an exception of the platform's that leaves the foreign
// code, or the foreign code's abort ends only that call, and the command
// reports it. The guarded region is the foreign call alone: a body holds no
// object with a destructor and lets no C++ exception escape, since a fault
// abandons its frames without unwinding them.
//
// Abandoning, not unwinding, is deliberate. A fault in a library's entry
// point on loading or freeing never reaches the guard: the loader runs it
// under a handler of its own, and its lock is free afterwards. A fault in
// the system's own code (a result that overran its block into the heap's
// records) leaves state that no unwinding repairs: its locks have no
// termination handlers. Unwinding would only run the plugin's own clean-up
// code in a process known to be in a bad state, where a second fault
// during the unwind could not be landed from.
#include <windows.h>

#include <string>
#include <type_traits>
#include <vector>

#include "common/runtime_error.h"
#include "guard/foreign_call.h"
#include "guard/win32/call_observer.h"
#include "guard/win32/guarded_run.h"
#include "symbols/stack_frame.h"

namespace dllscope {

// The guard of the program's foreign calls, made once at the start (in
// wWinMain, in the checker's wmain) and alive until the end: room on the
// stack to report an overflow in, no box of the C runtime on abort, abort
// inside a guarded call raised as an exception, and the watchdog thread that
// notices calls that do not return. Calls made while none is installed are
// guarded all the same, but nobody watches them.
class ForeignCallGuard {
  public:
    ForeignCallGuard();
    ~ForeignCallGuard();
    ForeignCallGuard(const ForeignCallGuard&) = delete;
    ForeignCallGuard& operator=(const ForeignCallGuard&) = delete;

    // The observer (the main window's text recovery, the checker), or
    // nullptr. Set and read under the watchdog's lock; the watchdog calls it
    // only under that lock, so that once this returns the old one is unused.
    void SetObserver(ForeignCallObserver* observer);
};

// What CallForeign throws for a fault: the report, the fault itself, and
// the frames of its stack that belong to the call (symbols read).
class ForeignFault : public RuntimeError {
  public:
    ForeignFault(std::wstring report, const Fault& fault, std::vector<StackFrame> stack = {})
        : RuntimeError(std::move(report)), fault_(fault), stack_(std::move(stack)) {}
    const Fault& Details() const { return fault_; }
    const std::vector<StackFrame>& Stack() const { return stack_; }

  private:
    Fault fault_;
    std::vector<StackFrame> stack_;
};

// Runs body as the call `call`: the observer is told first, the watchdog
// watches it, and a fault throws ForeignFault with the report.
void CallForeign(const ForeignCall& call, void (*fn)(void*), void* arg);

template <class Body>
void CallForeign(const ForeignCall& call, Body&& body) {
    CallForeign(
        call, [](void* b) { (*static_cast<std::remove_reference_t<Body>*>(b))(); }, &body);
}

}  // namespace dllscope
