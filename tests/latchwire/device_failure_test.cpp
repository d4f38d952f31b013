// How every device export of Latchwire.dll fails: driver stopped, request
// rejected, handle not closed, wrong byte count from a mapping. Trace lines
// are compared byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ec_hardware.h"
#include "import_hook.h"
#include "latchwire.h"
#include "latchwire_device.h"
#include "debug_output_capture.h"
#include "driver_environment.h"

using testsupport::ImportHook;
using debugoutput::TraceCapture;
using testsupport::VirtualNotebook;
using Messages = std::vector<std::string>;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

constexpr ULONG kScratchPort = VN_SCRATCH_PORT_FIRST;
constexpr UCHAR kUntouched = 0xCC;

// One device export, called the way a program would, with a variable the
// driver might write into.
struct DeviceExport {
    const char* name;
    DWORD code;
    std::function<int(UCHAR* variable)> call;
};

std::vector<DeviceExport> AllDeviceExports()
{
    return {
        {"IO_Port_Read_UCHAR", IOCTL_READ_PORT_UCHAR, [](UCHAR* v) { return IO_Port_Read_UCHAR(kScratchPort, v); }},
        {"IO_Port_Write_UCHAR", IOCTL_WRITE_PORT_UCHAR, [](UCHAR*) { return IO_Port_Write_UCHAR(kScratchPort, 7); }},
        {"IO_Port_Read_USHORT", IOCTL_READ_PORT_USHORT,
         [](UCHAR* v) { return IO_Port_Read_USHORT(kScratchPort, reinterpret_cast<USHORT*>(v)); }},
        {"IO_Port_Write_USHORT", IOCTL_WRITE_PORT_USHORT,
         [](UCHAR*) { return IO_Port_Write_USHORT(kScratchPort, 7); }},
        {"IO_Port_Read_ULONG", IOCTL_READ_PORT_ULONG,
         [](UCHAR* v) { return IO_Port_Read_ULONG(kScratchPort, reinterpret_cast<ULONG*>(v)); }},
        {"IO_Port_Write_ULONG", IOCTL_WRITE_PORT_ULONG, [](UCHAR*) { return IO_Port_Write_ULONG(kScratchPort, 7); }},
        {"PCI_DeviceReceiveCOMM", IOCTL_PCI_CONFIG_READ,
         [](UCHAR* v) { return PCI_DeviceReceiveCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, v, 4); }},
        {"PCI_DeviceWriteCOMM", IOCTL_PCI_CONFIG_WRITE,
         [](UCHAR* v) { return PCI_DeviceWriteCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, v, 1); }},
        {"Phy_Mapp_Lin", IOCTL_MAP_PHYSICAL,
         [](UCHAR* v) { return Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, reinterpret_cast<ULONG*>(v)); }},
        {"UnMapp_LinADD", IOCTL_UNMAP_LINEAR, [](UCHAR*) { return UnMapp_LinADD(0x12340000); }},
        {"EC_IO_SendCOMM", IOCTL_EC_IO_SEND, [](UCHAR*) { return EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_ON, 0, 0); }},
        {"EC_IO_ReceiveCOMM", IOCTL_EC_IO_RECEIVE,
         [](UCHAR* v) {
             return EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(v)), 8);
         }},
    };
}

bool AllBytesAre(const UCHAR* bytes, size_t count, UCHAR value)
{
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != value) return false;
    }
    return true;
}

HMODULE LibraryModule()
{
    return GetModuleHandleA("Latchwire.dll");
}

// CloseHandle stand-ins installed in the library's import table.
int g_closeCalls = 0;
BOOL WINAPI CountingClose(HANDLE handle)
{
    ++g_closeCalls;
    return CloseHandle(handle);
}
BOOL WINAPI FailingClose(HANDLE handle)
{
    ++g_closeCalls;
    CloseHandle(handle);  // the handle really goes away; only the result lies
    return FALSE;
}

class DeviceFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        ASSERT_TRUE(VirtualNotebook::Reset());
        g_closeCalls = 0;
    }
    void TearDown() override
    {
        if (!VirtualNotebook::IsRunning()) VirtualNotebook::Start();
    }
    TraceCapture trace;
};

TEST_F(DeviceFailures, StoppedDriverFailsEveryExportWithOneOpenLine)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    for (const DeviceExport& e : AllDeviceExports()) {
        trace.Clear();
        UCHAR variable[8];
        std::memset(variable, kUntouched, sizeof variable);
        EXPECT_EQ(0, e.call(variable)) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->Open the device driver file Fail!\n\r"}, trace.Messages());
        EXPECT_TRUE(AllBytesAre(variable, sizeof variable, kUntouched)) << e.name << " touched the variable";
    }
}

