// EC index-mode exchanges and the sticky-key commands on the virtual notebook,
// on both chipsets: what reaches the EC, what is left behind, and every
// failure chain traced byte for byte.
#include <gtest/gtest.h>

#include <chrono>
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

struct Command {
    const char* name;
    int (*call)();
    UCHAR data;
};

const Command kCommands[] = {
    {"Enable_StickyKey", Enable_StickyKey, STICKY_DATA_ON},
    {"Disable_StickyKey", Disable_StickyKey, STICKY_DATA_OFF},
    {"FnKeyDown", FnKeyDown, STICKY_DATA_FN_DOWN},
    {"FnKeyUP", FnKeyUP, STICKY_DATA_FN_UP},
};

// The last n bytes the EC accepted, oldest first, as "C59"/"D60" words.
std::vector<std::string> LastEcBytes(const VnSnapshot& s, uint32_t n)
{
    uint32_t kept = s.ecLogCount < VN_EC_LOG_SIZE ? s.ecLogCount : VN_EC_LOG_SIZE;
    std::vector<std::string> bytes;
    for (uint32_t i = kept >= n ? kept - n : 0; i < kept; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "%c%02X", s.ecLog[i].isCommand ? 'C' : 'D', s.ecLog[i].value);
        bytes.push_back(word);
    }
    return bytes;
}

std::string Hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class EcExchange : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        ASSERT_TRUE(VirtualNotebook::Reset());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
        before_ = VirtualNotebook::State();
        trace.Clear();
    }
    void TearDown() override
    {
        if (!VirtualNotebook::IsRunning()) VirtualNotebook::Start();
    }

    // The window, the flag and the bridge are as the exchange found them.
    void ExpectLeftAsFound()
    {
        VnSnapshot after = VirtualNotebook::State();
        EXPECT_EQ(FLAG_FREE, after.ecFlag);
        EXPECT_EQ(EC_DEFAULT_ADDR, after.indexAddress);
        EXPECT_EQ(before_.decodeBase, after.decodeBase);
        EXPECT_EQ(before_.decodeControl, after.decodeControl);
        EXPECT_EQ(0u, after.decodeOpen);
        EXPECT_EQ(0u, after.exchangeActive);
    }

    void ExpectNoViolations()
    {
        VnSnapshot s = VirtualNotebook::State();
        EXPECT_EQ(0u, s.violationNoReady);
        EXPECT_EQ(0u, s.violationOverlap);
        EXPECT_EQ(0u, s.violationInterleave);
    }

    VnSnapshot before_{};
    TraceCapture trace;
};

INSTANTIATE_TEST_SUITE_P(BothChipsets, EcExchange, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             return info.param == VN_CHIPSET_FIRST ? std::string("First") : std::string("Second");
                         });

TEST_P(EcExchange, EachCommandReachesTheEcAsStickyCommandAndOneDataByte)
{
    for (const Command& c : kCommands) {
        trace.Clear();
        EXPECT_EQ(1, c.call()) << c.name;
        VnSnapshot s = VirtualNotebook::State();
        EXPECT_EQ((std::vector<std::string>{"C59", "D" + Hex2(c.data)}), LastEcBytes(s, 2)) << c.name;
        EXPECT_EQ((Messages{std::string("Call function -->") + c.name + "\n\r",
                            std::string(c.name) + " process completed\n\n\r"}),
                  trace.Messages());
        ExpectLeftAsFound();
    }
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(8u, s.ecLogCount) << "no other byte reached the command or data register";
    ExpectNoViolations();
}

TEST_P(EcExchange, TheEcKeepsTheStateTheCommandsSet)
{
    ASSERT_EQ(1, Enable_StickyKey());
    ASSERT_EQ(1, FnKeyDown());
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(1u, s.fnDown);
    ASSERT_EQ(1, FnKeyUP());
    ASSERT_EQ(1, FnKeyUP()) << "sent like any other call, without an earlier FnKeyDown";
    ASSERT_EQ(1, Disable_StickyKey());
    ASSERT_EQ(1, Disable_StickyKey());
    s = VirtualNotebook::State();
    EXPECT_EQ(0u, s.stickyMode);
    EXPECT_EQ(0u, s.fnDown);
    EXPECT_EQ(12u, s.ecLogCount);
}

