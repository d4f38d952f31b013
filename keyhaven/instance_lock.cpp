#include "instance_lock.h"

#include "keyhaven_identity.h"

namespace {

// Longer than any start needs from its search to its caption.
constexpr DWORD kInstanceCheckWaitMs = 10000;

}  // namespace

InstanceLock::InstanceLock() : hMutex_(NULL), held_(false) {}

InstanceLock::~InstanceLock()
{
    Release();
    if (hMutex_ != NULL) CloseHandle(hMutex_);
}

void InstanceLock::Acquire()
{
    if (hMutex_ == NULL) hMutex_ = CreateMutexA(NULL, FALSE, KEYHAVEN_INSTANCE_MUTEX);
    if (hMutex_ == NULL) return;
    // A mutex left by a process that died counts as taken over.
    const DWORD result = WaitForSingleObject(hMutex_, kInstanceCheckWaitMs);
    held_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void InstanceLock::Release()
{
    if (!held_) return;
    ReleaseMutex(hMutex_);
    held_ = false;
}
