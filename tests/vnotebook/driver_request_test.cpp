// The simulation driver refuses malformed requests with a failure result,
// never crashes, and never writes outside what a request designates.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "latchwire.h"
#include "latchwire_device.h"
#include "ec_hardware.h"
#include "driver_environment.h"
#include "../driver/device_request.h"
#include "../driver/unusable_page.h"

using testsupport::VirtualNotebook;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

uint32_t AddressOf(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(p));
}

class DriverRequests : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(VirtualNotebook::Reset()); }
    void TearDown() override
    {
        // Whatever was sent, the driver still serves well-formed requests (and a request refused
        // above was not refused for want of a device).
        UCHAR value = 0x3C;
        PortIoRequest write{VN_SCRATCH_PORT_FIRST, AddressOf(&value)};
        EXPECT_TRUE(Send(IOCTL_WRITE_PORT_UCHAR, &write, sizeof write));
    }

    // One request on a handle of its own.
    static bool Send(DWORD code, void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0,
                     DWORD* returned = nullptr)
    {
        return Request(code, in, inSize, out, outSize, returned) == ERROR_SUCCESS;
    }
};

// Wrong input sizes, an output buffer where none belongs, and unknown codes.
TEST_F(DriverRequests, MalformedRequestsAreRefused)
{
    UCHAR value = 0;
    unsigned char port[32] = {}, map[32] = {};
    const PortIoRequest portRecord{VN_SCRATCH_PORT_FIRST, AddressOf(&value)};
    const PhysMapRequest mapRecord{VN_PHYS_BASE, 0x100};
    std::memcpy(port, &portRecord, sizeof portRecord);
    std::memcpy(map, &mapRecord, sizeof mapRecord);
    ULONG out[2] = {0, 0};
    const struct { DWORD code; unsigned char* input; DWORD inputSize, outputSize; } requests[] = {
        {IOCTL_READ_PORT_UCHAR, port, 4, 0}, {IOCTL_READ_PORT_UCHAR, port, 12, 0},
        {IOCTL_READ_PORT_UCHAR, nullptr, 0, 0}, {IOCTL_PCI_CONFIG_READ, port, 24, 0},
        {IOCTL_UNMAP_LINEAR, port, 8, 0},    {IOCTL_MAP_PHYSICAL, map, 8, 0},  // a map needs its output word
        {IOCTL_READ_PORT_UCHAR, port, 8, 4}, {IOCTL_MAP_PHYSICAL, map, 8, 8},
        {LATCHWIRE_CTL_CODE(0x7FF, 2), port, 8, 0}, {LATCHWIRE_CTL_CODE(0x80C, 2), port, 8, 0},
        {IOCTL_READ_PORT_UCHAR | 1, port, 8, 0},  // another transfer method
    };
    for (const auto& r : requests) {
        EXPECT_FALSE(Send(r.code, r.input, r.inputSize, r.outputSize ? out : nullptr, r.outputSize))
            << std::hex << r.code << " " << r.inputSize << " " << r.outputSize;
    }
    EXPECT_EQ(0u, VirtualNotebook::State().mappings);
}

