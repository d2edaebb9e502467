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

#include "common/paths.h"
#include "common/runtime_error.h"
#include "plugin/foreign_call.h"

namespace dllscope {

// What ended a guarded call.
struct Fault {
    DWORD code = 0;
    const void* address = nullptr;  // where it happened
    bool accessKnown = false;       // access violations: what was touched, and how
    ULONG_PTR accessKind = 0;       // 0 read, 1 write, 8 execute
    ULONG_PTR accessAddress = 0;
};

// Runs fn(arg) under the guard: true when it returned, false when a fault
// ended it (then `fault` says which).
bool RunGuarded(void (*fn)(void*), void* arg, Fault& fault) noexcept;

template <class Body>
bool RunGuarded(Body& body, Fault& fault) noexcept {
    return RunGuarded([](void* b) { (*static_cast<Body*>(b))(); }, &body, fault);
}

// How long a call may run before the watchdog asks whether to end Dllscope.
inline constexpr DWORD kHangMilliseconds = 15000;

// Told before every call into foreign code, and asked what to say about the
// editor text when a call does not return.
class ForeignCallObserver {
  public:
    virtual ~ForeignCallObserver() = default;
    virtual void BeforeForeignCall(const ForeignCall& call) = 0;
    virtual std::wstring SavedTextNote() = 0;
    // How long a call may run before it counts as hung.
    virtual DWORD HangMilliseconds() { return kHangMilliseconds; }
    // Called on the watchdog's thread for a call that has not returned;
    // false leaves it to the watchdog's own question (end Dllscope or wait on).
    virtual bool OnHang(const ForeignCall&, unsigned long long /*milliseconds*/) { return false; }
};

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

// What CallForeign throws for a fault: the report, and the fault itself.
class ForeignFault : public RuntimeError {
  public:
    ForeignFault(std::wstring report, const Fault& fault)
        : RuntimeError(std::move(report)), fault_(fault) {}
    const Fault& Details() const { return fault_; }

  private:
    Fault fault_;
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

#include "plugin/win32/fault_words.h"
#include "plugin/win32/foreign_result.h"
