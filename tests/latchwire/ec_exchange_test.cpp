// EC index-mode exchanges on both chipsets: every device request in order, the
// bytes the EC accepts, what is left behind, failures traced with their pauses.
#include <gtest/gtest.h>

#include <cstdio>

#include "debug_output_capture.h"
#include "driver_environment.h"
#include "library_calls.h"
#include "latchwire.h"

using debugoutput::TraceCapture;
using latchwiretest::LibraryCalls;
using testsupport::VirtualNotebook;
using Messages = std::vector<std::string>;

namespace {

std::string Hex(const char* format, unsigned a, unsigned b = 0)
{
    char text[48];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// The device requests of one sticky-key exchange when everything answers at once.
Messages StickyExchangeRequests(uint32_t chipset, unsigned data)
{
    const bool first = chipset == VN_CHIPSET_FIRST;
    const unsigned base = first ? 0xE02C : 0xFF2C;
    const std::string bridge = first ? "1:0/14/3@" : "1:0/1F/0@";
    Messages r;
    auto detect = [&] {
        r.push_back("CR 1:0/14/3@0x2");
        if (!first) r.push_back("CR 1:0/1F/0@0x2");
    };
    auto index = [&](unsigned address) {
        r.push_back(Hex("W1 %X=%X", base + 1, address >> 8));
        r.push_back(Hex("W1 %X=%X", base + 2, address & 0xFF));
    };
    auto ecWrite = [&](unsigned address, unsigned value) { index(address), r.push_back(Hex("W1 %X=%X", base + 3, value)); };
    auto ecRead = [&](unsigned address) { index(address), r.push_back(Hex("R1 %X", base + 3)); };
    detect();
    if (first) r.insert(r.end(), {bridge + "64x2", bridge + "48x1", bridge + "64x2=E02C", bridge + "48x1=A7"});
    else r.insert(r.end(), {bridge + "84x2", bridge + "84x2=FF21"});
    detect();
    if (first) r.insert(r.end(), {bridge + "64x2", bridge + "48x1"});
    else r.push_back(bridge + "84x2");
    r.insert(r.end(), {Hex("R1 %X", base + 1), Hex("R1 %X", base + 2)});
    ecRead(0xFBFC);
    for (unsigned reg : {0xFBFDu, 0xFBFEu}) {
        ecWrite(0xFBFC, 2), ecWrite(reg, reg == 0xFBFD ? 0x59 : data), ecWrite(0xFBFC, 1), ecRead(0xFBFC);
    }
    ecWrite(0xFBFC, 0), index(0xF432);
    detect();
    if (first) r.insert(r.end(), {bridge + "64x2=0", bridge + "48x1=A2"});
    else r.push_back(bridge + "84x2=0");
    for (std::string& text : r) {
        if (text[0] == '1') text = (text.find('=') == std::string::npos ? "CR " : "CW ") + text;
    }
    return r;
}

// The last n bytes the EC accepted, oldest first, as "C59"/"D60" words.
Messages LastEcBytes(uint32_t n)
{
    VnSnapshot s = VirtualNotebook::State();
    uint32_t kept = s.ecLogCount < VN_EC_LOG_SIZE ? s.ecLogCount : VN_EC_LOG_SIZE;
    Messages bytes;
    for (uint32_t i = kept >= n ? kept - n : 0; i < kept; ++i) {
        bytes.push_back(Hex(s.ecLog[i].isCommand ? "C%02X" : "D%02X", s.ecLog[i].value));
    }
    return bytes;
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
    bool First() const { return GetParam() == VN_CHIPSET_FIRST; }
    // The flag, the bridge and the window are as the exchange found them.
    void ExpectLeftAsFound(const std::string& what)
    {
        VnSnapshot after = VirtualNotebook::State();
        EXPECT_EQ(FLAG_FREE, after.ecFlag) << what;
        EXPECT_EQ(before_.decodeBase, after.decodeBase) << what;
        EXPECT_EQ(before_.decodeControl, after.decodeControl) << what;
        EXPECT_EQ(0u, after.decodeOpen) << what;
        EXPECT_EQ(0u, after.exchangeActive) << what;
        EXPECT_EQ(0u, after.violationNoReady + after.violationOverlap + after.violationInterleave) << what;
    }
    VnSnapshot before_{};
    TraceCapture trace;
};

INSTANTIATE_TEST_SUITE_P(BothChipsets, EcExchange, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                             return std::string(info.param == VN_CHIPSET_FIRST ? "First" : "Second");
                         });

TEST_P(EcExchange, EachCommandIsOneExchangeOfTheseRequestsInThisOrder)
{
    struct Command {
        const char* name;
        int (*call)();
        unsigned data;
    } const commands[] = {{"Enable_StickyKey", Enable_StickyKey, 0x60}, {"FnKeyDown", FnKeyDown, 0x62},
                          {"FnKeyUP", FnKeyUP, 0x63}, {"Disable_StickyKey", Disable_StickyKey, 0x61}};
    for (const Command& c : commands) {
        LibraryCalls calls;
        trace.Clear();
        EXPECT_EQ(1, c.call()) << c.name;
        EXPECT_EQ(StickyExchangeRequests(GetParam(), c.data), calls.Get().RequestTexts()) << c.name;
        EXPECT_TRUE(calls.Get().sleeps.empty());
        EXPECT_EQ((Messages{std::string("Call function -->") + c.name + "\n\r",
                            std::string(c.name) + " process completed\n\n\r"}),
                  trace.Messages());
        EXPECT_EQ((Messages{"C59", Hex("D%02X", c.data)}), LastEcBytes(2)) << c.name;
        ExpectLeftAsFound(c.name);
    }
}

TEST_P(EcExchange, ReceiveStoresOnlyTheBytesReceived)
{
    UCHAR data[2] = {0x60, 0x60};
    UCHAR received[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(1, EC_IndexMode_WriteCOMM(0x40, -3, data));
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(0x41, 0, data, -5, received));
    EXPECT_EQ((Messages{"C40", "C41"}), LastEcBytes(2)) << "counts of 0 or less send no data bytes";
    ASSERT_EQ(1, FnKeyDown());
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received));
    EXPECT_EQ((std::vector<UCHAR>{0, 1, 0xEE}), std::vector<UCHAR>(received, received + 3));
    // The command and the first byte's acknowledgement are answered, the second's is not.
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 2));
    received[0] = received[1] = 0xEE;
    trace.Clear();
    EXPECT_EQ(0, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received));
    EXPECT_EQ((Messages{"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Get EC Data :Index( 2 ) Data:1( \x01 )\n\r"}),
              trace.Messages());
    EXPECT_EQ((std::vector<UCHAR>{0, 0xEE}), std::vector<UCHAR>(received, received + 2));
    ExpectLeftAsFound("failed receive");
}

