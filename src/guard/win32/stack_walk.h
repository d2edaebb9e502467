#pragma once
// The stack of a fault as the guard's handlers see it, inside the handler:
// no allocation, no lock of its own, no read outside the thread's stack.
#include <windows.h>

namespace dllscope {

// The place of `context` and the return addresses of the stack below `top`
// (the guard's frame), at most `max` into `frames`: on 64 bits by the unwind
// tables every function has, on 32 bits along the chain of frame pointers.
// Gives how many. Unwinds `context` itself: a stack overflow leaves no room
// for a copy, and the guard's landing sets every register it keeps.
int WalkStack(CONTEXT* context, ULONG_PTR top, const void** frames, int max);

// Where a return went: at a refused return instruction (a 64-bit address
// that is not canonical faults at the `ret` itself) the address on top of
// the stack; after executing an address that holds no code, that address.
// False where neither is known.
bool ReturnTarget(const EXCEPTION_RECORD* record, const CONTEXT* context, ULONG_PTR top,
                  ULONG_PTR& target);

// Whether the system's dispatch of an exception in `context` finds the
// guard's frame: on 64 bits by unwinding as the dispatcher does, on 32 bits
// along the chain of registrations. A stack a buffer overflow ran over
// leads it astray.
bool DispatchReaches(const CONTEXT* context, ULONG_PTR guardFrame);

}  // namespace dllscope
