// The twelve device exports: how each opens the device, which control code
// and record it sends, and how each fails. Records are read as the library
// hands them to DeviceIoControl; trace lines are compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "debug_output_capture.h"
#include "driver_environment.h"
#include "library_calls.h"
#include "latchwire.h"

using debugoutput::TraceCapture;
using latchwiretest::LibraryCalls;
using testsupport::VirtualNotebook;
using Messages = std::vector<std::string>;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

constexpr DWORD kOwnCopy = 0xFFFFFFFF;  // a word that points at the library's own copy of the value
constexpr ULONG kPort = VN_SCRATCH_PORT_FIRST;
UCHAR g_variable[8];

using WideSend = int (*)(ULONG, ULONG, ULONG, ULONG, ULONG);

DWORD Addr(const void* p) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p)); }

struct DeviceExport {
    const char* name;
    std::function<int()> call;
    DWORD access, code;
    std::vector<DWORD> words;
    DWORD pointee;  // value behind a kOwnCopy word
    DWORD outputSize;
};

std::vector<DeviceExport> AllDeviceExports()
{
    UCHAR* v = g_variable;
    const DWORD w = GENERIC_WRITE;
    return {
        {"IO_Port_Read_UCHAR", [v] { return IO_Port_Read_UCHAR(kPort, v); }, w, 0x22A000, {kPort, Addr(v)}, 0, 0},
        {"IO_Port_Write_UCHAR", [] { return IO_Port_Write_UCHAR(kPort + 1, 0xA5); }, w, 0x22A004,
         {kPort + 1, kOwnCopy}, 0xA5, 0},
        {"IO_Port_Read_USHORT", [v] { return IO_Port_Read_USHORT(kPort + 2, reinterpret_cast<USHORT*>(v)); }, w,
         0x22A018, {kPort + 2, Addr(v)}, 0, 0},
        {"IO_Port_Write_USHORT", [] { return IO_Port_Write_USHORT(kPort + 3, 0xBEEF); }, w, 0x22A01C,
         {kPort + 3, kOwnCopy}, 0xBEEF, 0},
        {"IO_Port_Read_ULONG", [v] { return IO_Port_Read_ULONG(kPort + 4, reinterpret_cast<ULONG*>(v)); }, w,
         0x22A020, {kPort + 4, Addr(v)}, 0, 0},
        {"IO_Port_Write_ULONG", [] { return IO_Port_Write_ULONG(kPort + 5, 0xDEADBEEF); }, w, 0x22A024,
         {kPort + 5, kOwnCopy}, 0xDEADBEEF, 0},
        {"PCI_DeviceReceiveCOMM", [v] { return PCI_DeviceReceiveCOMM(1, 0, VN_TEST_PCI_DEVICE, 1, 0x40, v, 4); }, w,
         0x22A02C, {1, 0, VN_TEST_PCI_DEVICE, 1, 0x40, Addr(v), 4}, 0, 0},
        {"PCI_DeviceWriteCOMM", [v] { return PCI_DeviceWriteCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0x41, v, 1); }, w,
         0x22A028, {1, 0, VN_TEST_PCI_DEVICE, 0, 0x41, Addr(v), 1}, 0, 0},
        {"Phy_Mapp_Lin", [v] { return Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, reinterpret_cast<ULONG*>(v)); },
         GENERIC_READ | GENERIC_WRITE, 0x22E008, {VN_PHYS_BASE, 0x100}, 0, 4},
        {"UnMapp_LinADD", [] { return UnMapp_LinADD(0x12340000); }, w, 0x22A00C, {0x12340000}, 0, 0},
        // Outside callers may pass full words in the byte parameters: only the low bytes travel.
        {"EC_IO_SendCOMM", [] { return reinterpret_cast<WideSend>(EC_IO_SendCOMM)(0x159, 0x101, 0x160, 0x11223344, 7); }, w,
         0x22A014, {0x00600159, 0x11223344, 7, 0, 0}, 0, 0},
        {"EC_IO_ReceiveCOMM", [v] { return EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, Addr(v), 8); }, w,
         0x22A010, {VN_EC_CMD_QUERY_STATE, 0, 2, Addr(v), 8}, 0, 0},
    };
}

