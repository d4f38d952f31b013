// Records the operating-system calls Latchwire.dll makes, by replacing them in
// its import table for the life of one LibraryCalls: device opens, device
// requests with their records, pauses (recorded, not slept), semaphores, and
// waits on the semaphore and on the exchange lock. One instance at a time;
// calls may come from several threads.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace latchwiretest {

struct DeviceOpen {
    std::string path;
    DWORD access, share, disposition, flags;
    bool securityOrTemplate;
};

struct DeviceRequest {
    DWORD code;
    std::vector<DWORD> words;  // the input record
    DWORD pointee;             // for writes: the value the record's Data word points to
    DWORD outputSize;
    bool outputGiven, overlappedGiven;
    std::string Text() const;  // "W1 FF2D=F4", "R1 FF2F", "CR 1:0/1F/0@84x2", "CW 1:0/1F/0@84x2=FF21"
};

struct Recorded {
    std::vector<DeviceOpen> opens;
    std::vector<DeviceRequest> requests;
    std::vector<DWORD> sleeps;
    std::vector<std::pair<DWORD, DWORD>> waits;      // (time limit, result) of semaphore waits with a limit
    std::vector<std::pair<DWORD, DWORD>> lockWaits;  // (time limit, result) of every other wait
    int closes = 0;
    int mutexReleases = 0;
    std::vector<std::string> RequestTexts() const;
};

class LibraryCalls {
public:
    LibraryCalls();
    ~LibraryCalls();
    Recorded Get() const;
    // The nth request (from 1) of this code fails without reaching the driver.
    void FailRequest(DWORD code, int nth) { Change(code, nth, true, 0); }
    // The nth request (from 1) of this code, a port or configuration read,
    // hands the library value (its low bytes) instead of what the driver read.
    void ReplaceRead(DWORD code, int nth, DWORD value) { Change(code, nth, false, value); }
    // From now on CloseHandle reports failure (the handle is closed all the same).
    void FailCloses();
    // Runs action just before the nth device request (from 1) goes to the driver.
    void BeforeRequest(int nth, std::function<void()> action);
    // The exchange that makes the nth ReleaseMutex call (from 1) waits right
    // after it until release is signalled.
    void HoldAfterMutexRelease(int nth, HANDLE release);
    // Waits that have begun (and may not have ended) on anything but a semaphore.
    int LockWaitsBegun() const;

private:
    void Change(DWORD code, int nth, bool fails, DWORD value);
    struct Hooks;
    std::unique_ptr<Hooks> hooks_;
};

// The last n bytes the EC accepted (all that it keeps by default), oldest first, as "C59"/"D60" words.
std::vector<std::string> EcBytes(uint32_t n = ~0u);

// Names the instances of a test run on each chipset.
std::string ChipsetName(const ::testing::TestParamInfo<uint32_t>& info);

}  // namespace latchwiretest