// A configuration read fills exactly the bytes it designates; a range past the function, or a device
// that cannot be, is refused and touches nothing.
TEST_F(DriverRequests, PciRequestsTouchExactlyTheDesignatedBytes)
{
    unsigned char buffer[512];
    std::memset(buffer, 0xCC, sizeof buffer);
    const struct { DWORD code; PciConfigRequest request; } refused[] = {
        {IOCTL_PCI_CONFIG_READ, {1, 0, VN_TEST_PCI_DEVICE, 0, 0, AddressOf(buffer), 300}},
        {IOCTL_PCI_CONFIG_READ, {1, 0, VN_TEST_PCI_DEVICE, 0, 0xFF, AddressOf(buffer), 2}},
        {IOCTL_PCI_CONFIG_WRITE, {1, 0, 32, 0, 0, AddressOf(buffer), 2}},
    };
    for (auto r : refused) EXPECT_FALSE(Send(r.code, &r.request, sizeof r.request)) << r.request.Offset;
    for (unsigned char b : buffer) ASSERT_EQ(0xCC, b);
    PciConfigRequest read{1, 0, VN_TEST_PCI_DEVICE, 0, 0, AddressOf(buffer + 4), 3};
    ASSERT_TRUE(Send(IOCTL_PCI_CONFIG_READ, &read, sizeof read));
    const unsigned char expected[] = {0xCC, VN_TEST_PCI_VENDOR & 0xFF, VN_TEST_PCI_VENDOR >> 8,
                                      VN_TEST_PCI_DEVICEID & 0xFF, 0xCC};
    EXPECT_EQ(std::vector<unsigned char>(expected, expected + 5), std::vector<unsigned char>(buffer + 3, buffer + 8));
}

TEST_F(DriverRequests, UnmapOfAnotherAddressIsRefused)
{
    PhysMapRequest map{VN_PHYS_BASE, 0x100};
    ULONG linear = 0;
    DWORD returned = 0;
    ASSERT_TRUE(Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear, &returned));
    EXPECT_EQ(4u, returned);
    UnmapRequest wrong{linear + 0x1000};
    EXPECT_FALSE(Send(IOCTL_UNMAP_LINEAR, &wrong, sizeof wrong));
    EXPECT_EQ(1u, VirtualNotebook::State().mappings);
    UnmapRequest right{linear};
    EXPECT_TRUE(Send(IOCTL_UNMAP_LINEAR, &right, sizeof right));
    EXPECT_EQ(0u, VirtualNotebook::State().mappings);
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_NE(0u, VirtualQuery(reinterpret_cast<void*>(static_cast<ULONG_PTR>(linear)), &region, sizeof region));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), region.State) << "the view is gone from this process";
}

}  // namespace

// Run only as a child process by MappingsOfAnEndedProcessAreReclaimed: fills the mapping table and ends
// without unmapping (ExitProcess skips the test program's own clean-up as a crash would).
TEST_F(DriverRequests, DISABLED_MapUntilFullThenExit)
{
    PhysMapRequest map{VN_PHYS_BASE, 0x100};
    ULONG linear = 0;
    while (Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear)) {
    }
    ExitProcess(VirtualNotebook::State().mappings);
}

TEST_F(DriverRequests, MappingsOfAnEndedProcessAreReclaimed)
{
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=*DISABLED_MapUntilFullThenExit";
    STARTUPINFOA startup{sizeof startup};
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 20000)) << "the child did not end in 20 s";
    DWORD mappedByChild = 0;
    GetExitCodeProcess(child.hProcess, &mappedByChild);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_EQ(16u, mappedByChild) << "the child filled the table";

    PhysMapRequest map{VN_PHYS_BASE, 0x100};
    ULONG linear = 0;
    ASSERT_TRUE(Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear)) << "table still full";
    EXPECT_EQ(1u, VirtualNotebook::State().mappings);
    UnmapRequest unmap{linear};
    EXPECT_TRUE(Send(IOCTL_UNMAP_LINEAR, &unmap, sizeof unmap));
}

TEST_F(DriverRequests, MapNeverReportsMoreThanTheOutputBufferHolds)
{
    for (uint32_t reported : {3u, 5u, 4096u, 65536u}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, reported));
        PhysMapRequest map{VN_PHYS_BASE, 0x100};
        // Room far past the 4-byte output: a driver that reports more than it was given shows
        // in the sentinel, and a copy of the bytes it reports cannot reach this test's own stack.
        std::vector<ULONG> out(65536 / sizeof(ULONG) * 2, 0x5555);
        DWORD returned = 0xDEAD;
        bool ok = Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, out.data(), 4, &returned);
        EXPECT_EQ(reported <= 4, ok) << reported;
        EXPECT_EQ(ok ? reported : 0u, returned) << reported;
        EXPECT_EQ(0x5555u, out[1]) << reported;
        EXPECT_EQ(ok ? 1u : 0u, VirtualNotebook::State().mappings) << reported << ": nothing left mapped on failure";
        ASSERT_TRUE(VirtualNotebook::Reset());
    }
}

