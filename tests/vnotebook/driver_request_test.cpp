// The simulation driver refuses malformed requests with a failure result,
// never crashes, and never writes outside what a request designates.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "latchwire.h"
#include "latchwire_device.h"
#include "ec_hardware.h"
#include "driver_environment.h"

using testsupport::VirtualNotebook;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

uint32_t AddressOf(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(p));
}

class DriverRequests : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::Reset());
        device_ = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, device_);
    }
    void TearDown() override
    {
        CloseHandle(device_);
        // Whatever was sent, the driver still serves well-formed requests.
        UCHAR value = 0x3C;
        PortIoRequest write{VN_SCRATCH_PORT_FIRST, AddressOf(&value)};
        EXPECT_TRUE(Send(IOCTL_WRITE_PORT_UCHAR, &write, sizeof write));
    }

    static bool Send(DWORD code, void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0,
                     DWORD* returned = nullptr)
    {
        HANDLE device = CreateFileA(LATCHWIRE_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    0, nullptr);
        DWORD count = 0;
        BOOL ok = DeviceIoControl(device, code, in, inSize, out, outSize, &count, nullptr);
        CloseHandle(device);
        if (returned) *returned = count;
        return ok != 0;
    }

    bool SendOnOpenDevice(DWORD code, void* in, DWORD inSize, void* out = nullptr, DWORD outSize = 0)
    {
        DWORD count = 0;
        return DeviceIoControl(device_, code, in, inSize, out, outSize, &count, nullptr) != 0;
    }

    HANDLE device_ = INVALID_HANDLE_VALUE;
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
        EXPECT_FALSE(SendOnOpenDevice(r.code, r.input, r.inputSize, r.outputSize ? out : nullptr, r.outputSize))
            << std::hex << r.code << " " << r.inputSize << " " << r.outputSize;
    }
    EXPECT_EQ(0u, VirtualNotebook::State().mappings);
}

TEST_F(DriverRequests, PciRangesBeyondTheFunctionAreRefused)
{
    unsigned char buffer[512];
    std::memset(buffer, 0xCC, sizeof buffer);
    PciConfigRequest tooLong{1, 0, VN_TEST_PCI_DEVICE, 0, 0, AddressOf(buffer), 300};
    EXPECT_FALSE(SendOnOpenDevice(IOCTL_PCI_CONFIG_READ, &tooLong, sizeof tooLong));
    PciConfigRequest pastEnd{1, 0, VN_TEST_PCI_DEVICE, 0, 0xFF, AddressOf(buffer), 2};
    EXPECT_FALSE(SendOnOpenDevice(IOCTL_PCI_CONFIG_READ, &pastEnd, sizeof pastEnd));
    PciConfigRequest badDevice{1, 0, 32, 0, 0, AddressOf(buffer), 2};
    EXPECT_FALSE(SendOnOpenDevice(IOCTL_PCI_CONFIG_WRITE, &badDevice, sizeof badDevice));
    for (unsigned char b : buffer) ASSERT_EQ(0xCC, b);
}

TEST_F(DriverRequests, ReadsFillExactlyTheDesignatedBytes)
{
    unsigned char buffer[16];
    std::memset(buffer, 0xCC, sizeof buffer);
    PciConfigRequest read{1, 0, VN_TEST_PCI_DEVICE, 0, 0, AddressOf(buffer + 4), 3};
    ASSERT_TRUE(SendOnOpenDevice(IOCTL_PCI_CONFIG_READ, &read, sizeof read));
    EXPECT_EQ(0xCC, buffer[3]);
    EXPECT_EQ(VN_TEST_PCI_VENDOR & 0xFF, buffer[4]);
    EXPECT_EQ(VN_TEST_PCI_VENDOR >> 8, buffer[5]);
    EXPECT_EQ(VN_TEST_PCI_DEVICEID & 0xFF, buffer[6]);
    EXPECT_EQ(0xCC, buffer[7]);
}

