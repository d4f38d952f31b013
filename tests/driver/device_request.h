// One request to the drivers' device, on a handle of its own, for the drivers' tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "latchwire_device.h"

namespace devicerequest {

const DWORD kAnswerLimitMs = 20000;

struct Call {
    DWORD code;
    void* input;
    DWORD inputSize;
    void* output;
    DWORD outputSize;
    DWORD count;
    DWORD error;
};

inline DWORD WINAPI Make(void* context)
{
    Call& call = *static_cast<Call*>(context);
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) return call.error = GetLastError();
    if (!DeviceIoControl(device, call.code, call.input, call.inputSize, call.output, call.outputSize, &call.count,
                         nullptr)) {
        call.error = GetLastError();
    }
    CloseHandle(device);
    return 0;
}

}  // namespace devicerequest

// ERROR_SUCCESS when the request succeeds, else the error it failed with; the byte count in *returned.
// A request the driver never completes ends the test program at once with a failure, instead of
// hanging it until ctest gives up (its clean-up would wait on the pending request as well).
inline DWORD Request(DWORD code, void* input, DWORD inputSize, void* output = nullptr, DWORD outputSize = 0,
                     DWORD* returned = nullptr)
{
    devicerequest::Call call{code, input, inputSize, output, outputSize, 0, ERROR_SUCCESS};
    HANDLE thread = CreateThread(nullptr, 0, devicerequest::Make, &call, 0, nullptr);
    if (thread == nullptr) return GetLastError();
    if (WaitForSingleObject(thread, devicerequest::kAnswerLimitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "request " << std::hex << code << " was not completed by the driver in 20 s";
        std::fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    CloseHandle(thread);
    if (returned) *returned = call.count;
    return call.error;
}