TEST_P(EcExchange, FailuresAreTracedPausedAsCountedAndCleanedUp)
{
    UCHAR bytes[4] = {0x31, 0x32, 0x33, 0x34};
    UCHAR zero = 0;
    const std::string decode = "DEC_Data:0 DEC_CtlData:0 \n\r", reEnable = "Please Re-Enable EC IO Index\n\r";
    struct Row {
        const char* what;
        uint32_t key, value;
        std::function<int()> call;
        Messages trace;
        std::vector<DWORD> sleeps;
    } const rows[] = {
        {"unsupported chipset", VN_CFG_CHIPSET, VN_CHIPSET_NONE, Enable_StickyKey,
         {"Call function -->Enable_StickyKey\n\r", "Enable_EC_IndexMode-->No support Chipset\n\r",
          "(EC_IndexMode_WriteCOMM) Enable_EC_IndexMode fail! \n\r", "Enable_StickyKey Fail\n\r"}, {}},
        {"EC silent at the command", VN_CFG_EC_ANSWER_BUDGET, 0, FnKeyDown,
         {"Call function -->FnKeyDown\n\r", "Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC CMD(59) fail\n\r",
          "FnKeyDown Fail\n\r"}, {}},
        {"EC silent at the third byte", VN_CFG_EC_ANSWER_BUDGET, 3, [&] { return EC_IndexMode_WriteCOMM(0x40, 4, bytes); },
         {"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC Data :Index( 3 ) Data:33( 3 ) fail\n\r"}, {}},
        {"zero data byte", VN_CFG_EC_ANSWER_BUDGET, 1, [&] { return EC_IndexMode_WriteCOMM(0x40, 1, &zero); },
         {"Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC Data :Index( 1 ) Data:0( . ) fail\n\r"}, {}},
        {"EC answering after all 1280 polls", VN_CFG_EC_ANSWER_POLLS, 1280, FnKeyUP,
         {"Call function -->FnKeyUP\n\r", "Chk_IndexMode_Flag:2 (1) Timeout\n\r", "Set EC CMD(59) fail\n\r",
          "FnKeyUP Fail\n\r"}, {}},
        {"busy window", VN_CFG_INDEX_STUCK_ADDR, 0x1234, Enable_StickyKey,
         {"Call function -->Enable_StickyKey\n\r", "Default Addr error(1234)\n\r", "Enable_StickyKey Fail\n\r"},
         std::vector<DWORD>(10, 100)},
        // Closed, the EC's ports read all-ones: the idle check sees 0xFFFF.
        {"window that does not open", VN_CFG_DECODE_STUCK, 1, Enable_StickyKey,
         {"Call function -->Enable_StickyKey\n\r", decode, reEnable, "Default Addr error(ffff)\n\r", decode, reEnable,
          "Enable_StickyKey Fail\n\r"}, {50, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 50}},
        {"failing index port", VN_CFG_FAIL_PORT, (First() ? 0xE02Cu : 0xFF2Cu) + 2, Enable_StickyKey,
         {"Call function -->Enable_StickyKey\n\r", "IO_Port_Read_UCHAR-->DeviceIoControl Fail!\n\r",
          "IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r", "Clear index mode to free status fail! \n\r",
          "Enable_StickyKey Fail\n\r"}, {}},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(VirtualNotebook::Reset());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
        ASSERT_TRUE(VirtualNotebook::Configure(row.key, row.value));
        before_ = VirtualNotebook::State();
        LibraryCalls calls;
        trace.Clear();
        EXPECT_EQ(0, row.call()) << row.what;
        EXPECT_EQ(row.trace, trace.Messages()) << row.what;
        EXPECT_EQ(row.sleeps, calls.Get().sleeps) << row.what;
        ExpectLeftAsFound(row.what);
    }
    ASSERT_TRUE(VirtualNotebook::Reset());
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_POLLS, 1279));
    EXPECT_EQ(1, FnKeyDown()) << "answered at the 1280th poll";
}

