// Port I/O, PCI configuration and physical memory exports of Latchwire.dll,
// run against the virtual notebook through the real device path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "latchwire.h"
#include "latchwire_device.h"
#include "debug_output_capture.h"
#include "driver_environment.h"

using debugoutput::TraceCapture;
using testsupport::VirtualNotebook;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

class RawHardware : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(VirtualNotebook::Reset()); }
    TraceCapture trace;
};

constexpr ULONG kScratchPort = VN_SCRATCH_PORT_FIRST;

TEST_F(RawHardware, PortValuesTravelBothWaysAtEveryWidth)
{
    ASSERT_EQ(1, IO_Port_Write_UCHAR(kScratchPort, 0xA5));
    UCHAR byte = 0;
    ASSERT_EQ(1, IO_Port_Read_UCHAR(kScratchPort, &byte));
    EXPECT_EQ(0xA5, byte);

    ASSERT_EQ(1, IO_Port_Write_USHORT(kScratchPort + 2, 0xBEEF));
    USHORT word = 0;
    ASSERT_EQ(1, IO_Port_Read_USHORT(kScratchPort + 2, &word));
    EXPECT_EQ(0xBEEF, word);

    ASSERT_EQ(1, IO_Port_Write_ULONG(kScratchPort + 4, 0xDEADBEEF));
    ULONG dword = 0;
    ASSERT_EQ(1, IO_Port_Read_ULONG(kScratchPort + 4, &dword));
    EXPECT_EQ(0xDEADBEEFu, dword);

    // The widths address the same little-endian port space.
    ASSERT_EQ(1, IO_Port_Read_UCHAR(kScratchPort + 5, &byte));
    EXPECT_EQ(0xBE, byte);
    EXPECT_TRUE(trace.Lines().empty()) << "a successful call traces nothing";
}

TEST_F(RawHardware, ReadsWriteOnlyTheBytesOfTheirWidth)
{
    ASSERT_EQ(1, IO_Port_Write_ULONG(kScratchPort, 0x44332211));
    unsigned char guard[8];
    std::memset(guard, 0xCC, sizeof guard);
    ASSERT_EQ(1, IO_Port_Read_UCHAR(kScratchPort, &guard[2]));
    const unsigned char afterByte[8] = {0xCC, 0xCC, 0x11, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC};
    EXPECT_EQ(0, std::memcmp(guard, afterByte, sizeof guard));

    ASSERT_EQ(1, IO_Port_Read_USHORT(kScratchPort, reinterpret_cast<USHORT*>(&guard[4])));
    const unsigned char afterWord[8] = {0xCC, 0xCC, 0x11, 0xCC, 0x11, 0x22, 0xCC, 0xCC};
    EXPECT_EQ(0, std::memcmp(guard, afterWord, sizeof guard));
}

TEST_F(RawHardware, UnclaimedPortsReadAllOnes)
{
    ULONG value = 0;
    ASSERT_EQ(1, IO_Port_Read_ULONG(0x1230, &value));
    EXPECT_EQ(0xFFFFFFFFu, value);
}

constexpr ULONG kTestDevice = VN_TEST_PCI_DEVICE;

TEST_F(RawHardware, PciConfigurationReadsAndWritesOfOneAndTwoBytes)
{
    USHORT vendor = 0;
    ASSERT_EQ(1, PCI_DeviceReceiveCOMM(1, 0, kTestDevice, 0, 0, reinterpret_cast<UCHAR*>(&vendor), 2));
    EXPECT_EQ(VN_TEST_PCI_VENDOR, vendor);

    UCHAR one = 0x5A;
    ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, kTestDevice, 0, 0x40, &one, 1));
    USHORT two = 0x1357;
    ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, kTestDevice, 0, 0x41, reinterpret_cast<UCHAR*>(&two), 2));

    UCHAR back[3] = {0, 0, 0};
    ASSERT_EQ(1, PCI_DeviceReceiveCOMM(1, 0, kTestDevice, 0, 0x40, back, 1));
    ASSERT_EQ(1, PCI_DeviceReceiveCOMM(1, 0, kTestDevice, 0, 0x41, back + 1, 2));
    EXPECT_EQ(0x5A, back[0]);
    EXPECT_EQ(0x57, back[1]);
    EXPECT_EQ(0x13, back[2]);
}

TEST_F(RawHardware, PciReadOfAnAbsentFunctionGivesAllOnes)
{
    USHORT vendor = 0;
    ASSERT_EQ(1, PCI_DeviceReceiveCOMM(1, 0, 7, 0, 0, reinterpret_cast<UCHAR*>(&vendor), 2));
    EXPECT_EQ(0xFFFF, vendor);
}

TEST_F(RawHardware, VendorCheckComparesSixteenBits)
{
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, kTestDevice, 0, VN_TEST_PCI_VENDOR));
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, kTestDevice, 0, 0x10000 | VN_TEST_PCI_VENDOR));
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, kTestDevice, 0, VN_TEST_PCI_VENDOR + 1));
    EXPECT_EQ(1, Chk_PCI_Dev_Manufacturer(0, 0x1F, 0, 0x18086)) << "second chipset's bridge";
    EXPECT_EQ(0, Chk_PCI_Dev_Manufacturer(0, 0x14, 3, 0x1002)) << "absent: reads 0xFFFF";
    EXPECT_TRUE(trace.Lines().empty());
}

TEST_F(RawHardware, MappedPhysicalMemoryIsSharedUntilUnmapped)
{
    ULONG first = 0, second = 0;
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE + 0x100, 0x100, &first));
    ASSERT_EQ(1, Phy_Mapp_Lin(VN_PHYS_BASE + 0x100, 0x100, &second));
    ASSERT_NE(0u, first);
    ASSERT_NE(first, second) << "each mapping is a view of its own";

    auto* a = reinterpret_cast<volatile unsigned char*>(first);
    auto* b = reinterpret_cast<volatile unsigned char*>(second);
    a[0] = 0x42;
    a[1] = 0x24;
    EXPECT_EQ(0x42, b[0]);
    EXPECT_EQ(0x24, b[1]);

    EXPECT_EQ(1, UnMapp_LinADD(first));
    EXPECT_EQ(1, UnMapp_LinADD(second));
    EXPECT_TRUE(trace.Lines().empty());

    EXPECT_EQ(0, UnMapp_LinADD(second)) << "a mapping is released once";
    EXPECT_EQ(std::vector<std::string>{"UnMapp_LinADD-->DeviceIoControl Fail!\n\r"}, trace.Messages());
}

TEST_F(RawHardware, MappingOutsideThePhysicalWindowIsRefused)
{
    ULONG linear = 0x1234;
    EXPECT_EQ(0, Phy_Mapp_Lin(VN_PHYS_BASE + VN_PHYS_SIZE - 0x10, 0x100, &linear));
    EXPECT_EQ(0x1234u, linear);
    EXPECT_EQ(std::vector<std::string>{"Phy_Mapp_Lin-->DeviceIoControl Fail!\n\r"}, trace.Messages());
}

}  // namespace
