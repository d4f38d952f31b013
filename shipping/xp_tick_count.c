/* GetTickCount64 for the thread runtime of the shipped binaries.
 *
 * The mingw-w64 thread runtime that libstdc++ and the unwinder link in imports
 * GetTickCount64 for its timed waits, and Windows XP's kernel32 has no such
 * export: a binary with that import does not load there. This file binds the
 * runtime's import slot itself, so the linker takes no import from kernel32:
 * to the system's function where it exists (Vista and later), otherwise to a
 * 64-bit count extended from GetTickCount across its 49.7-day wrap. */
#include <windows.h>

typedef ULONGLONG(WINAPI* TickCount64Function)(void);

/* Low half: the last GetTickCount seen; high half: the wraps counted so far. */
static volatile LONGLONG extendedTicks;

static ULONGLONG WINAPI ExtendedTickCount(void)
{
    for (;;) {
        const LONGLONG seen = extendedTicks;
        const DWORD now = GetTickCount();
        LONGLONG next = (seen & ~(LONGLONG)0xFFFFFFFF) | now;
        if (now < (DWORD)seen) next += (LONGLONG)1 << 32;  /* wrapped since last seen */
        if (InterlockedCompareExchange64(&extendedTicks, next, seen) == seen) return (ULONGLONG)next;
    }
}

static ULONGLONG WINAPI FirstTickCount64(void);

/* The slot the runtime calls through, named as the import it replaces. */
TickCount64Function tickCount64Slot __asm__("__imp__GetTickCount64@0") = FirstTickCount64;

static ULONGLONG WINAPI FirstTickCount64(void)
{
    TickCount64Function system =
        (TickCount64Function)GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64");
    tickCount64Slot = system != NULL ? system : ExtendedTickCount;
    return tickCount64Slot();
}
