// Check_Driver and UnloadDriver against the platform's service control
// manager, with the simulation driver's file. The service's settings are read
// back through the manager.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "debug_output_capture.h"
#include "import_hook.h"
#include "latchwire.h"
#include "vnotebook_client.h"

using debugoutput::TraceCapture;
using testsupport::ImportHook;
using Messages = std::vector<std::string>;

namespace {

const char* const kService = vnotebook::kDriverServiceName;

struct ServiceConfig {
    bool present = false;
    DWORD type = 0, start = 0, errorControl = 0, state = 0;
    std::string binaryPath, displayName;
};

ServiceConfig ReadService()
{
    ServiceConfig config;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager ? OpenServiceA(manager, kService, SERVICE_ALL_ACCESS) : nullptr;
    if (service) {
        config.present = true;
        DWORD needed = 0;
        QueryServiceConfigA(service, nullptr, 0, &needed);
        std::vector<char> buffer(needed);
        auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
        if (QueryServiceConfigA(service, q, needed, &needed)) {
            config.type = q->dwServiceType;
            config.start = q->dwStartType;
            config.errorControl = q->dwErrorControl;
            config.binaryPath = q->lpBinaryPathName ? q->lpBinaryPathName : "";
            config.displayName = q->lpDisplayName ? q->lpDisplayName : "";
        }
        SERVICE_STATUS status{};
        QueryServiceStatus(service, &status);
        config.state = status.dwCurrentState;
        CloseServiceHandle(service);
    }
    if (manager) CloseServiceHandle(manager);
    return config;
}

bool DeviceAnswers()
{
    HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return false;
    CloseHandle(device);
    return true;
}

bool StopService()
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_ALL_ACCESS);
    SERVICE_STATUS status;
    BOOL ok = service && ControlService(service, SERVICE_CONTROL_STOP, &status);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    for (int i = 0; ok && i < 100 && ReadService().state != SERVICE_STOPPED; ++i) Sleep(20);
    return ok != 0;
}

HMODULE Library()
{
    return GetModuleHandleA("Latchwire.dll");
}

// Service-manager stand-ins installed in the library's import table.
int g_controlCalls = 0;
BOOL WINAPI CountingControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status)
{
    ++g_controlCalls;
    return ControlService(service, control, status);
}
BOOL WINAPI StartReportingAlreadyRunning(SC_HANDLE service, DWORD argc, LPCSTR* argv)
{
    StartServiceA(service, argc, argv);
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
}
BOOL WINAPI StartDenied(SC_HANDLE, DWORD, LPCSTR*)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
SC_HANDLE WINAPI CreateDenied(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD, LPCSTR,
                              LPCSTR, LPCSTR)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

class DriverService : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (ReadService().present) UnloadDriver(kService);
        ASSERT_FALSE(ReadService().present);
        trace.Clear();
    }
    void TearDown() override
    {
        if (ReadService().present) UnloadDriver(kService);
    }
    const std::string path_ = vnotebook::DriverFilePath();
    TraceCapture trace;
};

TEST_F(DriverService, FreshInstallCreatesStartsAndSwitchesToSystemStart)
{
    EXPECT_EQ(1, Check_Driver(kService, path_.c_str()));
    EXPECT_EQ(Messages{"Reload Driver Service Success\n\r"}, trace.Messages());
    ServiceConfig config = ReadService();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), config.type);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), config.start);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config.errorControl);
    EXPECT_EQ(kService, config.displayName);
    EXPECT_NE(std::string::npos, config.binaryPath.find("vnotebook.sys")) << config.binaryPath;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), config.state);
    EXPECT_TRUE(DeviceAnswers());

    trace.Clear();
    EXPECT_EQ(1, Check_Driver(kService, path_.c_str())) << "a second call finds it installed";
    EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(DriverService, MissingFileFailsWithOneLineEvenWhileTheServiceRuns)
{
    ASSERT_EQ(1, Check_Driver(kService, path_.c_str()));
    trace.Clear();
    EXPECT_EQ(0, Check_Driver(kService, "Z:\\nowhere\\vnotebook.sys"));
    EXPECT_EQ(Messages{"Driver is not exist\n\r"}, trace.Messages());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ReadService().state);
}

