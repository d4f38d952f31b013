// The twelve device exports: how each opens the device, the control code and
// record it sends as handed to DeviceIoControl, and its trace lines on failure.
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

constexpr DWORD kOwnCopy = 0xFFFFFFFF;  // a word that points at the library's own copy of the value
constexpr ULONG kPort = VN_SCRATCH_PORT_FIRST;
UCHAR g_variable[8];
UCHAR* const v = g_variable;
using WideSend = int (*)(ULONG, ULONG, ULONG, ULONG, ULONG);

DWORD Addr(const void* p) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p)); }

struct DeviceExport {
    const char* name;
    std::function<int()> call;
    DWORD code;
    std::vector<DWORD> words;
    DWORD pointee = 0;  // value behind a kOwnCopy word
    DWORD access = GENERIC_WRITE;
};

const std::vector<DeviceExport> kExports = {
    {"IO_Port_Read_UCHAR", [] { return IO_Port_Read_UCHAR(kPort, v); }, 0x22A000, {kPort, Addr(v)}},
    // A port number travels whole, high bits included.
    {"IO_Port_Read_UCHAR", [] { return IO_Port_Read_UCHAR(0x10000 | kPort, v); }, 0x22A000, {0x10000 | kPort, Addr(v)}},
    {"IO_Port_Write_UCHAR", [] { return IO_Port_Write_UCHAR(kPort + 1, 0xA5); }, 0x22A004, {kPort + 1, kOwnCopy}, 0xA5},
    {"IO_Port_Read_USHORT", [] { return IO_Port_Read_USHORT(kPort + 2, reinterpret_cast<USHORT*>(v)); }, 0x22A018,
     {kPort + 2, Addr(v)}},
    {"IO_Port_Write_USHORT", [] { return IO_Port_Write_USHORT(kPort + 3, 0xBEEF); }, 0x22A01C, {kPort + 3, kOwnCopy},
     0xBEEF},
    {"IO_Port_Read_ULONG", [] { return IO_Port_Read_ULONG(kPort + 4, reinterpret_cast<ULONG*>(v)); }, 0x22A020,
     {kPort + 4, Addr(v)}},
    {"IO_Port_Write_ULONG", [] { return IO_Port_Write_ULONG(kPort + 5, 0xDEADBEEF); }, 0x22A024,
     {kPort + 5, kOwnCopy}, 0xDEADBEEF},
    // Every word differs from the others, and from what the library's own calls use.
    {"PCI_DeviceReceiveCOMM", [] { return PCI_DeviceReceiveCOMM(5, 2, VN_TEST_PCI_DEVICE, 1, 0x40, v, 4); }, 0x22A02C,
     {5, 2, VN_TEST_PCI_DEVICE, 1, 0x40, Addr(v), 4}},
    {"PCI_DeviceWriteCOMM", [] { return PCI_DeviceWriteCOMM(3, 1, VN_TEST_PCI_DEVICE, 6, 0x41, v, 2); }, 0x22A028,
     {3, 1, VN_TEST_PCI_DEVICE, 6, 0x41, Addr(v), 2}},
    {"PCI_DeviceReceiveCOMM", [] { return Chk_PCI_Dev_Manufacturer(2, 5, 7, 0x8086); }, 0x22A02C,
     {1, 2, 5, 7, 0, kOwnCopy, 2}},
    {"Phy_Mapp_Lin", [] { return Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, reinterpret_cast<ULONG*>(v)); }, 0x22E008,
     {VN_PHYS_BASE, 0x100}, 0, GENERIC_READ | GENERIC_WRITE},
    {"UnMapp_LinADD", [] { return UnMapp_LinADD(0x12340000); }, 0x22A00C, {0x12340000}},
    // Outside callers may pass full words in the byte parameters: only the low bytes travel.
    {"EC_IO_SendCOMM", [] { return reinterpret_cast<WideSend>(EC_IO_SendCOMM)(0x159, 0x101, 0x160, 0x11223344, 7); },
     0x22A014, {0x00600159, 0x11223344, 7, 0, 0}},
    {"EC_IO_ReceiveCOMM", [] { return EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 1, 0x33, 0x44, 2, Addr(v), 8); },
     0x22A010, {0x00330100 | VN_EC_CMD_QUERY_STATE, 0x44, 2, Addr(v), 8}},
};
const DeviceExport& kMap = kExports[10];

