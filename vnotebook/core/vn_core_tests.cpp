// Native unit tests of the emulator core: what the Windows suites, which drive
// it through the library and the driver, do not show (power-on and reset, the
// firmware's corner cases, violations, injected faults, map ranges).
#include "vn_core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint32_t kAgentA = 100, kAgentB = 200;
const uint32_t kBase = 0xFF2C;  // the second chipset's EC window

// One agent's side of the index-mode handshake at the second chipset's window, port by port.
struct Wire {
    VnMachine* m;
    uint32_t agent;
    bool ok = true;  // every port access succeeded

    void out(uint32_t port, uint8_t v) { ok &= vn_port_write(m, agent, port, 1, v) == 1; }
    uint8_t in(uint32_t port)
    {
        uint32_t v = 0;
        ok &= vn_port_read(m, agent, port, 1, &v) == 1;
        return (uint8_t)v;
    }
    void select(uint16_t addr) { out(kBase + 1, addr >> 8), out(kBase + 2, addr & 0xFF); }
    void ecWrite(uint16_t addr, uint8_t v) { select(addr), out(kBase + 3, v); }
    uint8_t ecRead(uint16_t addr) { return select(addr), in(kBase + 3); }
    // READY, the byte, POSTED; true when the first poll finds it answered.
    bool post(uint16_t reg, uint8_t v)
    {
        ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_READY);
        ecWrite(reg, v);
        ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_POSTED);
        return ecRead(VN_EC_FLAG_REG) == VN_EC_FLAG_READY;
    }
    // A receive acknowledgement; the byte it loaded into DATA.
    uint8_t receive()
    {
        ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_POSTED);
        EXPECT_EQ(VN_EC_FLAG_READY, ecRead(VN_EC_FLAG_REG));
        return ecRead(VN_EC_DATA_REG);
    }
    // A whole exchange: the command, its data bytes, then the flag set free and the idle address.
    bool send(uint8_t cmd, const std::vector<uint8_t>& data)
    {
        bool answered = post(VN_EC_CMD_REG, cmd);
        for (uint8_t byte : data) answered = answered && post(VN_EC_DATA_REG, byte);
        ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_FREE);
        select(VN_EC_IDLE_ADDR);
        return answered && ok;
    }
};

class Notebook : public ::testing::Test {
protected:
    void SetUp() override
    {
        phys.assign(VN_PHYS_SIZE, 0);
        vn_init(&m, phys.data(), (uint32_t)phys.size());
    }
    VnSnapshot snap()
    {
        VnSnapshot s;
        std::memset(&s, 0xAB, sizeof s);
        vn_snapshot(&m, &s);
        return s;
    }
    void pciWrite(uint32_t dev, uint32_t fn, uint32_t off, uint32_t v, uint32_t len)
    {
        uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
        ASSERT_EQ(1, vn_pci_write(&m, 0, dev, fn, off, b, len));
    }
    void openWindow() { pciWrite(0x1F, 0, 0x84, 0xFF01, 2); }
    void expectPowerOn()
    {
        VnSnapshot s = snap();
        EXPECT_EQ(VN_CHIPSET_SECOND, s.chipset);
        EXPECT_EQ(0u, s.stickyMode + s.fnDown + s.ecFlag + s.decodeOpen + s.decodeBase + s.decodeControl);
        EXPECT_EQ(VN_EC_IDLE_ADDR, s.indexAddress);
        EXPECT_EQ(0u, s.exchangeActive + s.violationNoReady + s.violationOverlap + s.violationInterleave);
        EXPECT_EQ(0u, s.ecLogCount + s.requestCount + s.configWrites + s.mappings);
        for (const VnEcLogEntry& e : s.ecLog) EXPECT_EQ(0u, e.isCommand | e.value | e.reserved[0] | e.reserved[1]);
        const uint32_t settings[] = {m.mapReturnedLength, m.failPort, m.ecAnswerBudget, m.failCode, m.callerIsAdmin};
        const uint32_t powerOn[] = {4, VN_NO_PORT, VN_UNLIMITED, 0, 1};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(powerOn[i], settings[i]) << "setting " << i;
    }
    VnMachine m;
    std::vector<uint8_t> phys;
};