TEST_F(DeviceFailures, VendorCheckFallsBackOnlyForTheFirstChipsetBridge)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    const Messages readFailed{"PCI_DeviceReceiveCOMM-->Open the device driver file Fail!\n\r"};
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, 20, 3, 0x1002));
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, 20, 3, 0xABCD)) << "any vendor counts";
    EXPECT_EQ((Messages{readFailed[0], readFailed[0]}), trace.Messages());
    trace.Clear();
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, 31, 0, 0x8086));
    EXPECT_EQ(readFailed, trace.Messages());
}

TEST_F(DeviceFailures, RejectedRequestTracesAndStillCloses)
{
    ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(CountingClose));
    ASSERT_TRUE(hook.Installed());
    for (const DeviceExport& e : AllDeviceExports()) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE, e.code));
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE_COUNT, 1));
        trace.Clear();
        g_closeCalls = 0;
        UCHAR variable[8];
        std::memset(variable, kUntouched, sizeof variable);
        EXPECT_EQ(0, e.call(variable)) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->DeviceIoControl Fail!\n\r"}, trace.Messages());
        EXPECT_EQ(1, g_closeCalls) << e.name << " left its handle open";
        EXPECT_TRUE(AllBytesAre(variable, sizeof variable, kUntouched)) << e.name;
    }
}

TEST_F(DeviceFailures, RejectedRequestWithFailingCloseTracesBoth)
{
    ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE, IOCTL_WRITE_PORT_UCHAR));
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE_COUNT, 1));
    EXPECT_EQ(0, IO_Port_Write_UCHAR(kScratchPort, 1));
    EXPECT_EQ((Messages{"IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r",
                        "IO_Port_Write_UCHAR-->Failed to close device driver handle\n\r"}),
              trace.Messages());
}

TEST_F(DeviceFailures, FailingCloseAfterSuccessReportsFailureThoughTheRequestTookEffect)
{
    {
        ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
        EXPECT_EQ(0, IO_Port_Write_UCHAR(kScratchPort, 0x77));
        EXPECT_EQ(Messages{"IO_Port_Write_UCHAR-->Failed to close device driver handle\n\r"}, trace.Messages());
    }
    UCHAR value = 0;
    ASSERT_EQ(1, IO_Port_Read_UCHAR(kScratchPort, &value));
    EXPECT_EQ(0x77, value);
}

TEST_F(DeviceFailures, EveryExportTracesAFailingCloseUnderItsOwnName)
{
    ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
    for (const DeviceExport& e : AllDeviceExports()) {
        if (e.code == IOCTL_UNMAP_LINEAR) continue;  // needs a live mapping: below
        trace.Clear();
        UCHAR variable[8] = {1, 0, 0, 0, 0, 0, 0, 0};
        EXPECT_EQ(0, e.call(variable)) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->Failed to close device driver handle\n\r"}, trace.Messages());
    }
}

TEST_F(DeviceFailures, MapLeavesTheAddressUntouchedWhenTheCloseFails)
{
    ULONG linear = 0x5555;
    {
        ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
        EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    }
    EXPECT_EQ(0x5555u, linear);
    EXPECT_EQ(Messages{"Phy_Mapp_Lin-->Failed to close device driver handle\n\r"}, trace.Messages());
}

TEST_F(DeviceFailures, MapRejectsAnyReturnedLengthButFour)
{
    for (uint32_t reported : {0u, 3u}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, reported));
        ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(CountingClose));
        trace.Clear();
        g_closeCalls = 0;
        ULONG linear = 0x5555;
        EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear)) << reported;
        EXPECT_EQ(0x5555u, linear);
        EXPECT_EQ(Messages{"Phy_Mapp_Lin-->ReturnedLength over range!\n\r"}, trace.Messages());
        EXPECT_EQ(1, g_closeCalls);
    }
}

TEST_F(DeviceFailures, MapWithWrongLengthAndFailingCloseTracesBoth)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, 0));
    ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
    ULONG linear = 0x5555;
    EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    EXPECT_EQ((Messages{"Phy_Mapp_Lin-->ReturnedLength over range!\n\r",
                        "Phy_Mapp_Lin-->Failed to close device driver handle\n\r"}),
              trace.Messages());
    EXPECT_EQ(0x5555u, linear);
}

TEST_F(DeviceFailures, UnmapTracesAFailingCloseAfterReleasing)
{
    ULONG linear = 0;
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    {
        ImportHook hook(LibraryModule(), "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(FailingClose));
        EXPECT_EQ(0, UnMapp_LinADD(linear));
    }
    EXPECT_EQ(Messages{"UnMapp_LinADD-->Failed to close device driver handle\n\r"}, trace.Messages());
    EXPECT_EQ(0u, VirtualNotebook::State().mappings) << "the release took effect";
}

}  // namespace
