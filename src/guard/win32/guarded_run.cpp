#include "guard/win32/guarded_run.h"

#include <cstddef>

static_assert(offsetof(dllscope::Fault, guardFrame) == 0, "the trampolines write the frame first");

#include "guard/win32/exception_codes.h"
#include "guard/win32/stack_walk.h"

extern "C" {
int dllscope_guarded_call(void (*fn)(void*), void* arg, dllscope::Fault* fault);
void dllscope_guard_landing();
EXCEPTION_DISPOSITION dllscope_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                             CONTEXT* context, void* dispatcherContext);
}

namespace dllscope {
namespace {

constexpr DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND

thread_local int guardDepth = 0;
thread_local Fault* innermost = nullptr;  // the record of this thread's innermost guarded run

// Errors (severity bits 11, the customer-defined ones included) and the
// warnings that end a program when nobody handles them; informational
// exceptions (a thread name, debug output) go on to whoever raised them.
bool Contained(DWORD code) {
    if ((code & 0xC0000000) == 0xC0000000) return true;
    switch (code) {
        case EXCEPTION_DATATYPE_MISALIGNMENT:
        case EXCEPTION_BREAKPOINT:
        case EXCEPTION_SINGLE_STEP:
        case kGuardPageViolation:
        case kGccCppException:
        case kDelphiException:
            return true;
        default:
            return false;
    }
}

// After a stack overflow the stack has lost its guard page: the next
// overflow would end the program. Guard the lowest committed pages again,
// as many as the system keeps in reserve for handling an overflow.
void RearmStackGuard() {
    MEMORY_BASIC_INFORMATION here;
    if (!VirtualQuery(&here, &here, sizeof here)) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const SIZE_T page = system.dwPageSize;
    ULONG guarantee = 0;
    SetThreadStackGuarantee(&guarantee);  // 0 asks without changing it
    const SIZE_T pages =
        guarantee > 0 ? (guarantee + page - 1) / page : (sizeof(void*) == 8 ? 2 : 1);
    char* at = static_cast<char*>(here.AllocationBase);
    char* const top = reinterpret_cast<char*>(&here);
    while (at < top) {
        MEMORY_BASIC_INFORMATION region;
        if (!VirtualQuery(at, &region, sizeof region)) return;
        if (region.Protect & PAGE_GUARD) return;  // armed
        if (region.State == MEM_COMMIT && !(region.Protect & PAGE_NOACCESS)) {
            DWORD old;
            VirtualProtect(region.BaseAddress, pages * page, PAGE_READWRITE | PAGE_GUARD, &old);
            return;
        }
        at = static_cast<char*>(region.BaseAddress) + region.RegionSize;
    }
}

}  // namespace

bool InGuardedCall() { return guardDepth > 0; }

bool RunGuarded(void (*fn)(void*), void* arg, Fault& fault) noexcept {
    fault = Fault{};
    Fault* const outer = innermost;
    innermost = &fault;
    ++guardDepth;
    const int faulted = dllscope_guarded_call(fn, arg, &fault);
    --guardDepth;
    innermost = outer;
    if (faulted && fault.code == EXCEPTION_STACK_OVERFLOW) RearmStackGuard();
    return faulted == 0;
}

}  // namespace dllscope

namespace dllscope {
namespace {

// Ends the guarded run that `fault` records: notes the fault and its stack,
// and resumes at the trampoline's landing with its frame.
void Land(const EXCEPTION_RECORD* record, CONTEXT* context, ULONG_PTR frame, Fault* fault) {
    fault->code = record->ExceptionCode;
    fault->address = record->ExceptionAddress;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        fault->accessKnown = true;
        fault->accessKind = record->ExceptionInformation[0];
        fault->accessAddress = record->ExceptionInformation[1];
    }
    // An overflow of the stack leaves its handler a page or so: the place
    // of the fault only, nothing that reads the stack.
    const bool overflow = record->ExceptionCode == EXCEPTION_STACK_OVERFLOW;
    fault->returnKnown = !overflow && ReturnTarget(record, context, frame, fault->returnTarget);
    fault->frames[0] = record->ExceptionAddress;
    fault->frameCount = overflow ? 1 : WalkStack(context, frame, fault->frames, kMaxFaultFrames);
#ifdef _WIN64
    context->Rsp = frame;
    context->Rip = reinterpret_cast<DWORD64>(&dllscope_guard_landing);
#else
    context->Esp = frame;
    context->Eip = reinterpret_cast<DWORD>(&dllscope_guard_landing);
#endif
}

// Seen before the frames' handlers: a hardware fault in a guarded run whose
// stack the system's dispatch cannot follow to the guard (a buffer on the
// stack ran over the return addresses, or too little of it is left) is
// landed here; everything else goes on to the frames' handlers, the foreign
// code's own first.
LONG CALLBACK VectoredGuard(EXCEPTION_POINTERS* pointers) {
    Fault* const fault = innermost;
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    // A stack overflow is landed here, before the frames' handlers: the
    // system's walk to them needs more stack than the overflow leaves when
    // the guarantee asked for is not kept (Wine raises it a page above the
    // stack's end, and the walk then ends the thread).
    if (fault && fault->guardFrame && code == EXCEPTION_STACK_OVERFLOW) {
        Land(pointers->ExceptionRecord, pointers->ContextRecord, fault->guardFrame, fault);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    // Only a return that went astray (a refused `ret`, execution where no
    // code is): other faults, the system's own handled ones among them, go
    // to the frames' handlers. A stack overflow leaves too little room to
    // follow the stack here; the frames' handlers land it.
    ULONG_PTR target = 0;
    if (!fault || !fault->guardFrame || code != EXCEPTION_ACCESS_VIOLATION ||
        !ReturnTarget(pointers->ExceptionRecord, pointers->ContextRecord, fault->guardFrame,
                      target) ||
        DispatchReaches(pointers->ContextRecord, fault->guardFrame)) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    Land(pointers->ExceptionRecord, pointers->ContextRecord, fault->guardFrame, fault);
    return EXCEPTION_CONTINUE_EXECUTION;
}

PVOID vectoredGuard = nullptr;

}  // namespace

void InstallVectoredGuard() {
    if (!vectoredGuard) vectoredGuard = AddVectoredExceptionHandler(1, VectoredGuard);
}

void RemoveVectoredGuard() {
    if (vectoredGuard) RemoveVectoredExceptionHandler(vectoredGuard);
    vectoredGuard = nullptr;
}

}  // namespace dllscope

extern "C" EXCEPTION_DISPOSITION dllscope_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                        CONTEXT* context, void*) {
    if ((record->ExceptionFlags & dllscope::kUnwinding) ||
        !dllscope::Contained(record->ExceptionCode)) {
        return ExceptionContinueSearch;
    }
    // The trampoline keeps the fault record beside its frame: 32 bytes above
    // the frame on 64-bit Windows, in the registration on 32-bit Windows.
    constexpr std::size_t kRecordOffset = sizeof(void*) == 8 ? 32 : 8;
    auto* fault = *reinterpret_cast<dllscope::Fault**>(static_cast<char*>(frame) + kRecordOffset);
    dllscope::Land(record, context, reinterpret_cast<ULONG_PTR>(frame), fault);
    return ExceptionContinueExecution;
}
