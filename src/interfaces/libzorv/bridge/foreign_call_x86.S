/* The foreign call of 32-bit Windows, for a callee whose convention is not
   known: stdcall (the callee pops its arguments) or cdecl (it leaves them).

   uint64_t zorvForeignCallX86(void* entry, void* const* args, uint32_t count)
   cdecl. Returns the callee's EAX in EAX and the number of argument bytes the
   callee took off the stack in EDX.

   The stack pointer is kept in EBX, which every convention preserves, so the
   stack comes back exactly as it was whatever the callee popped. EDI keeps
   the stack pointer as it stood at the call, to measure what was popped. */

        .text
        .globl  _zorvForeignCallX86
        .def    _zorvForeignCallX86; .scl 2; .type 32; .endef
        .p2align 4
_zorvForeignCallX86:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    %esp, %ebx              /* the stack as it must be restored */

        movl    8(%ebp), %eax           /* entry */
        movl    12(%ebp), %esi          /* args */
        movl    16(%ebp), %ecx          /* count */

        /* Leave the stack 16-byte aligned at the call once the arguments are
           pushed, as the compilers' own calls do. */
        leal    0(,%ecx,4), %edx
        movl    %esp, %edi
        subl    %edx, %edi
        andl    $-16, %edi
        addl    %edx, %edi
        movl    %edi, %esp

        /* Push the arguments right to left: the last one first. */
        testl   %ecx, %ecx
        jz      2f
1:      pushl   -4(%esi,%ecx,4)
        decl    %ecx
        jnz     1b
2:
        movl    %esp, %edi              /* the stack pointer at the call */
        call    *%eax

        movl    %esp, %edx              /* bytes the callee popped */
        subl    %edi, %edx
        movl    %ebx, %esp              /* undo the pushes and any pops */

        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