// Memory a request's data word points at that cannot be read (for writes)
// or written (for reads): the request fails and changes nothing.
TEST_F(DriverRequests, DataInUnusableMemoryFailsAndChangesNothing)
{
    const struct { const char* what; Page kind; } memories[] = {
        {"null", Page::kNull}, {"no access", Page::kNoAccess}, {"read-only", Page::kReadOnly},
        {"guard page", Page::kGuard}, {"reserved, not committed", Page::kReservedOnly}, {"freed", Page::kFreed}};
    for (const auto& memory : memories) {
        unsigned char* page = MakePage(memory.kind);
        ASSERT_TRUE(page != nullptr || memory.kind == Page::kNull);
        PortIoRequest port{VN_SCRATCH_PORT_FIRST + 8, AddressOf(page)};
        PciConfigRequest pci{1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, AddressOf(page), 1};
        if (memory.kind != Page::kReadOnly) {
            EXPECT_FALSE(Send(IOCTL_WRITE_PORT_UCHAR, &port, sizeof port)) << memory.what;
            EXPECT_FALSE(Send(IOCTL_PCI_CONFIG_WRITE, &pci, sizeof pci)) << memory.what;
        }
        EXPECT_FALSE(Send(IOCTL_READ_PORT_ULONG, &port, sizeof port)) << memory.what;
        EXPECT_FALSE(Send(IOCTL_PCI_CONFIG_READ, &pci, sizeof pci)) << memory.what;

        UCHAR scratch = 0xAA, config = 0xAA;
        PortIoRequest readBack{VN_SCRATCH_PORT_FIRST + 8, AddressOf(&scratch)};
        ASSERT_TRUE(Send(IOCTL_READ_PORT_UCHAR, &readBack, sizeof readBack));
        PciConfigRequest pciBack{1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, AddressOf(&config), 1};
        ASSERT_TRUE(Send(IOCTL_PCI_CONFIG_READ, &pciBack, sizeof pciBack));
        EXPECT_EQ(0, scratch) << memory.what;
        EXPECT_EQ(0, config) << memory.what;
        if (page != nullptr && memory.kind != Page::kFreed) VirtualFree(page, 0, MEM_RELEASE);
    }
}

// Standard-user mode lasts until the driver starts again, which is an administrator's act.
void RestartAsAdministrator()
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    ASSERT_TRUE(VirtualNotebook::Start());
    UCHAR value = 0;
    ASSERT_EQ(1, IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value)) << "administrator again";
}

// Bytes of the EC log, "C59" / "D60", since the log was cleared.
std::string EcLogText()
{
    VnSnapshot s = VirtualNotebook::State();
    std::string text;
    for (uint32_t i = 0; i < s.ecLogCount && i < VN_EC_LOG_SIZE; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "%s%02X ", s.ecLog[i].isCommand ? "C" : "D", s.ecLog[i].value);
        text += word;
    }
    return text;
}

