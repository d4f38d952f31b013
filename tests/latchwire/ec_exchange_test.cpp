// EC index-mode exchanges on both chipsets: every device request in order, the
// bytes the EC accepts, what is left behind, failures traced with their pauses.
#include <gtest/gtest.h>

#include <cstdio>

#include "debug_output_capture.h"
#include "driver_environment.h"
#include "library_calls.h"
#include "latchwire.h"

using debugoutput::TraceCapture;
using latchwiretest::EcBytes;
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

class EcExchange : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::IsRunning() || VirtualNotebook::Start());
        Restart();
    }
    // A fresh notebook with this chipset; then the setting key, where given.
    void Restart(uint32_t key = 0, uint32_t value = 0)
    {
        ASSERT_TRUE(VirtualNotebook::Reset());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, GetParam()));
        if (key != 0) ASSERT_TRUE(VirtualNotebook::Configure(key, value));
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
                         latchwiretest::ChipsetName);

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
        const latchwiretest::Recorded seen = calls.Get();
        EXPECT_EQ(StickyExchangeRequests(GetParam(), c.data), seen.RequestTexts()) << c.name;
        EXPECT_TRUE(seen.sleeps.empty());
        EXPECT_EQ((Messages{std::string("Call function -->") + c.name + "\n\r",
                            std::string(c.name) + " process completed\n\n\r"}),
                  trace.Messages());
        EXPECT_EQ((Messages{"C59", Hex("D%02X", c.data)}), EcBytes(2)) << c.name;
        ExpectLeftAsFound(c.name);
    }
}

TEST_P(EcExchange, ReceiveStoresOnlyTheBytesReceived)
{
    UCHAR data[2] = {0x60, 0x60};
    UCHAR received[3] = {0xEE, 0xEE, 0xEE};
    EXPECT_EQ(1, EC_IndexMode_WriteCOMM(0x40, -3, data));
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(0x41, 0, data, -5, received));
    EXPECT_EQ((Messages{"C40", "C41"}), EcBytes(2)) << "counts of 0 or less send no data bytes";
    ASSERT_EQ(1, FnKeyDown());
    EXPECT_EQ(1, EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received));
    EXPECT_EQ((std::vector<UCHAR>{0, 1, 0xEE}), std::vector<UCHAR>(received, received + 3));
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
        {"unsupported chipset, receiving", VN_CFG_CHIPSET, VN_CHIPSET_NONE,
         [&] { return EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, bytes); },
         {"Enable_EC_IndexMode-->No support Chipset\n\r", "(EC_IndexMode_ReceiveCOMM) Enable_EC_IndexMode fail! \n\r"},
         {}},
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
    };
    for (const Row& row : rows) {
        Restart(row.key, row.value);
        LibraryCalls calls;
        EXPECT_EQ(0, row.call()) << row.what;
        EXPECT_EQ(row.trace, trace.Messages()) << row.what;
        EXPECT_EQ(row.sleeps, calls.Get().sleeps) << row.what;
        ExpectLeftAsFound(row.what);
    }
    Restart(VN_CFG_EC_ANSWER_POLLS, 1279);
    EXPECT_EQ(1, FnKeyDown()) << "answered at the 1280th poll";
}

