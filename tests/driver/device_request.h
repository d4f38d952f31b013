// One request to the drivers' device, on a handle of its own, for the drivers' tests.
#pragma once

#include <windows.h>

#include "latchwire_device.h"

// ERROR_SUCCESS when the request succeeds, else the error it failed with; the byte count in *returned.
inline DWORD Request(DWORD code, void* input, DWORD inputSize, void* output = nullptr, DWORD outputSize = 0,
                     DWORD* returned = nullptr)
{
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD count = 0;
    DWORD error = DeviceIoControl(device, code, input, inputSize, output, outputSize, &count, nullptr)
                      ? ERROR_SUCCESS
                      : GetLastError();
    CloseHandle(device);
    if (returned) *returned = count;
    return error;
}