// What a standard user may do is the access policy's to say, value by value; the driver's part is to
// judge each data-port byte by the EC register the index ports select, and a decode write by the
// registers found under the chipset: then the sticky-key exchange goes through on both chipsets and a
// byte outside it, or anything raw, does not.
TEST_F(DriverRequests, StandardUserMayRunTheStickyKeyExchangeAndNothingRaw)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CALLER_IS_ADMIN, 0));
    for (uint32_t chipset : {VN_CHIPSET_FIRST, VN_CHIPSET_SECOND}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, chipset));
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
        UCHAR value = 0;
        ULONG linear = 0;
        EXPECT_EQ(0, IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value)) << chipset;
        EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear)) << chipset;
        UCHAR outside = 0xAA;
        EXPECT_EQ(0, EC_IndexMode_WriteCOMM(STICKY_CMD, 1, &outside)) << chipset << ": a data byte outside the four";
        EXPECT_EQ(1, Enable_StickyKey()) << chipset;
        EXPECT_EQ(1, FnKeyDown()) << chipset;
        EXPECT_EQ(1, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_FN_UP, 0, 0)) << chipset << ": the mailbox's command";
        VnSnapshot state = VirtualNotebook::State();
        EXPECT_EQ("C59 C59 D60 C59 D62 C59 D63 ", EcLogText()) << chipset << ": all but the refused byte";
        EXPECT_EQ(1u, state.stickyMode) << chipset;
        EXPECT_EQ(0u, state.fnDown) << chipset;
        EXPECT_EQ(0u, state.decodeOpen) << chipset << ": window closed again";
    }
    RestartAsAdministrator();
}

TEST_F(DriverRequests, StandardUserCannotLiftItsOwnRestriction)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CALLER_IS_ADMIN, 0));
    UCHAR value = 0;
    EXPECT_FALSE(VirtualNotebook::Configure(VN_CFG_CALLER_IS_ADMIN, 1)) << "the configuration request";
    EXPECT_EQ(0, IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value));
    ASSERT_TRUE(VirtualNotebook::Reset());
    EXPECT_EQ(0, IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value)) << "the reset request";
    EXPECT_EQ(1, FnKeyDown()) << "still served as a standard user";
    RestartAsAdministrator();
}

// Run only as a child process by KillingACallerMidRequestNeverHangsTheDriver: requests with pointers
// into its memory, back to back, until it is killed (or gives up after a bound).
TEST_F(DriverRequests, DISABLED_RequestUntilKilled)
{
    UCHAR bytes[4] = {};
    for (int i = 0; i < 200000; ++i) {
        IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, bytes);
        PCI_DeviceReceiveCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0, bytes, 4);
    }
}

namespace {

DWORD WINAPI ProbeTheDriver(void*)
{
    UCHAR value = 0;
    return IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value) ? 0 : 1;
}

// Waits until the driver has served more than count requests since before; false after 10 s.
bool WaitForRequests(uint32_t before, uint32_t count)
{
    for (int i = 0; i < 1000; ++i) {
        VnSnapshot s{};
        if (VirtualNotebook::TryState(&s) && s.requestCount - before >= count) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

TEST_F(DriverRequests, KillingACallerMidRequestNeverHangsTheDriver)
{
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=*DISABLED_RequestUntilKilled";
    for (int kill = 0; kill < 50; ++kill) {
        STARTUPINFOA startup{sizeof startup};
        PROCESS_INFORMATION child{};
        uint32_t before = VirtualNotebook::State().requestCount;
        ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &child));
        // Varied moments: after 1 to 13 requests, then a pause of 0 to 2 ms.
        EXPECT_TRUE(WaitForRequests(before, 1 + kill % 13)) << "kill " << kill << ": the child made no requests";
        Sleep(kill % 3);
        TerminateProcess(child.hProcess, 9);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 10000)) << "kill " << kill << ": child not gone";
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);

        HANDLE probe = CreateThread(nullptr, 0, ProbeTheDriver, nullptr, 0, nullptr);
        ASSERT_NE(nullptr, probe);
        DWORD waited = WaitForSingleObject(probe, 20000);
        DWORD result = 1;
        GetExitCodeThread(probe, &result);
        CloseHandle(probe);
        if (waited != WAIT_OBJECT_0) {
            ADD_FAILURE() << "kill " << kill << ": a request after the kill did not come back";
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);  // the hung driver would hang the clean-up as well
        }
        EXPECT_EQ(0u, result) << "kill " << kill << ": the request after the kill failed";
    }
}
