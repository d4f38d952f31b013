// The library's only way to its kernel driver: open the device, send one
// control request, close the device again. No handle outlives a call.
#pragma once

#include <windows.h>

namespace latchwire {

struct DeviceRequest {
    const char* exportName;   // prefixes every failure trace
    DWORD access;             // GENERIC_WRITE, or GENERIC_READ | GENERIC_WRITE
    DWORD code;               // control code
    void* input;
    DWORD inputSize;
    void* output = nullptr;   // only the mapping request has one
    DWORD outputSize = 0;
    // When set, the driver must report exactly this many returned bytes;
    // anything else fails the call after the request, before the close.
    const DWORD* requiredReturned = nullptr;
};

// 1 when the device opened, the request succeeded (with the required byte
// count, if any) and the device closed; else 0, after tracing why.
int DeviceCall(const DeviceRequest& request);

}  // namespace latchwire