TEST_F(Notebook, PowerOnStateAndResetAfterUse)
{
    expectPowerOn();
    EXPECT_EQ(0, std::memcmp(phys.data(), "_VN_", 4));
    EXPECT_EQ((uint8_t)(0xFFFF * 7 + 1), phys[0xFFFF]);
    Wire a{&m, kAgentA};
    openWindow();
    ASSERT_TRUE(a.send(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    a.ecWrite(VN_EC_CMD_REG, 1);
    m.requestCount = 7;
    for (uint32_t key : {VN_CFG_CHIPSET, VN_CFG_FAIL_PORT, VN_CFG_MAP_RETURNED_LENGTH, VN_CFG_CALLER_IS_ADMIN})
        ASSERT_EQ(1, vn_configure(&m, key, 0));
    phys[0] = 0;
    vn_init(&m, phys.data(), (uint32_t)phys.size());  // the driver's reset
    expectPowerOn();
    EXPECT_EQ('_', phys[0]);
    std::vector<uint8_t> small(3, 0xEE);  // ASan catches a write past it
    vn_init(&m, small.data(), 3);
    EXPECT_EQ(1, small[0]);
}

// The firmware's side of each command: state, replies, and what it ignores.
TEST_F(Notebook, CommandsChangeStateAndReply)
{
    Wire a{&m, kAgentA};
    openWindow();
    struct Row { uint8_t data; uint32_t sticky, fn; } rows[] = {
        {VN_EC_STICKY_ON, 1, 0}, {VN_EC_FN_DOWN, 1, 1}, {VN_EC_STICKY_OFF, 0, 1}, {0x70, 0, 1}, {VN_EC_FN_UP, 0, 0}};
    for (const Row& r : rows) {
        ASSERT_TRUE(a.send(VN_EC_CMD_STICKY, {r.data})) << (int)r.data;
        VnSnapshot s = snap();
        EXPECT_EQ(r.sticky, s.stickyMode) << (int)r.data;
        EXPECT_EQ(r.fn, s.fnDown) << (int)r.data;
        EXPECT_EQ(0u, s.exchangeActive) << (int)r.data;
    }
    ASSERT_TRUE(a.send(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    ASSERT_TRUE(a.post(VN_EC_CMD_REG, VN_EC_CMD_QUERY_STATE));  // the first reply is there at once
    const std::vector<uint8_t> replies{a.ecRead(VN_EC_DATA_REG), a.receive(), a.receive()};
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 0}), replies);
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_FREE);
    ASSERT_TRUE(a.send(0x42, {VN_EC_STICKY_ON, VN_EC_FN_UP}));  // other commands: DATA holds the last byte sent
    EXPECT_EQ(VN_EC_FN_UP, a.ecRead(VN_EC_DATA_REG));
    EXPECT_EQ(0, a.receive()) << "an acknowledgement loads 0";
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_FREE);
    ASSERT_TRUE(a.send(VN_EC_CMD_STICKY, {VN_EC_FN_UP, VN_EC_STICKY_ON}));  // one data byte counts
    EXPECT_EQ(0u, snap().stickyMode + snap().fnDown);
    EXPECT_EQ(0u, snap().violationNoReady + snap().violationOverlap + snap().violationInterleave);
}

TEST_F(Notebook, DecodeWindowOpensOnlyOnTheExactRegisterValues)
{
    struct Write { uint32_t device, function, offset, value, length; };
    struct Row { const char* what; uint32_t chipset; std::vector<Write> writes; bool open; };
    const Row rows[] = {
        {"second: open value", VN_CHIPSET_SECOND, {{0x1F, 0, 0x84, 0xFF01, 2}}, true},
        {"second: bits 7..4 read 0", VN_CHIPSET_SECOND, {{0x1F, 0, 0x84, 0xFF21, 2}}, true},
        {"second: enable bit clear", VN_CHIPSET_SECOND, {{0x1F, 0, 0x84, 0xFF00, 2}}, false},
        {"second: other base", VN_CHIPSET_SECOND, {{0x1F, 0, 0x84, 0xFE01, 2}}, false},
        {"second: first's registers", VN_CHIPSET_SECOND, {{0x14, 3, 0x64, 0xE02C, 2}, {0x14, 3, 0x48, 0xA7, 1}}, false},
        {"first: base and bits", VN_CHIPSET_FIRST, {{0x14, 3, 0x64, 0xE02C, 2}, {0x14, 3, 0x48, 0xA7, 1}}, true},
        {"first: base only", VN_CHIPSET_FIRST, {{0x14, 3, 0x64, 0xE02C, 2}}, false},
        {"first: bit 0 missing", VN_CHIPSET_FIRST, {{0x14, 3, 0x64, 0xE02C, 2}, {0x14, 3, 0x48, 0xA6, 1}}, false},
        {"none: nothing opens", VN_CHIPSET_NONE, {{0x1F, 0, 0x84, 0xFF01, 2}}, false},
    };
    for (const Row& r : rows) {
        ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, r.chipset));  // also resets the bridges
        for (const Write& w : r.writes) pciWrite(w.device, w.function, w.offset, w.value, w.length);
        EXPECT_EQ(r.open, snap().decodeOpen == 1) << r.what;
    }
    pciWrite(VN_TEST_PCI_DEVICE, 0, 0x40, 1, 1);
    pciWrite(0x1F, 0, 0x84, 0, 0);
    EXPECT_EQ(12u, snap().configWrites) << "each write to a bridge's place, present or not, and no other";
}

