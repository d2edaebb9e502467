#pragma once
// The guard's mechanism: a function run so that a hardware fault, or an
// exception of the platform's that leaves it, ends the run where it stands
// (its frames abandoned, not unwound) and says what ended it.
#include <windows.h>

namespace dllscope {

// The frames of a fault's stack the guard keeps: enough for a plugin's 16
// with the runtime's between them.
inline constexpr int kMaxFaultFrames = 48;

// What ended a guarded call.
struct Fault {
    // Where the guard's frame is: the trampoline notes it on entry (first:
    // the trampolines write it at the record's start).
    ULONG_PTR guardFrame = 0;
    DWORD code = 0;
    const void* address = nullptr;  // where it happened
    bool accessKnown = false;       // access violations: what was touched, and how
    ULONG_PTR accessKind = 0;       // 0 read, 1 write, 8 execute
    ULONG_PTR accessAddress = 0;
    // The stack when it happened, walked by the handler: the fault's place,
    // then the return addresses of the frames below it, up to the guard's.
    const void* frames[kMaxFaultFrames] = {};
    int frameCount = 0;
    // Where a return went (or, refused, would have gone): a fault at a
    // return instruction, or execution at an address outside every module.
    bool returnKnown = false;
    ULONG_PTR returnTarget = 0;
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

// The handler that lands faults whose stack the system's dispatch cannot
// follow to the guard: installed with the program's guard.
void InstallVectoredGuard();
void RemoveVectoredGuard();

}  // namespace dllscope
