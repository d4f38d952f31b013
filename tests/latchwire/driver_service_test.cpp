// Check_Driver and UnloadDriver against the platform's service control
// manager, with the simulation driver's file; the service's settings are read
// back through the manager, its failures forced through the library's imports.
#include <gtest/gtest.h>

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

ServiceConfig ReadService(DWORD stopFirst = 0)
{
    ServiceConfig config;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    if (service && stopFirst) ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; service && stopFirst && i < 100 && QueryServiceStatus(service, &status) &&
                    status.dwCurrentState != SERVICE_STOPPED; ++i) Sleep(20);
    char buffer[4096];
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer);
    DWORD needed = 0;
    if (service && QueryServiceConfigA(service, q, sizeof buffer, &needed) && QueryServiceStatus(service, &status)) {
        config = {true, q->dwServiceType, q->dwStartType, q->dwErrorControl, status.dwCurrentState,
                  q->lpBinaryPathName, q->lpDisplayName};
    }
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return config;
}

// Service-manager stand-ins installed in the library's import table.
int g_stops = 0;
BOOL WINAPI CountingControl(SC_HANDLE s, DWORD control, LPSERVICE_STATUS status)
{
    return ++g_stops, ControlService(s, control, status);
}
BOOL WINAPI StartAlreadyRunning(SC_HANDLE s, DWORD argc, LPCSTR* argv)
{
    StartServiceA(s, argc, argv);
    return SetLastError(ERROR_SERVICE_ALREADY_RUNNING), FALSE;
}
BOOL WINAPI StartDenied(SC_HANDLE, DWORD, LPCSTR*)
{
    return SetLastError(ERROR_ACCESS_DENIED), FALSE;
}
SC_HANDLE WINAPI CreateDenied(SC_HANDLE, LPCSTR, LPCSTR, DWORD, DWORD, DWORD, DWORD, LPCSTR, LPCSTR, LPDWORD, LPCSTR,
                              LPCSTR, LPCSTR)
{
    return SetLastError(ERROR_ACCESS_DENIED), nullptr;
}

ImportHook Hook(const char* function, void* replacement)
{
    return ImportHook(GetModuleHandleA("Latchwire.dll"), "advapi32.dll", function, replacement);
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
    int Check(const char* path = nullptr) { return Check_Driver(kService, path ? path : path_.c_str()); }
    const std::string path_ = vnotebook::DriverFilePath();
    TraceCapture trace;
};

TEST_F(DriverService, FreshInstallCreatesStartsAndSwitchesToSystemStartOnce)
{
    EXPECT_EQ(1, Check());
    EXPECT_EQ(Messages{"Reload Driver Service Success\n\r"}, trace.Messages());
    ServiceConfig config = ReadService();
    EXPECT_EQ(static_cast<DWORD>(SERVICE_KERNEL_DRIVER), config.type);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), config.start);
    EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config.errorControl);
    EXPECT_EQ(kService, config.displayName);
    EXPECT_NE(std::string::npos, config.binaryPath.find("vnotebook.sys")) << config.binaryPath;
    EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), config.state);
    trace.Clear();
    EXPECT_EQ(0, Check("Z:\\nowhere\\vnotebook.sys"));
    EXPECT_EQ(Messages{"Driver is not exist\n\r"}, trace.Messages()) << "even while the service runs";
    trace.Clear();
    ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ReadService(SERVICE_CONTROL_STOP).state);
    EXPECT_EQ(1, Check()) << "an installed service is accepted as it is";
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ReadService().state);
}

TEST_F(DriverService, StartAndCreationResultsDecide)
{
    {
        ImportHook hook = Hook("StartServiceA", reinterpret_cast<void*>(StartAlreadyRunning));
        ASSERT_TRUE(hook.Installed());
        EXPECT_EQ(1, Check()) << "already running counts as started";
        EXPECT_EQ(Messages{"Reload Driver Service Success\n\r"}, trace.Messages());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_SYSTEM_START), ReadService().start);
    }
    ASSERT_EQ(1, UnloadDriver(kService));
    trace.Clear();
    {
        ImportHook hook = Hook("StartServiceA", reinterpret_cast<void*>(StartDenied));
        EXPECT_EQ(0, Check());
        EXPECT_EQ(Messages{"StartDriver fail !\n\r"}, trace.Messages());
        EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), ReadService().start) << "created, left with demand start";
    }
    ASSERT_EQ(1, UnloadDriver(kService));
    trace.Clear();
    ImportHook hook = Hook("CreateServiceA", reinterpret_cast<void*>(CreateDenied));
    EXPECT_EQ(0, Check());
    EXPECT_EQ(Messages{"InitDriverServ fail !\n\r"}, trace.Messages());
    EXPECT_FALSE(ReadService().present);
}

TEST_F(DriverService, UnloadStopsOnceOrTwiceThenDeletesAndFailsWhenAbsent)
{
    ImportHook hook = Hook("ControlService", reinterpret_cast<void*>(CountingControl));
    for (bool stoppedBefore : {false, true}) {
        ASSERT_EQ(1, Check());
        if (stoppedBefore) ASSERT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ReadService(SERVICE_CONTROL_STOP).state);
        g_stops = 0;
        trace.Clear();
        EXPECT_EQ(1, UnloadDriver(kService));
        EXPECT_EQ(stoppedBefore ? 2 : 1, g_stops) << "a failed stop is tried once more";
        EXPECT_TRUE(trace.Lines().empty());
        EXPECT_FALSE(ReadService().present);
    }
    EXPECT_EQ(0, UnloadDriver(kService));
    EXPECT_EQ(Messages{"UnloadDriver fail !\n\r"}, trace.Messages());
}

}  // namespace
