/*
 * LwGuardedCall: an x64 structured exception frame (see lw_guard.h).
 *
 * x64 has no frame chain: the system finds a function's exception handler in
 * the image's unwind tables (.pdata/.xdata), which the .seh_* directives below
 * make. LwGuardedCall names LwGuardHandler as its language handler. When an
 * exception passes through the call, the handler unwinds every frame above
 * LwGuardedCall (RtlUnwindEx, which also runs their own handlers) and resumes
 * at GuardResume, in LwGuardedCall's body with its stack pointer as after the
 * prologue and the exception code in eax, as the routine's result would be.
 * The handler never returns to the dispatcher for an exception, which is also
 * what makes a non-continuable exception (ExRaiseStatus) catchable.
 */
    .intel_syntax noprefix
    .text

/* long LwGuardedCall(long (*routine)(void*), void* context) */
    .globl LwGuardedCall
    .def LwGuardedCall; .scl 2; .type 32; .endef
    .seh_proc LwGuardedCall
LwGuardedCall:
    .seh_handler LwGuardHandler, @except
    sub rsp, 40                          /* home space for the routine, and alignment */
    .seh_stackalloc 40
    .seh_endprologue
    mov rax, rcx
    mov rcx, rdx
    call rax
GuardResume:
    nop                                  /* the return address is in the body, not in the epilogue */
    add rsp, 40
    ret
    .seh_endproc

/*
 * EXCEPTION_DISPOSITION LwGuardHandler(EXCEPTION_RECORD* exception,
 *     void* establisherFrame, CONTEXT* context, DISPATCHER_CONTEXT* dispatcher)
 * An unwind passing through (or ending at) the frame is let on
 * (ExceptionContinueSearch). An exception is caught:
 *   RtlUnwindEx(establisherFrame, GuardResume, exception, code,
 *               dispatcher->ContextRecord, dispatcher->HistoryTable)
 */
    .def LwGuardHandler; .scl 3; .type 32; .endef
    .seh_proc LwGuardHandler
LwGuardHandler:
    sub rsp, 56                          /* home space, two stack arguments, alignment */
    .seh_stackalloc 56
    .seh_endprologue
    mov eax, 1                           /* ExceptionContinueSearch */
    test DWORD PTR [rcx + 4], 0x66       /* UNWINDING | EXIT_UNWIND | TARGET_UNWIND | COLLIDED_UNWIND */
    jnz GuardSearchOn
    mov r10, QWORD PTR [r9 + 0x28]       /* DISPATCHER_CONTEXT.ContextRecord */
    mov r11, QWORD PTR [r9 + 0x40]       /* DISPATCHER_CONTEXT.HistoryTable */
    mov QWORD PTR [rsp + 32], r10
    mov QWORD PTR [rsp + 40], r11
    mov r8, rcx
    mov r9d, DWORD PTR [rcx]             /* the exception code, as LwGuardedCall's result */
    mov rcx, rdx
    lea rdx, [rip + GuardResume]
    call QWORD PTR [rip + __imp_RtlUnwindEx]
    int3                                 /* RtlUnwindEx does not come back */
GuardSearchOn:
    add rsp, 56
    ret
    .seh_endproc
