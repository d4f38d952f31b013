// The library's own lock around EC exchanges, beside the utility semaphore
// that other programs use. A named mutex has an owner: when its holder dies,
// the system hands the next owner WAIT_ABANDONED, so a dead holder is never
// taken for a slow one, and a living one is never run over. Mutex ownership
// belongs to a thread, so threads of one process exclude each other as
// processes do.
//
// Two mutexes are taken in a fixed order: the global one, shared by every
// logon session, then the session's own. A process that cannot make the
// global one still excludes the others of its session through the local one.
#pragma once

#include <windows.h>

namespace latchwire {

// The longest wait for a living holder of this library; the exchange then
// fails without touching the EC.
constexpr DWORD kExchangeLockWaitMs = 5000;

constexpr char kExchangeLockName[] = "Latchwire EC Exchange Lock";

class ExchangeLock {
public:
    enum Outcome {
        LOCK_TAKEN,
        LOCK_TAKEN_FROM_DEAD_HOLDER,  // a holder died holding it
        LOCK_BUSY,                    // a living holder kept it past the limit; traced
        LOCK_UNAVAILABLE              // no mutex could be made; the semaphore alone orders
    };

    ExchangeLock() = default;
    ~ExchangeLock() { Release(); }
    ExchangeLock(const ExchangeLock&) = delete;
    ExchangeLock& operator=(const ExchangeLock&) = delete;

    Outcome Acquire();
    void Release();

private:
    HANDLE held_[2] = {};
    int heldCount_ = 0;
};

}  // namespace latchwire