Messages operator+(Messages a, const Messages& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Where the nth request of a code stands in the whole log (from 0).
size_t PositionOf(const std::vector<latchwiretest::DeviceRequest>& requests, DWORD code, int nth)
{
    for (size_t i = 0; i < requests.size(); ++i) {
        if (requests[i].code == code && --nth == 0) return i;
    }
    return requests.size();
}

// One step of an exchange fails, counted by its kind from 1. Port requests of
// one sticky-key exchange: the idle check reads the index ports (reads 1, 2)
// and the flag (writes 1, 2, read 3); the command is writes 3 to 11 and its
// answer read 4; the data byte writes 14 to 22 and read 5; the clean-up
// writes the flag free (25 to 27) and the idle address (28, 29). A receive
// takes each byte with a read of the data register (reads 5, 7) and
// acknowledges it (writes 16 to 18, 23 to 25).
TEST_P(EcExchange, EachFailingStepIsTracedAndWhatFollowsIsStillAttempted)
{
    const unsigned base = First() ? 0xE02C : 0xFF2C;
    auto write = [&](unsigned port, unsigned value) { return Hex("W1 %X=%X", base + port, value); };
    const std::string bridge = First() ? "1:0/14/3@" : "1:0/1F/0@";
    const Messages detect = First() ? Messages{"CR 1:0/14/3@0x2"} : Messages{"CR 1:0/14/3@0x2", "CR 1:0/1F/0@0x2"};
    const Messages check = detect + (First() ? Messages{"CR " + bridge + "64x2", "CR " + bridge + "48x1"}
                                             : Messages{"CR " + bridge + "84x2"});
    const Messages restoreControl = First() ? Messages{"CW " + bridge + "48x1=A2"} : Messages{};
    const Messages restore = detect + Messages{"CW " + bridge + (First() ? "64x2=0" : "84x2=0")} + restoreControl;
    const Messages address = {write(1, 0xF4), write(2, 0x32)};
    const Messages clear = Messages{write(1, 0xFB), write(2, 0xFC), write(3, 0)} + address;
    const Messages cleanUp = check + clear + restore, rest = {"(the rest of the exchange)"};
    const std::string readFail = "IO_Port_Read_UCHAR-->DeviceIoControl Fail!\n\r",
                      writeFail = "IO_Port_Write_UCHAR-->DeviceIoControl Fail!\n\r",
                      cmdFail = "Set EC CMD(59) fail\n\r", dataFail = "Set EC Data :Index( 1 ) Data:62( b ) fail\n\r",
                      restoreFail = "Restore EC Default Flash Address fail! \n\r";
    const DWORD R = IOCTL_READ_PORT_UCHAR, W = IOCTL_WRITE_PORT_UCHAR;
    UCHAR received[2];
    auto receive = [&] { return EC_IndexMode_ReceiveCOMM(VN_EC_CMD_QUERY_STATE, 0, nullptr, 2, received); };
    struct Row {
        const char* what;
        DWORD code;
        int nth;
        int result;
        Messages trace, following;
        std::vector<DWORD> sleeps;
        bool leftAsFound = true;
        std::function<int()> call;
        UCHAR firstStored = 0xEE;  // a receive stores only the bytes taken whole
    } const rows[] = {
        {"idle check: high index port", R, 1, 0, {readFail}, cleanUp},
        {"idle check: low index port", R, 2, 0, {readFail}, cleanUp},
        {"idle check: flag", R, 3, 0, {readFail, "Chk_IndexMode_Flag:0 (0) Timeout\n\r"}, cleanUp},
        {"idle check: flag address", W, 1, 0, {writeFail, "Chk_IndexMode_Flag:0 (0) Timeout\n\r"}, cleanUp},
        {"command: flag ready", W, 5, 0, {writeFail, cmdFail}, cleanUp},
        {"command: its address", W, 7, 0, {writeFail, cmdFail}, cleanUp},
        {"command byte", W, 8, 0, {writeFail, cmdFail}, cleanUp},
        {"command: flag posted", W, 11, 0, {writeFail, cmdFail}, cleanUp},
        {"command: answer", R, 4, 0, {readFail, "Chk_IndexMode_Flag:2 (2) Timeout\n\r", cmdFail}, cleanUp},
        {"data byte", W, 19, 0, {writeFail, dataFail}, cleanUp},
        {"data: answer", R, 5, 0, {readFail, "Chk_IndexMode_Flag:2 (2) Timeout\n\r", dataFail}, cleanUp},
        {"clean-up: flag free", W, 27, 1, {writeFail, "Clear index mode to free status fail! \n\r"}, restore, {}, false},
        {"clean-up: high address", W, 28, 1, {writeFail, restoreFail}, restore, {}, false},
        {"clean-up: low address", W, 29, 1, {writeFail, restoreFail}, restore, {}, false},
        {"window check", IOCTL_PCI_CONFIG_READ, First() ? 5 : 6, 1,
         {"PCI_DeviceReceiveCOMM-->DeviceIoControl Fail!\n\r",
          First() ? "DEC_Data:0 DEC_CtlData:5 \n\r" : "DEC_Data:0 DEC_CtlData:0 \n\r",
          "Please Re-Enable EC IO Index\n\r"},
         rest, {50}},
        {"restoring the base", IOCTL_PCI_CONFIG_WRITE, First() ? 3 : 2, 1,
         {"PCI_DeviceWriteCOMM-->DeviceIoControl Fail!\n\r"}, restoreControl, {}, false},
        {"second byte received", R, 7, 0, {readFail, "Get EC Data :Index( 2 ) Data:1( \x01 )\n\r"}, clear + restore,
         {}, true, receive, 1},
        {"first byte's acknowledgement", W, 18, 0, {writeFail, "Get EC Data :Index( 1 ) Data:1( \x01 )\n\r"},
         clear + restore, {}, true, receive},
        {"second byte's acknowledgement", W, 25, 0, {writeFail, "Get EC Data :Index( 2 ) Data:0( . )\n\r"},
         clear + restore, {}, true, receive, 1},
    };
    const Messages normal = StickyExchangeRequests(GetParam(), 0x62);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Restart();
        ASSERT_EQ(1, Enable_StickyKey());
        before_ = VirtualNotebook::State();
        received[0] = received[1] = 0xEE;
        trace.Clear();
        LibraryCalls calls;
        calls.FailRequest(row.code, row.nth);
        Messages expected = row.trace;
        if (row.call) {
            EXPECT_EQ(row.result, row.call());
            EXPECT_EQ(row.firstStored, received[0]);
            EXPECT_EQ(0xEE, received[1]);
        } else {
            EXPECT_EQ(row.result, FnKeyDown());
            expected.insert(expected.begin(), "Call function -->FnKeyDown\n\r");
            expected.push_back(row.result ? "FnKeyDown process completed\n\n\r" : "FnKeyDown Fail\n\r");
        }
        EXPECT_EQ(expected, trace.Messages());
        const latchwiretest::Recorded seen = calls.Get();
        const size_t at = PositionOf(seen.requests, row.code, row.nth);
        const Messages texts = seen.RequestTexts();
        ASSERT_LT(at, texts.size());
        const Messages following(texts.begin() + at + 1, texts.end());
        if (row.following == rest) {
            EXPECT_EQ(Messages(normal.begin() + at + 1, normal.end()), following);
        } else {
            EXPECT_EQ(row.following, following);
        }
        EXPECT_EQ(row.sleeps, seen.sleeps);
        if (row.leftAsFound) ExpectLeftAsFound(row.what);
    }
}

