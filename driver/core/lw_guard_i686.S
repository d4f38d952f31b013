/*
 * LwGuardedCall: an i686 structured exception frame (see lw_guard.h).
 *
 * Stack while the routine runs, from the record upwards:
 *   [record + 0]  next record on the fs:[0] chain
 *   [record + 4]  LwGuardHandler
 *   [record + 8]  edi, esi, ebx, ebp of the caller, then the return address
 * Both ways out, the normal return and the handler's resumption, leave through
 * GuardLeave with esp at the record and the result in eax.
 */
    .intel_syntax noprefix
    .text

    .globl _LwGuardedCall
    .def _LwGuardedCall; .scl 2; .type 32; .endef
/* long __cdecl LwGuardedCall(long (*routine)(void*), void* context) */
_LwGuardedCall:
    push ebp
    mov ebp, esp
    push ebx
    push esi
    push edi
    push OFFSET _LwGuardHandler
    push DWORD PTR fs:[0]
    mov DWORD PTR fs:[0], esp
    push DWORD PTR [ebp + 12]
    call DWORD PTR [ebp + 8]
    add esp, 4
GuardLeave:
    pop ecx
    mov DWORD PTR fs:[0], ecx
    add esp, 4
    pop edi
    pop esi
    pop ebx
    pop ebp
    ret

/*
 * EXCEPTION_DISPOSITION __cdecl LwGuardHandler(EXCEPTION_RECORD* exception,
 *     void* record, CONTEXT* context, void* dispatcher)
 * An unwind passing through is let on (ExceptionContinueSearch). An exception
 * is caught: the frames above the record are unwound, and execution resumes at
 * GuardLeave on the record with the exception code in eax. The handler never
 * returns to the dispatcher then, which is also what makes a non-continuable
 * exception (ExRaiseStatus) catchable.
 */
    .def _LwGuardHandler; .scl 3; .type 32; .endef
_LwGuardHandler:
    mov eax, DWORD PTR [esp + 4]
    test DWORD PTR [eax + 4], 6          /* EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND */
    jnz GuardSearchOn
    mov ecx, DWORD PTR [esp + 8]
    push ecx                             /* kept for after the unwind: the record ... */
    push DWORD PTR [eax]                 /* ... and the exception code */
    push 0                               /* RtlUnwind(record, GuardUnwound, exception, 0) */
    push eax
    push OFFSET GuardUnwound
    push ecx
    call _RtlUnwind@16
GuardUnwound:
    pop eax
    pop esp
    jmp GuardLeave
GuardSearchOn:
    mov eax, 1                           /* ExceptionContinueSearch */
    ret

