#include "device_call.h"

#include <cstdio>

#include "latchwire_device.h"
#include "trace_log.h"

namespace latchwire {
namespace {

void TraceFailure(const char* exportName, const char* what)
{
    char message[kTraceLineSize];
    std::snprintf(message, sizeof message, "%s-->%s", exportName, what);
    TraceLog(message);
}

// Closes the handle, tracing a failed close; 1 if it closed.
int CloseDevice(HANDLE device, const char* exportName)
{
    if (CloseHandle(device)) return 1;
    TraceFailure(exportName, "Failed to close device driver handle\n\r");
    return 0;
}

}  // namespace

int DeviceCall(const DeviceRequest& request)
{
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, request.access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        TraceFailure(request.exportName, "Open the device driver file Fail!\n\r");
        return 0;
    }

    DWORD returned = 0;
    if (!DeviceIoControl(device, request.code, request.input, request.inputSize, request.output,
                         request.outputSize, &returned, nullptr)) {
        TraceFailure(request.exportName, "DeviceIoControl Fail!\n\r");
        CloseDevice(device, request.exportName);
        return 0;
    }

    if (request.requiredReturned != nullptr && returned != *request.requiredReturned) {
        TraceFailure(request.exportName, "ReturnedLength over range!\n\r");
        CloseDevice(device, request.exportName);
        return 0;
    }

    return CloseDevice(device, request.exportName);
}

}  // namespace latchwire