// The bridge found at the close is not the one the exchange opened: the found
// registers belong to that one, so nothing is written back; a bridge that is
// gone is traced.
TEST_P(EcExchange, OtherBridgeAtTheCloseGetsNothingWrittenBack)
{
    const Messages normal = StickyExchangeRequests(GetParam(), 0x62);
    const size_t closingDetect = normal.size() - 3;  // detection, then the restoring writes
    const uint32_t other = First() ? VN_CHIPSET_SECOND : VN_CHIPSET_FIRST;
    for (uint32_t now : {uint32_t(VN_CHIPSET_NONE), other}) {
        SCOPED_TRACE(now);
        Restart();
        LibraryCalls calls;
        calls.BeforeRequest(static_cast<int>(closingDetect) + 1,
                            [now] { ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_CHIPSET, now)); });
        EXPECT_EQ(1, FnKeyDown());
        Messages traced = {"Call function -->FnKeyDown\n\r", "FnKeyDown process completed\n\n\r"};
        if (now == VN_CHIPSET_NONE) traced.insert(traced.begin() + 1, "Disable_EC_IndexMode-->No support Chipset\n\r");
        EXPECT_EQ(traced, trace.Messages());
        const Messages detect = now == VN_CHIPSET_FIRST ? Messages{"CR 1:0/14/3@0x2"}
                                                        : Messages{"CR 1:0/14/3@0x2", "CR 1:0/1F/0@0x2"};
        const Messages expected = Messages(normal.begin(), normal.begin() + closingDetect) + detect;
        EXPECT_EQ(expected, calls.Get().RequestTexts());
    }
}

