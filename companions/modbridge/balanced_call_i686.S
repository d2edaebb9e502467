/* The bridge's call of a plugin export on 32 bits:
 *     uintptr_t ts_balanced_call(fn, args, count, int* left)
 * pushes `count` arguments from args[] (the last one first), calls fn as
 * Tagsmith does (__stdcall: the export removes its arguments) and gives back
 * what it left in EAX. *left becomes the bytes of the caller's stack the
 * export did not give back: 4 for a __cdecl export that got one argument,
 * negative for one that removed more than it got, 0 when it kept the
 * convention. Either way the stack is restored from EBP, which both
 * conventions keep, so that a wrong convention never reaches the bridge. */
    .text
    .globl  _ts_balanced_call
    .def    _ts_balanced_call; .scl 2; .type 32; .endef
_ts_balanced_call:
    pushl   %ebp
    movl    %esp, %ebp
    movl    12(%ebp), %edx          /* args */
    movl    16(%ebp), %ecx          /* count */
1:  testl   %ecx, %ecx
    jz      2f
    decl    %ecx
    pushl   (%edx,%ecx,4)
    jmp     1b
2:  call    *8(%ebp)
    movl    %ebp, %ecx              /* where a __stdcall export leaves the stack */
    subl    %esp, %ecx
    movl    20(%ebp), %edx
    movl    %ecx, (%edx)
    movl    %ebp, %esp
    popl    %ebp
    ret
