// Runs EC exchanges for the cross-process tests. "ec_exchange_worker N" sends
// FnKeyDown and FnKeyUP alternately N times; the exit code is the number of
// failures. A kill point may follow:
//   "request K"  the process ends (exit code 99) instead of making the
//                library's Kth device request: it dies where it stands, as
//                if killed, holding whatever it holds;
//   "wait"       it ends when the library starts its semaphore wait;
//   "released"   it ends as soon as the library has given the semaphore back.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "import_hook.h"
#include "latchwire.h"

namespace {

constexpr UINT kKilledExitCode = 99;
constexpr DWORD kSemaphoreWaitMs = 600;
long g_requestsLeft = -1;

void DieHere()
{
    TerminateProcess(GetCurrentProcess(), kKilledExitCode);
}

BOOL WINAPI OnDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                              LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (--g_requestsLeft == 0) DieHere();
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL WINAPI OnReleaseSemaphore(HANDLE semaphore, LONG count, LPLONG previous)
{
    ReleaseSemaphore(semaphore, count, previous);
    DieHere();
    return FALSE;
}

DWORD WINAPI OnWait(HANDLE handle, DWORD milliseconds)
{
    if (milliseconds == kSemaphoreWaitMs) DieHere();
    return WaitForSingleObject(handle, milliseconds);
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 0;
    HMODULE library = GetModuleHandleA("Latchwire.dll");
    const bool dieAtRequest = argc > 3 && std::strcmp(argv[2], "request") == 0;
    const bool dieAtWait = argc > 2 && std::strcmp(argv[2], "wait") == 0;
    const bool dieWhenReleased = argc > 2 && std::strcmp(argv[2], "released") == 0;
    if (dieAtRequest) g_requestsLeft = std::atol(argv[3]);
    std::unique_ptr<testsupport::ImportHook> killPoint;
    if (dieAtRequest) {
        killPoint.reset(new testsupport::ImportHook(library, "kernel32.dll", "DeviceIoControl",
                                                    reinterpret_cast<void*>(OnDeviceIoControl)));
    } else if (dieAtWait) {
        killPoint.reset(new testsupport::ImportHook(library, "kernel32.dll", "WaitForSingleObject",
                                                    reinterpret_cast<void*>(OnWait)));
    } else if (dieWhenReleased) {
        killPoint.reset(new testsupport::ImportHook(library, "kernel32.dll", "ReleaseSemaphore",
                                                    reinterpret_cast<void*>(OnReleaseSemaphore)));
    }
    int failures = 0;
    for (int i = 0; i < count; ++i) failures += (i % 2 == 0 ? FnKeyDown() : FnKeyUP()) ? 0 : 1;
    return failures;
}
