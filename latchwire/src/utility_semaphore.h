// The named semaphore that orders EC exchanges across processes. One object
// per exchange: its own handle and state, the handle closed when it ends.
#pragma once

#include <windows.h>

namespace latchwire {

constexpr char kUtilitySemaphoreName[] = "Quorin Utility Semaphore Object";
constexpr LONG kUtilitySemaphoreCount = 1;
constexpr DWORD kUtilitySemaphoreWaitMs = 600;

class UtilitySemaphore {
public:
    enum State { SEM_NONE = 0, SEM_OPEN = 1, SEM_HELD = 2 };

    UtilitySemaphore() = default;
    ~UtilitySemaphore();
    UtilitySemaphore(const UtilitySemaphore&) = delete;
    UtilitySemaphore& operator=(const UtilitySemaphore&) = delete;

    // Creates or opens the semaphore; a failure leaves a null handle and the
    // exchange goes on without it.
    void Open_Utility_Semaphore(const char* name, LONG count);
    // 1 when the semaphore is held afterwards.
    int Wait_Utility_Semaphore(DWORD milliseconds);
    // Gives the semaphore back if it is held.
    int Release_Utility_Semaphore();

    // Counts the semaphore as held: its count was left taken by a holder
    // that died, and this exchange gives it back at its end.
    void AdoptFromDeadHolder();
    int State() const { return state_; }
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
    int state_ = SEM_NONE;
};

}  // namespace latchwire
