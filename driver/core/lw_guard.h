/*
 * Exception frames for kernel code built with GCC, which has no __try.
 *
 * LwGuardedCall runs a routine inside a structured exception frame whose
 * handler unwinds the frames above it and resumes behind the call with the
 * exception's code as the result:
 * - on i686 (lw_guard_i686.S) an EXCEPTION_REGISTRATION record pushed on the
 *   fs:[0] chain, unwound with RtlUnwind;
 * - on x64 (lw_guard_x86_64.S) a language handler named in the image's unwind
 *   tables, unwound with RtlUnwindEx.
 * The system's exception dispatcher finds these frames in kernel and user mode
 * alike, so the frame catches what __try/__except (EXCEPTION_EXECUTE_HANDLER)
 * would: access violations on caller memory, in-page errors, guard pages, and
 * the status a routine raises with ExRaiseStatus (continuable or not).
 *
 * Plain C types only, so that user-mode test programs can use it as well.
 */
#ifndef LW_GUARD_H
#define LW_GUARD_H

#ifdef __cplusplus
extern "C" {
#endif

/* A routine run inside the frame: returns its own status (an NTSTATUS). */
typedef long (*LwGuardedRoutine)(void* context);

/* routine(context)'s status, or the code of the exception that ended it. */
long LwGuardedCall(LwGuardedRoutine routine, void* context);

/* Copies length bytes; 0 (STATUS_SUCCESS), or the code of the exception the copy met. */
long LwGuardedCopy(void* destination, const void* source, unsigned long length);

#ifdef __cplusplus
}
#endif

#endif
