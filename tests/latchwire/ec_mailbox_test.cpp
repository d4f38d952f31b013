// The EC mailbox exports: the record as built, and the driver's exchange on
// the same EC firmware as the index-mode exchanges.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "debug_output_capture.h"
#include "driver_environment.h"
#include "ec_hardware.h"
#include "import_hook.h"
#include "latchwire.h"

using debugoutput::TraceCapture;
using testsupport::ImportHook;
using testsupport::VirtualNotebook;
using Messages = std::vector<std::string>;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

uint32_t AddressOf(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(p));
}

// The record the library hands to DeviceIoControl, recorded on the way.
std::vector<unsigned char> g_record;
DWORD g_code = 0;
BOOL WINAPI RecordingDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                     LPDWORD returned, LPOVERLAPPED overlapped)
{
    g_code = code;
    g_record.assign(static_cast<unsigned char*>(in), static_cast<unsigned char*>(in) + inSize);
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

// Outside callers may pass full 32-bit values in the byte parameters.
using WideSend = int (*)(ULONG, ULONG, ULONG, ULONG, ULONG);

class EcMailbox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::Reset());
        g_record.clear();
    }
    TraceCapture trace;
};

TEST_F(EcMailbox, SendRecordCarriesLowBytesAndZerosWhatIsNotGiven)
{
    ImportHook hook(GetModuleHandleA("Latchwire.dll"), "kernel32.dll", "DeviceIoControl",
                    reinterpret_cast<void*>(RecordingDeviceIoControl));
    auto wideSend = reinterpret_cast<WideSend>(GetProcAddress(GetModuleHandleA("Latchwire.dll"), "EC_IO_SendCOMM"));
    ASSERT_NE(nullptr, wideSend);
    EXPECT_EQ(1, wideSend(0x40, 0x101, 0x1AB, 0x11223344, 0x55667788));
    EXPECT_EQ(static_cast<DWORD>(IOCTL_EC_IO_SEND), g_code);
    const std::vector<unsigned char> expected = {0x40, 0x01, 0xAB, 0x00, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77,
                                                 0x66, 0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(expected, g_record) << "20 bytes, though only the first 12 are filled";
}

TEST_F(EcMailbox, ReceiveRecordCarriesAllSevenFields)
{
    ImportHook hook(GetModuleHandleA("Latchwire.dll"), "kernel32.dll", "DeviceIoControl",
                    reinterpret_cast<void*>(RecordingDeviceIoControl));
    UCHAR reply[2] = {0xEE, 0xEE};
    EXPECT_EQ(1, EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, AddressOf(reply), sizeof reply));
    EXPECT_EQ(static_cast<DWORD>(IOCTL_EC_IO_RECEIVE), g_code);
    ASSERT_EQ(20u, g_record.size());
    EcIoRequest sent;
    std::memcpy(&sent, g_record.data(), sizeof sent);
    EXPECT_EQ(VN_EC_CMD_QUERY_STATE, sent.Param1);
    EXPECT_EQ(0, sent.Padding);
    EXPECT_EQ(2u, sent.Param5);
    EXPECT_EQ(AddressOf(reply), sent.Param6);
    EXPECT_EQ(2u, sent.Param7);
}

TEST_F(EcMailbox, DriverExchangeAndIndexModeSeeTheSameFirmwareState)
{
    EXPECT_EQ(1, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_ON, 0, 0));
    EXPECT_EQ(1, FnKeyDown());
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(1u, s.fnDown);

    UCHAR reply[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(1, EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, AddressOf(reply), 3));
    EXPECT_EQ(1, reply[0]);
    EXPECT_EQ(1, reply[1]);
    EXPECT_EQ(0xEE, reply[2]) << "only the bytes asked for are written";

    EXPECT_EQ(1, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_FN_UP, 0, 0));
    UCHAR state[2] = {0, 0};
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, state));
    EXPECT_EQ(1, state[0]);
    EXPECT_EQ(0, state[1]);
    EXPECT_TRUE(trace.Messages().size() == 2) << "FnKeyDown's entry and completion lines only";
}

TEST_F(EcMailbox, MalformedMailboxRequestsAreRefusedUnderTheExportsName)
{
    UCHAR reply[2] = {0xEE, 0xEE};
    EXPECT_EQ(0, EC_IO_SendCOMM(STICKY_CMD, 3, STICKY_DATA_ON, 0, 0)) << "too many data bytes";
    EXPECT_EQ(0, EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 3, AddressOf(reply), 2)) << "buffer too small";
    EXPECT_EQ(0, EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, 0, 2)) << "no buffer";
    EXPECT_EQ((Messages{"EC_IO_SendCOMM-->DeviceIoControl Fail!\n\r", "EC_IO_ReceiveCOMM-->DeviceIoControl Fail!\n\r",
                        "EC_IO_ReceiveCOMM-->DeviceIoControl Fail!\n\r"}),
              trace.Messages());
    EXPECT_EQ(0u, VirtualNotebook::State().ecLogCount) << "the EC was not asked";
    EXPECT_EQ(0xEE, reply[0]);
}

TEST_F(EcMailbox, SilentEcFailsTheExchange)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    EXPECT_EQ(0, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_ON, 0, 0));
    EXPECT_EQ(Messages{"EC_IO_SendCOMM-->DeviceIoControl Fail!\n\r"}, trace.Messages());
    EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
}

TEST_F(EcMailbox, StoppedDriverFailsBothWithOneOpenLine)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    UCHAR reply[2] = {0xEE, 0xEE};
    EXPECT_EQ(0, EC_IO_SendCOMM(STICKY_CMD, 1, STICKY_DATA_ON, 0, 0));
    EXPECT_EQ(0, EC_IO_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, 0, 0, 2, AddressOf(reply), 2));
    EXPECT_EQ((Messages{"EC_IO_SendCOMM-->Open the device driver file Fail!\n\r",
                        "EC_IO_ReceiveCOMM-->Open the device driver file Fail!\n\r"}),
              trace.Messages());
    EXPECT_EQ(0xEE, reply[0]);
    ASSERT_TRUE(VirtualNotebook::Start());
}

}  // namespace