TEST_F(DriverRequests, UnmapOfAnotherAddressIsRefused)
{
    PhysMapRequest map{VN_PHYS_BASE, 0x100};
    ULONG linear = 0;
    DWORD returned = 0;
    ASSERT_TRUE(Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, &linear, sizeof linear, &returned));
    EXPECT_EQ(4u, returned);
    UnmapRequest wrong{linear + 0x1000};
    EXPECT_FALSE(SendOnOpenDevice(IOCTL_UNMAP_LINEAR, &wrong, sizeof wrong));
    EXPECT_EQ(1u, VirtualNotebook::State().mappings);
    UnmapRequest right{linear};
    EXPECT_TRUE(SendOnOpenDevice(IOCTL_UNMAP_LINEAR, &right, sizeof right));
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
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.hProcess, 60000));
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
        ULONG out[4] = {0, 0x5555, 0x5555, 0x5555};
        DWORD returned = 0xDEAD;
        bool ok = Send(IOCTL_MAP_PHYSICAL, &map, sizeof map, out, 4, &returned);
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
    enum Kind { kNull, kProtected, kReservedOnly, kFreed };
    struct Memory {
        const char* what;
        Kind kind;
        DWORD protection;
    };
    for (const Memory& memory : {Memory{"null", kNull, 0}, Memory{"no access", kProtected, PAGE_NOACCESS},
                                 Memory{"read-only", kProtected, PAGE_READONLY},
                                 Memory{"guard page", kProtected, PAGE_READWRITE | PAGE_GUARD},
                                 Memory{"reserved, not committed", kReservedOnly, PAGE_READWRITE},
                                 Memory{"freed", kFreed, PAGE_READWRITE}}) {
        DWORD allocation = memory.kind == kReservedOnly ? MEM_RESERVE : MEM_COMMIT | MEM_RESERVE;
        unsigned char* page = nullptr;
        if (memory.kind != kNull) page = static_cast<unsigned char*>(VirtualAlloc(nullptr, 4096, allocation, PAGE_READWRITE));
        ASSERT_TRUE(page != nullptr || memory.kind == kNull);
        DWORD old = 0;
        if (memory.kind == kFreed || memory.kind == kProtected) page[0] = 0x77;
        if (memory.kind == kFreed) VirtualFree(page, 0, MEM_RELEASE);
        if (memory.kind == kProtected) VirtualProtect(page, 4096, memory.protection, &old);
        PortIoRequest port{VN_SCRATCH_PORT_FIRST + 8, AddressOf(page)};
        PciConfigRequest pci{1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, AddressOf(page), 1};
        if (memory.protection != PAGE_READONLY) {
            EXPECT_FALSE(SendOnOpenDevice(IOCTL_WRITE_PORT_UCHAR, &port, sizeof port)) << memory.what;
            EXPECT_FALSE(SendOnOpenDevice(IOCTL_PCI_CONFIG_WRITE, &pci, sizeof pci)) << memory.what;
        }
        EXPECT_FALSE(SendOnOpenDevice(IOCTL_READ_PORT_ULONG, &port, sizeof port)) << memory.what;
        EXPECT_FALSE(SendOnOpenDevice(IOCTL_PCI_CONFIG_READ, &pci, sizeof pci)) << memory.what;

        UCHAR scratch = 0xAA, config = 0xAA;
        PortIoRequest readBack{VN_SCRATCH_PORT_FIRST + 8, AddressOf(&scratch)};
        ASSERT_TRUE(SendOnOpenDevice(IOCTL_READ_PORT_UCHAR, &readBack, sizeof readBack));
        PciConfigRequest pciBack{1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, AddressOf(&config), 1};
        ASSERT_TRUE(SendOnOpenDevice(IOCTL_PCI_CONFIG_READ, &pciBack, sizeof pciBack));
        EXPECT_EQ(0, scratch) << memory.what;
        EXPECT_EQ(0, config) << memory.what;
        if (memory.kind == kProtected || memory.kind == kReservedOnly) VirtualFree(page, 0, MEM_RELEASE);
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

TEST_F(DriverRequests, StandardUserMayRunTheStickyKeyExchangeAndNothingRaw)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CALLER_IS_ADMIN, 0));
    for (uint32_t chipset : {VN_CHIPSET_FIRST, VN_CHIPSET_SECOND}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, chipset));
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
        const VnSnapshot before = VirtualNotebook::State();
        UCHAR value = 0;
        ULONG linear = 0;
        EXPECT_EQ(0, IO_Port_Read_UCHAR(VN_SCRATCH_PORT_FIRST, &value)) << chipset;
        EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear)) << chipset;

        // Through the index window only the sticky-key command's bytes reach the EC.
        UCHAR data[2] = {0xAA, 0x55};
        UCHAR reply[2] = {0xEE, 0xEE};
        EXPECT_EQ(0, EC_IndexMode_WriteCOMM(0x77, 2, data)) << chipset;
        EXPECT_EQ(0, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, reply)) << chipset;
        EXPECT_EQ(0, EC_IO_SendCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 0)) << chipset;
        EXPECT_EQ("", EcLogText()) << chipset << ": nothing but refused bytes was offered";
        EXPECT_EQ(0, EC_IndexMode_WriteCOMM(STICKY_CMD, 1, data)) << chipset << ": a data byte outside the four";
        EXPECT_EQ("C59 ", EcLogText()) << chipset << ": the command, not the data byte";
        EXPECT_EQ(before.stickyMode, VirtualNotebook::State().stickyMode) << chipset;
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
        // The decode register takes only the opening value and the one found.
        USHORT elsewhere = 0x0061;
        const ULONG device = chipset == VN_CHIPSET_FIRST ? FIRST_CHIPSET_DEVICE : SECOND_CHIPSET_DEVICE;
        const ULONG function = chipset == VN_CHIPSET_FIRST ? FIRST_CHIPSET_FUNCTION : SECOND_CHIPSET_FUNCTION;
        const ULONG decode = chipset == VN_CHIPSET_FIRST ? FIRST_CHIPSET_DECODE_BASE : SECOND_CHIPSET_DECODE_BASE;
        EXPECT_EQ(0, PCI_DeviceWriteCOMM(1, 0, device, function, decode, reinterpret_cast<UCHAR*>(&elsewhere), 2));
        VnSnapshot refused = VirtualNotebook::State();
        EXPECT_EQ(before.decodeBase, refused.decodeBase) << chipset;
        EXPECT_EQ(0u, refused.decodeOpen) << chipset;
        EXPECT_EQ(FLAG_FREE, refused.ecFlag) << chipset << ": a refused exchange still sets the flag free";
        EXPECT_EQ(EC_DEFAULT_ADDR, refused.indexAddress) << chipset;

        EXPECT_EQ(1, Enable_StickyKey()) << chipset;
        EXPECT_EQ(1, FnKeyDown()) << chipset;
        EXPECT_EQ(1, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_FN_UP, 0, 0)) << chipset << ": the mailbox's command";
        VnSnapshot state = VirtualNotebook::State();
        EXPECT_EQ("C59 D60 C59 D62 C59 D63 ", EcLogText()) << chipset;
        EXPECT_EQ(1u, state.stickyMode) << chipset;
        EXPECT_EQ(0u, state.fnDown) << chipset;
        EXPECT_EQ(0u, state.decodeOpen) << chipset << ": window closed again";
    }
    RestartAsAdministrator();
    // Administrators keep the raw interface.
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
    UCHAR data[2] = {0xAA, 0x55};
    EXPECT_EQ(1, EC_IndexMode_WriteCOMM(0x77, 2, data));
    EXPECT_EQ("C77 DAA D55 ", EcLogText());
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
