#include "utility_semaphore.h"

namespace latchwire {

UtilitySemaphore::~UtilitySemaphore()
{
    if (handle_ != nullptr) CloseHandle(handle_);
}

void UtilitySemaphore::Open_Utility_Semaphore(const char* name, LONG count)
{
    state_ = SEM_OPEN;
    handle_ = CreateSemaphoreA(nullptr, count, count, name);  // an existing one is used as it is
}

int UtilitySemaphore::Wait_Utility_Semaphore(DWORD milliseconds)
{
    if (state_ == SEM_NONE) return 0;
    if (state_ == SEM_HELD) return 1;
    switch (WaitForSingleObject(handle_, milliseconds)) {
    case WAIT_OBJECT_0:
        state_ = SEM_HELD;
        return 1;
    case WAIT_TIMEOUT:
    case WAIT_ABANDONED:
        return 0;
    default:
        GetLastError();
        return 0;
    }
}

int UtilitySemaphore::Release_Utility_Semaphore()
{
    if (state_ == SEM_NONE) return 0;
    if (state_ == SEM_OPEN) return 1;
    if (!ReleaseSemaphore(handle_, 1, nullptr)) return 0;
    state_ = SEM_OPEN;
    return 1;
}

void UtilitySemaphore::AdoptFromDeadHolder()
{
    if (handle_ != nullptr && state_ == SEM_OPEN) state_ = SEM_HELD;
}

}  // namespace latchwire
