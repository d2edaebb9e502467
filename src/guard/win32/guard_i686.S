/* The guard's trampoline, 32-bit Windows: int dllscope_guarded_call(fn, arg, fault)
 * calls fn(arg) with an exception registration of its own on top of the
 * thread's chain (fs:0), whose handler (dllscope_guard_handler) sees every
 * exception that leaves fn. The handler resumes at dllscope_guard_landing
 * with the stack pointer at that registration: the foreign frames and their
 * registrations are abandoned, the registers the caller keeps are restored
 * here, and the call returns 1. A call that returns gives 0. */
    .text
    .globl  _dllscope_guarded_call
    .globl  _dllscope_guard_landing
    .def    _dllscope_guarded_call; .scl 2; .type 32; .endef
_dllscope_guarded_call:
    pushl   %ebp
    movl    %esp, %ebp
    pushl   %ebx
    pushl   %esi
    pushl   %edi
    pushl   16(%ebp)                /* registration: the fault record, */
    pushl   $_dllscope_guard_handler /* the handler, */
    pushl   %fs:0                   /* the next registration */
    movl    %esp, %fs:0
    movl    16(%ebp), %eax          /* the fault record's first field: this registration */
    movl    %esp, (%eax)
    pushl   12(%ebp)
    call    *8(%ebp)
    addl    $4, %esp
    xorl    %eax, %eax
    jmp     1f
_dllscope_guard_landing:
    cld
    fninit                          /* the foreign code's x87 stack is gone with it */
    movl    $1, %eax
1:
    movl    (%esp), %ecx            /* unlink: the chain as it was before the call */
    movl    %ecx, %fs:0
    addl    $12, %esp
    popl    %edi
    popl    %esi
    popl    %ebx
    popl    %ebp
    ret