class DeviceExports : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        ASSERT_TRUE(VirtualNotebook::Reset());
    }
    // Calls e with the variable filled with 0xCC; true if the variable kept it.
    static bool FailsLeavingTheVariable(const DeviceExport& e)
    {
        std::memset(g_variable, 0xCC, sizeof g_variable);
        EXPECT_EQ(0, e.call()) << e.name;
        return std::all_of(g_variable, g_variable + 8, [](UCHAR b) { return b == 0xCC; });
    }
    void ExpectTrace(const DeviceExport& e, std::initializer_list<const char*> failures)
    {
        Messages expected;
        for (const char* f : failures) expected.push_back(std::string(e.name) + "-->" + f + "\n\r");
        EXPECT_EQ(expected, trace.Messages());
        trace.Clear();
    }
    TraceCapture trace;
};

TEST_F(DeviceExports, EachOpensTheDeviceAndSendsItsOwnCodeAndRecord)
{
    for (const DeviceExport& e : kExports) {
        LibraryCalls calls;
        e.call();
        latchwiretest::Recorded seen = calls.Get();
        ASSERT_EQ(1u, seen.opens.size()) << e.name;
        const latchwiretest::DeviceOpen& open = seen.opens[0];
        EXPECT_EQ("\\\\.\\Latchwire", open.path);
        EXPECT_EQ(e.access, open.access) << e.name;
        EXPECT_EQ(0u, open.share) << e.name;
        EXPECT_EQ(static_cast<DWORD>(OPEN_EXISTING), open.disposition);
        EXPECT_FALSE(open.flags || open.securityOrTemplate);
        ASSERT_EQ(1u, seen.requests.size()) << e.name;
        const latchwiretest::DeviceRequest& r = seen.requests[0];
        EXPECT_EQ(e.code, r.code) << e.name;
        std::vector<DWORD> expected = e.words;
        for (size_t i = 0; i < expected.size() && i < r.words.size(); ++i) {
            if (expected[i] != kOwnCopy) continue;
            expected[i] = r.words[i];
            EXPECT_EQ(e.pointee, r.pointee) << e.name;
        }
        EXPECT_EQ(expected, r.words) << e.name;
        const DWORD outputSize = e.code == IOCTL_MAP_PHYSICAL ? 4 : 0;
        EXPECT_TRUE(r.outputSize == outputSize && r.outputGiven == (outputSize != 0)) << e.name;
        EXPECT_FALSE(r.overlappedGiven);
        EXPECT_EQ(1, seen.closes) << e.name;
    }
}

TEST_F(DeviceExports, EachFailsWithItsOwnLinesAndLeavesNothingOpen)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    for (const DeviceExport& e : kExports) {
        LibraryCalls calls;
        EXPECT_TRUE(FailsLeavingTheVariable(e)) << e.name;
        ExpectTrace(e, {"Open the device driver file Fail!"});
        EXPECT_TRUE(calls.Get().requests.empty());
    }
    ASSERT_TRUE(VirtualNotebook::Start());
    ULONG linear = 0;
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE, 0x100, &linear));
    for (DeviceExport e : kExports) {
        LibraryCalls calls;
        calls.FailRequest(e.code, 1);
        EXPECT_TRUE(FailsLeavingTheVariable(e)) << e.name;
        ExpectTrace(e, {"DeviceIoControl Fail!"});
        EXPECT_EQ(1, calls.Get().closes) << e.name;
        calls.FailCloses();
        if (e.code == IOCTL_UNMAP_LINEAR) e.call = [linear] { return UnMapp_LinADD(linear); };
        EXPECT_EQ(0, e.call()) << "the request took effect, yet the close failed";
        ExpectTrace(e, {"Failed to close device driver handle"});
    }
}

TEST_F(DeviceExports, MapHandsOutTheAddressOnlyAfterExactlyFourBytesAndAClose)
{
    for (uint32_t reported : {0u, 3u}) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, reported));
        LibraryCalls calls;
        EXPECT_TRUE(FailsLeavingTheVariable(kMap)) << reported;
        ExpectTrace(kMap, {"ReturnedLength over range!"});
        EXPECT_EQ(1, calls.Get().closes);
    }
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_MAP_RETURNED_LENGTH, 4));
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
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(1, 20, 3, 0x1002)) << "nor on another bus";
    EXPECT_EQ(Messages(4, "PCI_DeviceReceiveCOMM-->Open the device driver file Fail!\n\r"), trace.Messages());
}

}  // namespace