TEST_P(EcExchange, ReceiveGetsTheBytesTheEcAnswers)
{
    ASSERT_EQ(1, Enable_StickyKey());
    UCHAR received[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received));
    EXPECT_EQ(1, received[0]) << "sticky mode on";
    EXPECT_EQ(0, received[1]) << "Fn up";
    EXPECT_EQ(0xEE, received[2]);
    ExpectLeftAsFound();
}

TEST_P(EcExchange, ZeroOrNegativeCountsSendOnlyTheCommand)
{
    UCHAR data[2] = {STICKY_DATA_ON, STICKY_DATA_ON};
    UCHAR received[2] = {0xEE, 0xEE};
    EXPECT_EQ(1, EC_IndexMode_WriteCOMM(0x40, 0, data));
    EXPECT_EQ(1, EC_IndexMode_WriteCOMM(0x41, -3, data));
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(0x42, -1, data, 0, received));
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(0x43, 0, data, -5, received));
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ((std::vector<std::string>{"C40", "C41", "C42", "C43"}), LastEcBytes(s, 4));
    EXPECT_EQ(4u, s.ecLogCount);
    EXPECT_EQ(0xEE, received[0]);
    EXPECT_EQ(0xEE, received[1]);
    EXPECT_TRUE(trace.Lines().empty());
}

TEST_P(EcExchange, EcSilentAtTheCommandByte)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    EXPECT_EQ(0, FnKeyDown());
    EXPECT_EQ((Messages{"Call function -->FnKeyDown\n\r", "Chk_IndexMode_Flag:2 (1) Timeout\n\r",
                        "Set EC CMD(59) fail\n\r", "FnKeyDown Fail\n\r"}),
              trace.Messages());
    ExpectLeftAsFound();
}

TEST_P(EcExchange, EcSilentAtTheThirdDataByte)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 3));
    UCHAR data[4] = {0x31, 0x32, 0x33, 0x34};
    EXPECT_EQ(0, EC_IndexMode_WriteCOMM(0x40, 4, data));
    EXPECT_EQ((Messages{"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC Data :Index( 3 ) Data:33( 3 ) fail\n\r"}),
              trace.Messages());
    EXPECT_EQ((std::vector<std::string>{"C40", "D31", "D32"}), LastEcBytes(VirtualNotebook::State(), 3));
    ExpectLeftAsFound();
}

TEST_P(EcExchange, ReceiveFailingInTheMiddleKeepsTheBytesAlreadyReceived)
{
    ASSERT_EQ(1, Enable_StickyKey());
    ASSERT_EQ(1, FnKeyDown());
    // The command byte and the first byte's acknowledgement are answered, the second's is not.
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 2));
    trace.Clear();
    UCHAR received[2] = {0xEE, 0xEE};
    EXPECT_EQ(0, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received));
    EXPECT_EQ((Messages{"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Get EC Data :Index( 2 ) Data:1( \x01 )\n\r"}),
              trace.Messages());
    EXPECT_EQ(1, received[0]);
    EXPECT_EQ(0xEE, received[1]) << "the failed byte is not stored";
    ExpectLeftAsFound();
}

TEST_P(EcExchange, ZeroDataByteDoesNotCutTheTraceLine)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 1));
    UCHAR data[1] = {0x00};
    EXPECT_EQ(0, EC_IndexMode_WriteCOMM(0x40, 1, data));
    EXPECT_EQ((Messages{"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC Data :Index( 1 ) Data:0( . ) fail\n\r"}),
              trace.Messages());
}

TEST_P(EcExchange, BusyWindowFailsAfterTenChecksAndStillCleansUp)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_INDEX_STUCK_ADDR, 0x1234));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Enable_StickyKey());
    long long elapsed = MillisecondsSince(start);
    EXPECT_EQ((Messages{"Call function -->Enable_StickyKey\n\r", "Default Addr error(1234)\n\r",
                        "Enable_StickyKey Fail\n\r"}),
              trace.Messages());
    EXPECT_GE(elapsed, 1000) << "ten checks, 100 ms apart";
    EXPECT_LT(elapsed, 3000);
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(FLAG_FREE, s.ecFlag);
    EXPECT_EQ(0u, s.ecLogCount);
    EXPECT_EQ(before_.decodeBase, s.decodeBase);

    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_INDEX_STUCK_ADDR, 0));
    EXPECT_EQ(1, Enable_StickyKey()) << "the next exchange finds the window idle";
}