TEST_P(EcExchange, DecodeRegisterWhoseSaveReadFailsIsNeverWritten)
{
    // The bridges' configuration reads of an exchange: detection, then the saves.
    struct Row {
        int nthRead;
        const char* unsavedRegister;
    };
    const std::vector<Row> rows = First() ? std::vector<Row>{{2, "@64x2"}, {3, "@48x1"}} : std::vector<Row>{{3, "@84x2"}};
    for (const Row& row : rows) {
        ASSERT_TRUE(VirtualNotebook::Reset());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
        USHORT found = 0x0C01;
        ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, First() ? 0x14 : 0x1F, First() ? 3 : 0, First() ? 0x64 : 0x84,
                                         reinterpret_cast<UCHAR*>(&found), 2));
        before_ = VirtualNotebook::State();
        LibraryCalls calls;
        calls.FailRequest(IOCTL_PCI_CONFIG_READ, row.nthRead);
        trace.Clear();
        EXPECT_EQ(0, FnKeyDown()) << "the window cannot open without the register: no success is reported";
        EXPECT_EQ("PCI_DeviceReceiveCOMM-->DeviceIoControl Fail!\n\r", trace.Messages().at(1));
        for (const std::string& request : calls.Get().RequestTexts()) {
            EXPECT_EQ(std::string::npos, request.find(std::string(row.unsavedRegister) + "=")) << request;
        }
        ExpectLeftAsFound(row.unsavedRegister);
        EXPECT_EQ(0x0C01u, VirtualNotebook::State().decodeBase);
    }
}

}  // namespace