class DeviceExports : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        ASSERT_TRUE(VirtualNotebook::Reset());
    }
    void TearDown() override
    {
        if (!VirtualNotebook::IsRunning()) VirtualNotebook::Start();
    }
    // Calls e with the variable filled with 0xCC; true if the variable kept it.
    static bool CallLeavesVariable(const DeviceExport& e, int expectedResult)
    {
        std::memset(g_variable, 0xCC, sizeof g_variable);
        EXPECT_EQ(expectedResult, e.call()) << e.name;
        return std::all_of(g_variable, g_variable + 8, [](UCHAR b) { return b == 0xCC; });
    }
    TraceCapture trace;
};

TEST_F(DeviceExports, EachOpensTheDeviceAndSendsItsOwnCodeAndRecord)
{
    for (const DeviceExport& e : AllDeviceExports()) {
        LibraryCalls calls;
        std::memset(g_variable, 0, sizeof g_variable);
        e.call();
        ASSERT_EQ(1u, calls.Opens().size()) << e.name;
        const latchwiretest::DeviceOpen open = calls.Opens()[0];
        EXPECT_EQ("\\\\.\\Latchwire", open.path);
        EXPECT_EQ(e.access, open.access) << e.name;
        EXPECT_EQ(0u, open.share) << e.name;
        EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), open.disposition);
        EXPECT_EQ(0u, open.flags);
        EXPECT_FALSE(open.securityOrTemplate);
        ASSERT_EQ(1u, calls.Requests().size()) << e.name;
        latchwiretest::DeviceRequest r = calls.Requests()[0];
        EXPECT_EQ(e.code, r.code) << e.name;
        std::vector<DWORD> expected = e.words;
        if (expected.size() > 1 && expected[1] == kOwnCopy) {
            expected[1] = r.words[1];
            EXPECT_EQ(e.pointee, r.pointee) << e.name;
        }
        EXPECT_EQ(expected, r.words) << e.name;
        EXPECT_EQ(e.outputSize, r.outputSize) << e.name;
        EXPECT_EQ(e.outputSize != 0, r.outputGiven) << e.name;
        EXPECT_FALSE(r.overlappedGiven);
        EXPECT_EQ(1, calls.Closes()) << e.name;
    }
}

TEST_F(DeviceExports, StoppedDriverFailsEachWithOneOpenLineAndNoRequest)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    for (const DeviceExport& e : AllDeviceExports()) {
        LibraryCalls calls;
        trace.Clear();
        EXPECT_TRUE(CallLeavesVariable(e, 0)) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->Open the device driver file Fail!\n\r"}, trace.Messages());
        EXPECT_TRUE(calls.Requests().empty());
    }
}

TEST_F(DeviceExports, RejectedRequestTracesClosesAndLeavesTheVariable)
{
    for (const DeviceExport& e : AllDeviceExports()) {
        LibraryCalls calls;
        calls.FailRequest(e.code, 1);
        trace.Clear();
        EXPECT_TRUE(CallLeavesVariable(e, 0)) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->DeviceIoControl Fail!\n\r"}, trace.Messages());
        EXPECT_EQ(1, calls.Closes()) << e.name;
        calls.FailCloses();
        trace.Clear();
        calls.FailRequest(e.code, 1);
        EXPECT_EQ(0, e.call());
        EXPECT_EQ((Messages{std::string(e.name) + "-->DeviceIoControl Fail!\n\r",
                            std::string(e.name) + "-->Failed to close device driver handle\n\r"}),
                  trace.Messages());
    }
}

TEST_F(DeviceExports, FailingCloseAfterTheRequestFailsTheCallUnderItsName)
{
    ULONG linear = 0;
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    for (DeviceExport e : AllDeviceExports()) {
        if (e.code == IOCTL_UNMAP_LINEAR) e.call = [linear] { return UnMapp_LinADD(linear); };
        LibraryCalls calls;
        calls.FailCloses();
        trace.Clear();
        g_variable[0] = 1;
        EXPECT_EQ(0, e.call()) << e.name;
        EXPECT_EQ(Messages{std::string(e.name) + "-->Failed to close device driver handle\n\r"}, trace.Messages());
    }
    UCHAR value = 0;
    ASSERT_EQ(1, IO_Port_Read_UCHAR(kPort + 1, &value));
    EXPECT_EQ(0xA5, value) << "the request took effect though the export reported failure";
    EXPECT_EQ(1u, VirtualNotebook::State().mappings) << "so did the unmap, and the map whose close failed";
}

