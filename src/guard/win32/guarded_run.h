#pragma once
// The guard's mechanism: a function run so that a hardware fault, or an
// exception of the platform's that leaves it, ends the run where it stands
// (its frames abandoned, not unwound) and says what ended it.
#include <windows.h>

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

// Whether this thread is inside a guarded run.
bool InGuardedCall();

}  // namespace dllscope
