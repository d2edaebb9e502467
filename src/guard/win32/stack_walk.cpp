#include "guard/win32/stack_walk.h"

namespace dllscope {
// The lowest address of this thread's stack (its reserve, not only what is
// committed).
namespace {

ULONG_PTR StackLow() {
    MEMORY_BASIC_INFORMATION region{};
    const int local = 0;
    if (!VirtualQuery(&local, &region, sizeof region)) return reinterpret_cast<ULONG_PTR>(&local);
    return reinterpret_cast<ULONG_PTR>(region.AllocationBase);
}

#ifdef _WIN64
// One frame up, as the system's dispatcher goes: by the function's unwind
// data, or for a leaf function by the return address on top. Only the
// innermost frame may be a leaf: every function that calls has unwind data,
// so a return address without any is no return address (a stack run over)
// and ends the walk: false.
bool UnwindOnce(CONTEXT& c, bool innermost) {
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION entry = RtlLookupFunctionEntry(c.Rip, &imageBase, nullptr);
    if (entry) {
        void* data = nullptr;
        DWORD64 establisher = 0;
        RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, c.Rip, entry, &c, &data, &establisher,
                         nullptr);
        return true;
    }
    if (!innermost) return false;
    c.Rip = *reinterpret_cast<const DWORD64*>(c.Rsp);
    c.Rsp += 8;
    return true;
}
#else
// Whether `at` follows a call instruction (a return address): E8 rel32, or
// FF /2 with a register, [ebp+d8] or [disp32] operand. IsBadReadPtr reads
// under a handler of its own: safe inside the guard's.
bool AfterCall(ULONG_PTR at) {
    if (at < 6 || IsBadReadPtr(reinterpret_cast<const void*>(at - 6), 6)) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(at - 6);
    const auto indirect = [](unsigned char op, unsigned char modrm) {
        return op == 0xFF && (modrm & 0x38) == 0x10;
    };
    return b[1] == 0xE8 || indirect(b[4], b[5]) || indirect(b[3], b[4]) || indirect(b[0], b[1]);
}
#endif

}  // namespace

int WalkStack(CONTEXT* context, ULONG_PTR top, const void** frames, int max) {
    const ULONG_PTR low = StackLow();
    const auto inStack = [&](ULONG_PTR at) { return at >= low && at < top && top - at >= 8; };
    int count = 0;
#ifdef _WIN64
    CONTEXT& c = *context;
    while (count < max && c.Rip != 0 && inStack(c.Rsp)) {
        frames[count++] = reinterpret_cast<const void*>(c.Rip);
        if (!UnwindOnce(c, count == 1)) break;
    }
#else
    if (max > 0) frames[count++] = reinterpret_cast<const void*>(context->Eip);
    // A function that set up no frame of its own (a leaf of the C runtime,
    // strlen) has its return address on top: the chain of frame pointers
    // would skip its caller.
    if (count < max && inStack(context->Esp)) {
        const ULONG_PTR onTop = *reinterpret_cast<const ULONG_PTR*>(context->Esp);
        const ULONG_PTR chained =
            inStack(context->Ebp) ? reinterpret_cast<const ULONG_PTR*>(context->Ebp)[1] : 0;
        if (onTop != chained && AfterCall(onTop))
            frames[count++] = reinterpret_cast<const void*>(onTop);
    }
    ULONG_PTR frame = context->Ebp;
    while (count < max && !(frame & 3) && inStack(frame)) {
        const auto* slots = reinterpret_cast<const ULONG_PTR*>(frame);
        if (slots[1] == 0) break;
        frames[count++] = reinterpret_cast<const void*>(slots[1]);
        if (slots[0] <= frame) break;
        frame = slots[0];
    }
#endif
    return count;
}

bool ReturnTarget(const EXCEPTION_RECORD* record, const CONTEXT* context, ULONG_PTR top,
                  ULONG_PTR& target) {
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record->NumberParameters < 2)
        return false;
    if (record->ExceptionInformation[0] == 8) {
        target = record->ExceptionInformation[1];
        return true;
    }
#ifdef _WIN64
    // Not an execution fault: the instruction was fetched, its byte can be read.
    const auto* code = static_cast<const unsigned char*>(record->ExceptionAddress);
    const bool onStack = context->Rsp >= StackLow() && context->Rsp + 8 <= top;
    if (onStack && (code[0] == 0xC3 || code[0] == 0xC2)) {
        target = *reinterpret_cast<const ULONG_PTR*>(context->Rsp);
        return true;
    }
#else
    (void)context, (void)top;
#endif
    return false;
}

bool DispatchReaches(const CONTEXT* context, ULONG_PTR guardFrame) {
    const ULONG_PTR low = StackLow();
    const auto inStack = [&](ULONG_PTR at) { return at >= low && at < guardFrame; };
#ifdef _WIN64
    CONTEXT c = *context;
    for (int frames = 0; frames < 1024; ++frames) {
        if (c.Rsp == guardFrame) return true;
        if (!inStack(c.Rsp) || c.Rip == 0 || !UnwindOnce(c, frames == 0)) return false;
    }
    return false;
#else
    (void)context;
    ULONG_PTR registration = 0;
    asm volatile("movl %%fs:0, %0" : "=r"(registration));
    for (int frames = 0; frames < 1024; ++frames) {
        if (registration == guardFrame) return true;
        if (!inStack(registration) || (registration & 3)) return false;
        registration = *reinterpret_cast<const ULONG_PTR*>(registration);
    }
    return false;
#endif
}

}  // namespace dllscope