TEST_P(EcExchange, WindowThatDoesNotOpenIsReportedPausedAndContinued)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_DECODE_STUCK, 1));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, Enable_StickyKey());
    long long elapsed = MillisecondsSince(start);
    // Closed, the EC's ports read all-ones: the idle check sees 0xFFFF. The
    // decode registers keep their power-on values (base 0, control bits clear).
    const std::string decode = "DEC_Data:0 DEC_CtlData:0 \n\r";
    EXPECT_EQ((Messages{"Call function -->Enable_StickyKey\n\r", decode, "Please Re-Enable EC IO Index\n\r",
                        "Default Addr error(ffff)\n\r", decode, "Please Re-Enable EC IO Index\n\r",
                        "Enable_StickyKey Fail\n\r"}),
              trace.Messages());
    EXPECT_GE(elapsed, 50 + 1000 + 50);
    EXPECT_EQ(before_.decodeBase, VirtualNotebook::State().decodeBase);
}

TEST_P(EcExchange, UnsupportedMachineGetsTwoLinesAndNoConfigurationWrite)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, VN_CHIPSET_NONE));
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CLEAR_LOG, 0));
    UCHAR data = STICKY_DATA_ON;
    EXPECT_EQ(0, EC_IndexMode_WriteCOMM(STICKY_CMD, 1, &data));
    EXPECT_EQ((Messages{"Enable_EC_IndexMode-->No support Chipset\n\r",
                        "(EC_IndexMode_WriteCOMM) Enable_EC_IndexMode fail! \n\r"}),
              trace.Messages());
    trace.Clear();
    UCHAR received = 0xEE;
    EXPECT_EQ(0, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 1, &received));
    EXPECT_EQ((Messages{"Enable_EC_IndexMode-->No support Chipset\n\r",
                        "(EC_IndexMode_ReceiveCOMM) Enable_EC_IndexMode fail! \n\r"}),
              trace.Messages());
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(0u, s.configWrites);
    EXPECT_EQ(0u, s.ecLogCount);
    EXPECT_EQ(0xEE, received);
}

// DeviceIoControl stand-in that fails one chosen call of the library's.
int g_deviceCalls = 0;
int g_failingCall = -1;
BOOL WINAPI CountingDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                                    LPDWORD returned, LPOVERLAPPED overlapped)
{
    if (++g_deviceCalls == g_failingCall) return FALSE;
    return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

class DeviceCallCounter {
public:
    explicit DeviceCallCounter(int failingCall)
        : hook_(GetModuleHandleA("Latchwire.dll"), "kernel32.dll", "DeviceIoControl",
                reinterpret_cast<void*>(CountingDeviceIoControl))
    {
        g_deviceCalls = 0;
        g_failingCall = failingCall;
    }
    int Calls() const { return g_deviceCalls; }

private:
    ImportHook hook_;
};

TEST_P(EcExchange, CleanUpFailuresAreTracedWithoutChangingTheResult)
{
    int total = 0;
    {
        DeviceCallCounter counter(-1);
        ASSERT_EQ(1, FnKeyDown());
        total = counter.Calls();
    }
    // The exchange ends: flag := 0 (three port writes), index high, index low,
    // then the bridge restore: detection reads and the register writes.
    const int restoreCalls = GetParam() == VN_CHIPSET_FIRST ? 1 + 2 : 2 + 1;
    const int indexHighRestore = total - restoreCalls - 1;
    const int flagFreeFirstWrite = indexHighRestore - 3;

    trace.Clear();
    {
        DeviceCallCounter counter(flagFreeFirstWrite);
        EXPECT_EQ(1, FnKeyDown());
    }
    EXPECT_EQ((Messages{"Call function -->FnKeyDown\n\r", "IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r",
                        "Clear index mode to free status fail! \n\r", "FnKeyDown process completed\n\n\r"}),
              trace.Messages());

    ASSERT_TRUE(VirtualNotebook::Reset());
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
    trace.Clear();
    {
        DeviceCallCounter counter(indexHighRestore);
        EXPECT_EQ(1, FnKeyUP());
    }
    EXPECT_EQ((Messages{"Call function -->FnKeyUP\n\r", "IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r",
                        "Restore EC Default Flash Address fail! \n\r", "FnKeyUP process completed\n\n\r"}),
              trace.Messages());
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(FLAG_FREE, s.ecFlag) << "the flag was set free before the failure";
    EXPECT_EQ(before_.decodeBase, s.decodeBase) << "the bridge is restored all the same";
}

TEST(EcExchangeFirstChipset, ControlRegisterKeepsItsOtherBits)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, VN_CHIPSET_FIRST));
    const uint32_t found = VirtualNotebook::State().decodeControl;
    ASSERT_NE(0u, found & ~FIRST_CHIPSET_DECODE_BITS) << "power-on value with other bits set";
    ASSERT_EQ(0u, found & FIRST_CHIPSET_DECODE_BITS);
    ASSERT_EQ(1, FnKeyDown());
    EXPECT_EQ(found, VirtualNotebook::State().decodeControl) << "the whole byte found is written back";
}