TEST_F(DriverService, InstalledButStoppedServiceIsAcceptedUnchanged)
{
    ASSERT_EQ(1, Check_Driver(kService, path_.c_str()));
    ASSERT_TRUE(StopService());
    trace.Clear();
    EXPECT_EQ(1, Check_Driver(kService, path_.c_str()));
    EXPECT_TRUE(trace.Lines().empty());
    ServiceConfig config = ReadService();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), config.state);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), config.start);
    EXPECT_FALSE(DeviceAnswers());
}

TEST_F(DriverService, AlreadyRunningCountsAsAStartedService)
{
    ImportHook hook(Library(), "advapi32.dll", "StartServiceA", reinterpret_cast<void*>(StartReportingAlreadyRunning));
    ASSERT_TRUE(hook.Installed());
    EXPECT_EQ(1, Check_Driver(kService, path_.c_str()));
    EXPECT_EQ(Messages{"Reload Driver Service Success\n\r"}, trace.Messages());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), ReadService().start);
}

TEST_F(DriverService, FailedStartLeavesTheServiceCreatedWithDemandStart)
{
    ImportHook hook(Library(), "advapi32.dll", "StartServiceA", reinterpret_cast<void*>(StartDenied));
    ASSERT_TRUE(hook.Installed());
    EXPECT_EQ(0, Check_Driver(kService, path_.c_str()));
    EXPECT_EQ(Messages{"StartDriver fail !\n\r"}, trace.Messages());
    ServiceConfig config = ReadService();
    EXPECT_TRUE(config.present);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), config.start);
}

TEST_F(DriverService, FailedCreationIsTraced)
{
    ImportHook hook(Library(), "advapi32.dll", "CreateServiceA", reinterpret_cast<void*>(CreateDenied));
    ASSERT_TRUE(hook.Installed());
    EXPECT_EQ(0, Check_Driver(kService, path_.c_str()));
    EXPECT_EQ(Messages{"InitDriverServ fail !\n\r"}, trace.Messages());
    EXPECT_FALSE(ReadService().present);
}

TEST_F(DriverService, UnloadStopsAndDeletesARunningService)
{
    ASSERT_EQ(1, Check_Driver(kService, path_.c_str()));
    ImportHook hook(Library(), "advapi32.dll", "ControlService", reinterpret_cast<void*>(CountingControlService));
    g_controlCalls = 0;
    trace.Clear();
    EXPECT_EQ(1, UnloadDriver(kService));
    EXPECT_EQ(1, g_controlCalls) << "the first stop succeeded";
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_FALSE(ReadService().present);
    EXPECT_FALSE(DeviceAnswers());
}

TEST_F(DriverService, UnloadDeletesAStoppedServiceAfterTwoFailedStops)
{
    ASSERT_EQ(1, Check_Driver(kService, path_.c_str()));
    ASSERT_TRUE(StopService());
    ImportHook hook(Library(), "advapi32.dll", "ControlService", reinterpret_cast<void*>(CountingControlService));
    g_controlCalls = 0;
    trace.Clear();
    EXPECT_EQ(1, UnloadDriver(kService));
    EXPECT_EQ(2, g_controlCalls);
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_FALSE(ReadService().present);
}

TEST_F(DriverService, UnloadOfAnAbsentServiceFails)
{
    EXPECT_EQ(0, UnloadDriver(kService));
    EXPECT_EQ(Messages{"UnloadDriver fail !\n\r"}, trace.Messages());
}

TEST_F(DriverService, ReinstallAfterUnloadWorks)
{
    ASSERT_EQ(1, Check_Driver(kService, path_.c_str()));
    ASSERT_EQ(1, UnloadDriver(kService));
    trace.Clear();
    EXPECT_EQ(1, Check_Driver(kService, path_.c_str()));
    EXPECT_EQ(Messages{"Reload Driver Service Success\n\r"}, trace.Messages());
    EXPECT_TRUE(DeviceAnswers());
}

}  // namespace