TEST_F(DeviceExports, MapHandsOutTheAddressOnlyAfterExactlyFourBytesAndAClose)
{
    for (uint32_t reported : {0u, 8u}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, reported));
        LibraryCalls calls;
        trace.Clear();
        EXPECT_TRUE(CallLeavesVariable(AllDeviceExports()[8], 0)) << reported;
        EXPECT_EQ(Messages{"Phy_Mapp_Lin-->ReturnedLength over range!\n\r"}, trace.Messages());
        EXPECT_EQ(1, calls.Closes());
        calls.FailCloses();
        trace.Clear();
        EXPECT_TRUE(CallLeavesVariable(AllDeviceExports()[8], 0));
        EXPECT_EQ((Messages{"Phy_Mapp_Lin-->ReturnedLength over range!\n\r",
                            "Phy_Mapp_Lin-->Failed to close device driver handle\n\r"}),
                  trace.Messages());
    }
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, 4));
    LibraryCalls calls;
    calls.FailCloses();
    EXPECT_TRUE(CallLeavesVariable(AllDeviceExports()[8], 0)) << "mapped, but the close failed";
}

TEST_F(DeviceExports, ValuesTravelThroughTheCallersVariables)
{
    ULONG dword = 0;
    USHORT word = 0;
    ASSERT_EQ(1, IO_Port_Write_ULONG(kPort, 0x44332211));
    ASSERT_EQ(1, IO_Port_Read_USHORT(kPort + 1, &word));
    EXPECT_EQ(0x3322, word);
    ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0x41, reinterpret_cast<UCHAR*>(&word), 2));
    ASSERT_EQ(1, PCI_DeviceReceiveCOMM(1, 0, VN_TEST_PCI_DEVICE, 0, 0x40, reinterpret_cast<UCHAR*>(&dword), 4));
    EXPECT_EQ(0x332200u, dword & 0xFFFF00u);
    ULONG linear = 0;
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const void*>(static_cast<ULONG_PTR>(linear)), "_VN_", 4));
    EXPECT_EQ(1, UnMapp_LinADD(linear));
    EXPECT_TRUE(trace.Lines().empty()) << "a successful call traces nothing";
}

TEST_F(DeviceExports, VendorCheckComparesSixteenBitsAndFallsBackOnlyForTheFirstBridge)
{
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, VN_TEST_PCI_DEVICE, 0, 0x10000 | VN_TEST_PCI_VENDOR));
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, VN_TEST_PCI_DEVICE, 0, VN_TEST_PCI_VENDOR + 1));
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, 0x14, 3, 0x1002)) << "absent: reads 0xFFFF";
    ASSERT_TRUE(VirtualNotebook::Stop());
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, 20, 3, 0xABCD)) << "unreadable first bridge counts as present";
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, 31, 0, 0x8086));
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, 20, 2, 0x1002));
    EXPECT_EQ(Messages(3, "PCI_DeviceReceiveCOMM-->Open the device driver file Fail!\n\r"), trace.Messages());
}

TEST(ExportTable, HoldsExactlyTheLibrarysTwentyOneNames)
{
    auto base = reinterpret_cast<const BYTE*>(GetModuleHandleA("Latchwire.dll"));
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    auto dir = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    auto names = reinterpret_cast<const DWORD*>(base + dir->AddressOfNames);
    std::vector<std::string> exported;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) exported.emplace_back(reinterpret_cast<const char*>(base + names[i]));
    EXPECT_EQ(dir->NumberOfNames, dir->NumberOfFunctions) << "no exports by ordinal only";
    const std::vector<std::string> expected = {
        "Check_Driver", "Chk_PCI_Dev_Manufacturer", "Disable_StickyKey", "EC_IO_ReceiveCOMM", "EC_IO_SendCOMM",
        "EC_IndexMode_ReceiveCOMM", "EC_IndexMode_WriteCOMM", "Enable_StickyKey", "FnKeyDown", "FnKeyUP",
        "IO_Port_Read_UCHAR", "IO_Port_Read_ULONG", "IO_Port_Read_USHORT", "IO_Port_Write_UCHAR",
        "IO_Port_Write_ULONG", "IO_Port_Write_USHORT", "PCI_DeviceReceiveCOMM", "PCI_DeviceWriteCOMM",
        "Phy_Mapp_Lin", "UnMapp_LinADD", "UnloadDriver"};
    std::sort(exported.begin(), exported.end());
    EXPECT_EQ(expected, exported);
}

}  // namespace