TEST_F(Notebook, ViolationsAreCountedAndTheBytesStillTaken)
{
    Wire a{&m, kAgentA}, b{&m, kAgentB};
    openWindow();
    a.ecWrite(VN_EC_CMD_REG, 0x42);  // flag 0: no READY
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_POSTED);
    ASSERT_EQ(VN_EC_FLAG_READY, a.ecRead(VN_EC_FLAG_REG));
    ASSERT_TRUE(a.post(VN_EC_CMD_REG, VN_EC_CMD_STICKY));  // a command during an exchange
    b.ecRead(VN_EC_FLAG_REG);  // another agent: three port accesses
    ASSERT_TRUE(a.post(VN_EC_DATA_REG, VN_EC_FN_DOWN));  // belongs to the newer command
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_FREE);
    VnSnapshot s = snap();
    EXPECT_EQ(0x010103u, s.violationNoReady << 16 | s.violationOverlap << 8 | s.violationInterleave);
    EXPECT_EQ(1u, s.fnDown);
    ASSERT_TRUE(b.send(VN_EC_CMD_STICKY, {VN_EC_FN_UP}));  // taking turns is fine
    ASSERT_TRUE(a.send(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    s = snap();
    EXPECT_EQ(1u + 1u + 3u, s.violationNoReady + s.violationOverlap + s.violationInterleave);
}

TEST_F(Notebook, InjectedFaults)
{
    Wire a{&m, kAgentA};
    openWindow();
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0x1234));
    EXPECT_FALSE(a.send(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON})) << "the data port reaches 0x1234";
    EXPECT_EQ(0x12, a.in(kBase + 1));
    EXPECT_EQ(0x1234u, snap().indexAddress);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0));
    EXPECT_TRUE(a.send(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, 0x300));
    uint32_t v = 0x5A5A5A5A;
    EXPECT_EQ(0, vn_port_write(&m, kAgentA, 0x300, 4, 0x11223344));
    EXPECT_EQ(0, vn_port_read(&m, kAgentA, 0x300, 1, &v));
    EXPECT_EQ(0x5A5A5A5Au, v);
    EXPECT_EQ(1, vn_port_write(&m, kAgentA, 0x2FF, 2, 0x7700));  // starts elsewhere
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, VN_NO_PORT));
    EXPECT_EQ(1, vn_port_read(&m, kAgentA, 0x300, 1, &v));
    EXPECT_EQ(0x77u, v);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, kBase + 3));  // the data port
    EXPECT_FALSE(a.send(VN_EC_CMD_STICKY, {VN_EC_STICKY_OFF}));
    EXPECT_EQ(1u, snap().stickyMode);

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE, 0x22A000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, 2));
    const int takes[] = {0, 1, 1, 0};
    const uint32_t codes[] = {0x22A004, 0x22A000, 0x22A000, 0x22A000};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(takes[i], vn_take_request_fault(&m, codes[i])) << i;
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, VN_UNLIMITED));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(1, vn_take_request_fault(&m, 0x22A000));
}

TEST_F(Notebook, MapRangesLieInsideThePhysicalWindow)
{
    struct Row { uint32_t phys, length; int ok; } rows[] = {
        {VN_PHYS_BASE, 0, 1},          {VN_PHYS_BASE + VN_PHYS_SIZE - 0x1000, 0x1000, 1},
        {VN_PHYS_BASE + VN_PHYS_SIZE - 0x1000, 0x1001, 0}, {VN_PHYS_BASE - 1, 1, 0},
        {VN_PHYS_BASE + VN_PHYS_SIZE, 1, 0}, {VN_PHYS_BASE + 16, 0xFFFFFFFF, 0}, {0xFFFFFFF0, 0x20, 0}};
    for (const Row& r : rows) {
        uint32_t length = r.length;
        EXPECT_EQ(r.ok, vn_map_check(&m, r.phys, &length)) << std::hex << r.phys << " " << r.length;
        if (r.length == 0) {
            EXPECT_EQ(0x1000u, length) << "length 0 is one page";
        }
    }
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE, nullptr));
}

}  // namespace
