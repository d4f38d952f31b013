// The driver's kernel-driver service: install it where it is missing, remove
// it on request. Every routine opens its own manager and service handles and
// closes them before it returns; nothing about the service is remembered.
#include <windows.h>
#include <shlwapi.h>

#include "latchwire.h"
#include "trace_log.h"

namespace latchwire {
namespace {

// Service handles of one routine. The manager is closed as soon as the
// service is open (or created), before the service is used.
class ServiceHandle {
public:
    ServiceHandle() = default;
    ~ServiceHandle()
    {
        if (service_ != nullptr) CloseServiceHandle(service_);
    }
    ServiceHandle(const ServiceHandle&) = delete;
    ServiceHandle& operator=(const ServiceHandle&) = delete;

    bool Open(const char* serviceName)
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager == nullptr) return false;
        service_ = OpenServiceA(manager, serviceName, SERVICE_ALL_ACCESS);
        CloseServiceHandle(manager);
        return service_ != nullptr;
    }

    bool Create(const char* driverPath, const char* serviceName)
    {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (manager == nullptr) return false;
        service_ = CreateServiceA(manager, serviceName, serviceName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                  SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, driverPath, nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        CloseServiceHandle(manager);
        return service_ != nullptr;
    }

    SC_HANDLE Get() const { return service_; }

private:
    SC_HANDLE service_ = nullptr;
};

int IsDriverServInstalled(const char* serviceName)
{
    ServiceHandle service;
    return service.Open(serviceName) ? 1 : 0;
}

int StopDriver(const char* serviceName)
{
    ServiceHandle service;
    if (!service.Open(serviceName)) return 0;
    SERVICE_STATUS status;
    return ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) ? 1 : 0;
}

int RemoveDriver(const char* serviceName)
{
    if (!StopDriver(serviceName)) StopDriver(serviceName);
    ServiceHandle service;
    if (!service.Open(serviceName)) return 0;
    return DeleteService(service.Get()) ? 1 : 0;
}

int InitDriverServ(const char* driverPath, const char* serviceName)
{
    if (!RemoveDriver(serviceName)) RemoveDriver(serviceName);
    ServiceHandle service;
    return service.Create(driverPath, serviceName) ? 1 : 0;
}

int StartDriver(const char* serviceName)
{
    ServiceHandle service;
    if (!service.Open(serviceName)) return 0;
    if (StartServiceA(service.Get(), 0, nullptr)) return 1;
    return GetLastError() == ERROR_SERVICE_ALREADY_RUNNING ? 1 : 0;
}

int SetDriverSystemStart(const char* serviceName)
{
    ServiceHandle service;
    if (!service.Open(serviceName)) return 0;
    return ChangeServiceConfigA(service.Get(), SERVICE_KERNEL_DRIVER, SERVICE_SYSTEM_START, SERVICE_ERROR_NORMAL,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, serviceName)
               ? 1
               : 0;
}

int LoadDriver(const char* driverPath, const char* serviceName)
{
    if (!InitDriverServ(driverPath, serviceName)) {
        TraceLog("InitDriverServ fail !\n\r");
        return 0;
    }
    if (!StartDriver(serviceName)) {
        TraceLog("StartDriver fail !\n\r");
        return 0;
    }
    return 1;
}

}  // namespace
}  // namespace latchwire

using namespace latchwire;

extern "C" {

int Check_Driver(const char* ServiceName, const char* DriverPath)
{
    if (!PathFileExistsA(DriverPath)) {
        TraceLog("Driver is not exist\n\r");
        return 0;
    }
    if (IsDriverServInstalled(ServiceName)) return 1;
    if (!LoadDriver(DriverPath, ServiceName)) return 0;
    if (!SetDriverSystemStart(ServiceName)) return 0;
    TraceLog("Reload Driver Service Success\n\r");
    return 1;
}

int UnloadDriver(const char* ServiceName)
{
    if (RemoveDriver(ServiceName)) return 1;
    TraceLog("UnloadDriver fail !\n\r");
    return 0;
}

}  // extern "C"
