#include "vnotebook_client.h"

#include "latchwire.h"
#include "native_driver_service.h"
#include "program_folder.h"

#include <stdexcept>

namespace vnotebook {
namespace {

struct ServiceHandles {
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
    ~ServiceHandles()
    {
        if (service) CloseServiceHandle(service);
        if (manager) CloseServiceHandle(manager);
    }
};

bool OpenDriverService(ServiceHandles& h)
{
    h.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!h.manager) return false;
    h.service = OpenServiceA(h.manager, kDriverServiceName, SERVICE_ALL_ACCESS);
    return h.service != nullptr;
}

bool Control(DWORD code, void* input, DWORD inputSize, void* output, DWORD outputSize)
{
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, code, input, inputSize, output, outputSize, &returned, nullptr);
    CloseHandle(device);
    return ok && returned == outputSize;
}

}  // namespace

std::string DriverFilePath()
{
    return programfolder::DriverFolder() + VNOTEBOOK_DRIVER_FILE;
}

bool VirtualNotebook::Install()
{
    if (!nativeservice::PrepareDriverService(kDriverServiceName, DriverFilePath())) return false;
    if (!Check_Driver(kDriverServiceName, DriverFilePath().c_str())) return false;
    return IsRunning() || Start();  // an installed service is accepted as found, maybe stopped
}

bool VirtualNotebook::Start()
{
    ServiceHandles h;
    if (!OpenDriverService(h)) return false;
    return StartServiceA(h.service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
}

bool VirtualNotebook::Stop()
{
    ServiceHandles h;
    if (!OpenDriverService(h)) return false;
    SERVICE_STATUS status;
    if (!ControlService(h.service, SERVICE_CONTROL_STOP, &status)) return false;
    for (int i = 0; i < 100 && IsRunning(); ++i) Sleep(20);
    return !IsRunning();
}

bool VirtualNotebook::Remove()
{
    return UnloadDriver(kDriverServiceName) != 0;
}

bool VirtualNotebook::IsRunning()
{
    ServiceHandles h;
    if (!OpenDriverService(h)) return false;
    SERVICE_STATUS status;
    return QueryServiceStatus(h.service, &status) && status.dwCurrentState == SERVICE_RUNNING;
}

bool VirtualNotebook::Reset()
{
    return Control(IOCTL_VN_RESET, nullptr, 0, nullptr, 0);
}

bool VirtualNotebook::Configure(uint32_t key, uint32_t value)
{
    VnConfigRequest request{key, value};
    return Control(IOCTL_VN_CONFIGURE, &request, sizeof request, nullptr, 0);
}

bool VirtualNotebook::TryState(VnSnapshot* snapshot)
{
    return Control(IOCTL_VN_GET_STATE, nullptr, 0, snapshot, sizeof *snapshot);
}

VnSnapshot VirtualNotebook::State()
{
    VnSnapshot snapshot{};
    if (!TryState(&snapshot)) throw std::runtime_error("virtual notebook state not readable");
    return snapshot;
}

}  // namespace vnotebook