// What the check reads back from the bridge after opening it: exactly which
// values count as open. A closed window is traced with what was read, costs
// a 50 ms pause, and the exchange goes on.
TEST_P(EcExchange, DecodeReadBackCountsAsOpenOnlyForTheDocumentedValues)
{
    struct Row {
        uint32_t chipset;
        DWORD base, control;  // as the check reads them (control: first chipset only)
        const char* closedTrace;  // nullptr: open
    } const rows[] = {
        {VN_CHIPSET_FIRST, 0xE02C, 0x05, nullptr},
        {VN_CHIPSET_FIRST, 0xE02C, 0xFF, nullptr},
        {VN_CHIPSET_FIRST, 0xE02C, 0x04, "DEC_Data:e02c DEC_CtlData:4 \n\r"},
        {VN_CHIPSET_FIRST, 0xE02C, 0x01, "DEC_Data:e02c DEC_CtlData:1 \n\r"},
        {VN_CHIPSET_FIRST, 0xE02C, 0xFA, "DEC_Data:e02c DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_FIRST, 0xE02D, 0x05, "DEC_Data:e02d DEC_CtlData:5 \n\r"},
        {VN_CHIPSET_FIRST, 0xE020, 0x07, "DEC_Data:e020 DEC_CtlData:5 \n\r"},
        {VN_CHIPSET_FIRST, 0x602C, 0x05, "DEC_Data:602c DEC_CtlData:5 \n\r"},
        {VN_CHIPSET_SECOND, 0xFF01, 0, nullptr},
        {VN_CHIPSET_SECOND, 0xFF21, 0, "DEC_Data:ff21 DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_SECOND, 0xFF2C, 0, "DEC_Data:ff2c DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_SECOND, 0xFF00, 0, "DEC_Data:ff00 DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_SECOND, 0xFF11, 0, "DEC_Data:ff11 DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_SECOND, 0x7F01, 0, "DEC_Data:7f01 DEC_CtlData:0 \n\r"},
        {VN_CHIPSET_SECOND, 0xFE01, 0, "DEC_Data:fe01 DEC_CtlData:0 \n\r"},
    };
    const int checkRead = First() ? 5 : 6;  // configuration reads: detection and saves come first
    for (const Row& row : rows) {
        if (row.chipset != GetParam()) continue;
        SCOPED_TRACE(Hex("%X/%X", row.base, row.control));
        LibraryCalls calls;
        calls.ReplaceRead(IOCTL_PCI_CONFIG_READ, checkRead, row.base);
        if (First()) calls.ReplaceRead(IOCTL_PCI_CONFIG_READ, checkRead + 1, row.control);
        trace.Clear();
        EXPECT_EQ(1, FnKeyUP());
        Messages expected = {"Call function -->FnKeyUP\n\r"};
        if (row.closedTrace) expected.insert(expected.end(), {row.closedTrace, "Please Re-Enable EC IO Index\n\r"});
        expected.push_back("FnKeyUP process completed\n\n\r");
        EXPECT_EQ(expected, trace.Messages());
        EXPECT_EQ(row.closedTrace ? std::vector<DWORD>{50} : std::vector<DWORD>{}, calls.Get().sleeps);
        EXPECT_EQ(StickyExchangeRequests(GetParam(), 0x63), calls.Get().RequestTexts());
    }
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
        Restart();
        USHORT found = 0x0C01;
        ASSERT_EQ(1, PCI_DeviceWriteCOMM(1, 0, First() ? 0x14 : 0x1F, First() ? 3 : 0, First() ? 0x64 : 0x84,
                                         reinterpret_cast<UCHAR*>(&found), 2));
        before_ = VirtualNotebook::State();
        LibraryCalls calls;
        calls.FailRequest(IOCTL_PCI_CONFIG_READ, row.nthRead);
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
