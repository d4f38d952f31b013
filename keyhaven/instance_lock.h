// instance_lock.h - orders the instance check of programs started at the
// same moment: a start holds the named mutex from its search for a running
// instance until its own dialog carries the caption that others search for.
#pragma once

#include <windows.h>

class InstanceLock {
public:
    InstanceLock();
    ~InstanceLock();  // releases the mutex if still held

    // Waits for the mutex (a bounded time: a start never hangs on it).
    void Acquire();
    void Release();

private:
    InstanceLock(const InstanceLock&);
    InstanceLock& operator=(const InstanceLock&);

    HANDLE hMutex_;
    bool held_;
};
