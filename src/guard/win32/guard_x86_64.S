/* The guard's trampoline, 64-bit Windows: int dllscope_guarded_call(fn, arg, fault)
 * calls fn(arg) in a frame whose exception handler (dllscope_guard_handler, in
 * the unwind tables) sees every exception that leaves fn. The handler resumes
 * at dllscope_guard_landing with this frame's stack pointer: the foreign
 * frames are abandoned, the registers the caller keeps are restored here, and
 * the call returns 1. A call that returns gives 0. */
    .text
    .globl  dllscope_guarded_call
    .globl  dllscope_guard_landing
    .def    dllscope_guarded_call; .scl 2; .type 32; .endef
    .seh_proc dllscope_guarded_call
dllscope_guarded_call:
    .seh_handler dllscope_guard_handler, @except
    pushq   %rbp
    .seh_pushreg %rbp
    pushq   %rbx
    .seh_pushreg %rbx
    pushq   %rsi
    .seh_pushreg %rsi
    pushq   %rdi
    .seh_pushreg %rdi
    pushq   %r12
    .seh_pushreg %r12
    pushq   %r13
    .seh_pushreg %r13
    pushq   %r14
    .seh_pushreg %r14
    pushq   %r15
    .seh_pushreg %r15
    subq    $216, %rsp              /* shadow space, the fault record, xmm6-xmm15 */
    .seh_stackalloc 216
    movaps  %xmm6, 48(%rsp)
    .seh_savexmm %xmm6, 48
    movaps  %xmm7, 64(%rsp)
    .seh_savexmm %xmm7, 64
    movaps  %xmm8, 80(%rsp)
    .seh_savexmm %xmm8, 80
    movaps  %xmm9, 96(%rsp)
    .seh_savexmm %xmm9, 96
    movaps  %xmm10, 112(%rsp)
    .seh_savexmm %xmm10, 112
    movaps  %xmm11, 128(%rsp)
    .seh_savexmm %xmm11, 128
    movaps  %xmm12, 144(%rsp)
    .seh_savexmm %xmm12, 144
    movaps  %xmm13, 160(%rsp)
    .seh_savexmm %xmm13, 160
    movaps  %xmm14, 176(%rsp)
    .seh_savexmm %xmm14, 176
    movaps  %xmm15, 192(%rsp)
    .seh_savexmm %xmm15, 192
    .seh_endprologue
    movq    %rsp, (%r8)             /* the fault record's first field: this frame */
    movq    %r8, 32(%rsp)           /* the handler finds the fault record here */
    movq    %rcx, %rax
    movq    %rdx, %rcx
    callq   *%rax
    xorl    %eax, %eax
    jmp     1f
dllscope_guard_landing:
    cld
    movl    $1, %eax
1:
    movaps  48(%rsp), %xmm6
    movaps  64(%rsp), %xmm7
    movaps  80(%rsp), %xmm8
    movaps  96(%rsp), %xmm9
    movaps  112(%rsp), %xmm10
    movaps  128(%rsp), %xmm11
    movaps  144(%rsp), %xmm12
    movaps  160(%rsp), %xmm13
    movaps  176(%rsp), %xmm14
    movaps  192(%rsp), %xmm15
    addq    $216, %rsp
    popq    %r15
    popq    %r14
    popq    %r13
    popq    %r12
    popq    %rdi
    popq    %rsi
    popq    %rbx
    popq    %rbp
    ret
    .seh_endproc