TEST(EcExchangeLimits, EcAnsweringAtTheLastOfTheFlagPollsStillCounts)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    // The EC shows its answer on the read after this many polls.
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_POLLS, 1279));
    TraceCapture trace;
    EXPECT_EQ(1, FnKeyDown()) << "answered at the 1280th read";
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_POLLS, 1280));
    trace.Clear();
    EXPECT_EQ(0, FnKeyUP()) << "1280 reads are the limit";
    EXPECT_EQ((Messages{"Call function -->FnKeyUP\n\r", "Chk_IndexMode_Flag:2 (1) Timeout\n\r",
                        "Set EC CMD(59) fail\n\r", "FnKeyUP Fail\n\r"}),
              trace.Messages());
}

TEST(EcExchangeLimits, FailingIndexPortFailsTheExchangeAndItsCleanUp)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_PORT, SECOND_CHIPSET_INDEX_BASE + 2));
    TraceCapture trace;
    EXPECT_EQ(0, Enable_StickyKey());
    EXPECT_EQ((Messages{"Call function -->Enable_StickyKey\n\r",
                        "IO_Port_Read_UCHAR-->DeviceIoControl Fail!\n\r",  // idle check, index low port
                        "IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r", "Clear index mode to free status fail! \n\r",
                        "Enable_StickyKey Fail\n\r"}),
              trace.Messages());
    VnSnapshot s = VirtualNotebook::State();
    EXPECT_EQ(0u, s.ecLogCount);
    EXPECT_EQ(0u, s.decodeBase) << "the bridge is restored";
}

TEST(EcExchangeWithoutDriver, EveryStepFailsUpTheChainOnTheFirstChipsetPath)
{
    ASSERT_TRUE(VirtualNotebook::Stop());
    TraceCapture trace;
    EXPECT_EQ(0, Enable_StickyKey());
    const std::string pciRead = "PCI_DeviceReceiveCOMM-->Open the device driver file Fail!\n\r";
    const std::string pciWrite = "PCI_DeviceWriteCOMM-->Open the device driver file Fail!\n\r";
    const std::string portRead = "IO_Port_Read_UCHAR-->Open the device driver file Fail!\n\r";
    const std::string portWrite = "IO_Port_Write_UCHAR-->Open the device driver file Fail!\n\r";
    // Detection falls back to the first chipset when its bridge cannot be read.
    const Messages expected{
        "Call function -->Enable_StickyKey\n\r",
        pciRead, pciRead, pciRead, pciWrite, pciWrite,     // enable: detect, save two registers, open
        pciRead, pciRead, pciRead,                         // check: detect, read both registers
        "DEC_Data:0 DEC_CtlData:0 \n\r", "Please Re-Enable EC IO Index\n\r",
        portRead,                                          // idle check: index high port
        pciRead, pciRead, pciRead,                         // check again after the failed command
        "DEC_Data:0 DEC_CtlData:0 \n\r", "Please Re-Enable EC IO Index\n\r",
        portWrite, "Clear index mode to free status fail! \n\r",
        pciRead, pciWrite, pciWrite,                       // restore: detect, two registers
        "Enable_StickyKey Fail\n\r",
    };
    EXPECT_EQ(expected, trace.Messages());
    ASSERT_TRUE(VirtualNotebook::Start());
}

}  // namespace
