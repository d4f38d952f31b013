#include "exchange_lock.h"

#include <string>

#include "shared_objects.h"
#include "trace_log.h"

namespace latchwire {
namespace {

// Opened once per process and kept: every exchange waits on the same
// handles. Threads that race here keep the first and close their own.
HANDLE volatile g_mutexes[2] = {};

// Slot 0 is the global mutex, slot 1 the session's: the fixed order of taking.
// The name is made only the first time.
HANDLE LockMutex(int slot)
{
    if (g_mutexes[slot] != nullptr) return g_mutexes[slot];
    const std::string name = slot == 0 ? std::string(kGlobalPrefix) + kExchangeLockName : kExchangeLockName;
    HANDLE made = OpenSharedMutex(name.c_str());
    if (made == nullptr) return nullptr;
    HANDLE previous = InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&g_mutexes[slot]), made,
                                                        nullptr);
    if (previous == nullptr) return made;
    CloseHandle(made);
    return previous;
}

}  // namespace

ExchangeLock::Outcome ExchangeLock::Acquire()
{
    const DWORD start = GetTickCount();
    bool deadHolder = false;
    for (int slot = 0; slot < 2; ++slot) {
        HANDLE mutex = LockMutex(slot);
        if (mutex == nullptr) continue;
        const DWORD waited = GetTickCount() - start;
        const DWORD result = WaitForSingleObject(mutex, waited < kExchangeLockWaitMs ? kExchangeLockWaitMs - waited : 0);
        if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
            Release();
            TraceLog("EC exchange lock not won, nothing sent\n\r");
            return LOCK_BUSY;
        }
        deadHolder = deadHolder || result == WAIT_ABANDONED;
        held_[heldCount_++] = mutex;
    }
    if (heldCount_ == 0) return LOCK_UNAVAILABLE;
    return deadHolder ? LOCK_TAKEN_FROM_DEAD_HOLDER : LOCK_TAKEN;
}

void ExchangeLock::Release()
{
    while (heldCount_ > 0) ReleaseMutex(held_[--heldCount_]);
}

}  // namespace latchwire
