// Records the operating-system calls Latchwire.dll makes, by replacing them in
// its import table for the life of one LibraryCalls: the device opens, every
// device request with its record, pauses (recorded, not slept) and waits.
// One instance at a time; safe for calls from several threads.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace latchwiretest {

struct DeviceOpen {
    std::string path;
    DWORD access, share, disposition, flags;
    bool securityOrTemplate;
};

struct DeviceRequest {
    DWORD code;
    std::vector<DWORD> words;  // the input record
    DWORD pointee;             // for writes: the value the record's Data points to
    DWORD outputSize;
    bool outputGiven, overlappedGiven;
    std::string Text() const;  // e.g. "W1 FF2D=F4", "R1 FF2F", "CR 1:0/1F/0@84x2", "CW 1:0/1F/0@84x2=FF21"
};

struct SemaphoreWait {
    DWORD milliseconds, result;
};

class LibraryCalls {
public:
    LibraryCalls();
    ~LibraryCalls();

    std::vector<DeviceOpen> Opens() const;
    std::vector<DeviceRequest> Requests() const;
    std::vector<std::string> RequestTexts() const;
    std::vector<DWORD> Sleeps() const;
    std::vector<SemaphoreWait> Waits() const;  // waits with a time limit
    std::vector<std::string> SemaphoresOpened() const;  // "name initial/maximum"
    int Closes() const;

    // The nth request (from 1) of this code fails without reaching the driver.
    void FailRequest(DWORD code, int nth);
    // From now on every CloseHandle reports failure (the handle is closed all the same).
    void FailCloses();

private:
    struct Hooks;
    std::unique_ptr<Hooks> hooks_;
};

}  // namespace latchwiretest
