// Native unit tests of the emulator core. The Host helper drives the EC the
// way the Latchwire library does, port by port.
#include "vn_core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint32_t kAgentA = 100, kAgentB = 200;

// The library's side of the wire: chipset detection, decode window, index access, handshake.
struct Host {
    VnMachine* m;
    uint32_t agent;
    uint32_t base = 0, savedBase = 0, savedControl = 0;
    int failedAt = -1;  // 0: command byte, i >= 1: data byte i, -2: idle check; -1: none

    Host(VnMachine* machine, uint32_t id) : m(machine), agent(id) {}

    bool out(uint32_t port, uint8_t v) { return vn_port_write(m, agent, port, 1, v) == 1; }
    bool in(uint32_t port, uint8_t* v) {
        uint32_t x = 0;
        if (vn_port_read(m, agent, port, 1, &x) != 1) return false;
        *v = (uint8_t)x;
        return true;
    }
    uint32_t pci(uint32_t dev, uint32_t fn, uint32_t off, uint32_t len = 2) {
        uint8_t b[2] = {0, 0};
        vn_pci_read(m, 0, dev, fn, off, b, len);
        return len == 1 ? b[0] : (uint32_t)(b[0] | b[1] << 8);
    }
    void pciWrite(uint32_t dev, uint32_t fn, uint32_t off, uint32_t v, uint32_t len) {
        uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
        vn_pci_write(m, 0, dev, fn, off, b, len);
    }
    int detect() { return pci(0x14, 3, 0) == 0x1002 ? 1 : pci(0x1F, 0, 0) == 0x8086 ? 2 : 0; }
    bool enable() {  // Enable_EC_IndexMode
        int chipset = detect();
        if (chipset == 1) {
            base = 0xE02C;
            savedBase = pci(0x14, 3, 0x64);
            savedControl = pci(0x14, 3, 0x48, 1);
            pciWrite(0x14, 3, 0x64, 0xE02C, 2);
            pciWrite(0x14, 3, 0x48, savedControl | 0x05, 1);
        } else if (chipset == 2) {
            base = 0xFF2C;
            savedBase = pci(0x1F, 0, 0x84);
            pciWrite(0x1F, 0, 0x84, (base & 0xFFF0) | 1, 2);
        }
        return chipset != 0;
    }
    void disable() {  // Disable_EC_IndexMode
        int chipset = detect();
        if (chipset == 1) {
            pciWrite(0x14, 3, 0x64, savedBase, 2);
            pciWrite(0x14, 3, 0x48, savedControl, 1);
        } else if (chipset == 2) {
            pciWrite(0x1F, 0, 0x84, savedBase, 2);
        }
    }
    bool select(uint16_t addr) { return out(base + 1, addr >> 8) && out(base + 2, addr & 0xFF); }
    bool ecWrite(uint16_t addr, uint8_t v) { return select(addr) && out(base + 3, v); }
    bool ecRead(uint16_t addr, uint8_t* v) { return select(addr) && in(base + 3, v); }
    bool waitFlag(uint8_t expected) {
        uint8_t f = 0xFF;
        for (int i = 0; i < 1280; ++i)
            if (!ecRead(VN_EC_FLAG_REG, &f) || f == expected) break;
        return f == expected;
    }
    bool setByte(uint16_t reg, uint8_t v) {
        return ecWrite(VN_EC_FLAG_REG, 2) && ecWrite(reg, v) && ecWrite(VN_EC_FLAG_REG, 1) && waitFlag(2);
    }
    bool getByte(uint8_t* v) { return ecRead(VN_EC_DATA_REG, v) && ecWrite(VN_EC_FLAG_REG, 1) && waitFlag(2); }
    bool idle() {
        uint8_t hi = 0, lo = 0;
        for (int i = 0; i < 10; ++i) {
            if (!in(base + 1, &hi) || !in(base + 2, &lo)) return false;
            if ((hi << 8 | lo) == VN_EC_IDLE_ADDR) return waitFlag(0);
        }
        return false;
    }
    void clear() { ecWrite(VN_EC_FLAG_REG, 0) && select(VN_EC_IDLE_ADDR); }
    bool send(uint8_t cmd, const std::vector<uint8_t>& data) {  // Set_EC_Command
        if (!idle()) return failedAt = -2, false;
        if (!setByte(VN_EC_CMD_REG, cmd)) return failedAt = 0, false;
        for (size_t i = 0; i < data.size(); ++i)
            if (!setByte(VN_EC_DATA_REG, data[i])) return failedAt = (int)i + 1, false;
        return true;
    }
    // EC_IndexMode_ReceiveCOMM (and WriteCOMM with receiveCount 0), without semaphore and sleeps.
    bool exchange(uint8_t cmd, const std::vector<uint8_t>& data, size_t receiveCount = 0,
                  std::vector<uint8_t>* received = nullptr) {
        failedAt = -1;
        if (!enable()) return false;
        bool ok = send(cmd, data);
        for (size_t i = 0; ok && i < receiveCount; ++i) {
            uint8_t b;
            ok = getByte(&b);
            if (ok && received) received->push_back(b);
        }
        clear();
        disable();
        return ok;
    }
};

class Notebook : public ::testing::Test {
protected:
    void SetUp() override {
        phys.assign(VN_PHYS_SIZE, 0);
        vn_init(&m, phys.data(), (uint32_t)phys.size());
    }
    VnSnapshot snap() {
        VnSnapshot s;
        std::memset(&s, 0xAB, sizeof s);
        vn_snapshot(&m, &s);
        return s;
    }
    uint32_t readPort(uint32_t port, uint32_t width) {
        uint32_t v = 0x5A5A5A5A;
        EXPECT_EQ(1, vn_port_read(&m, kAgentA, port, width, &v));
        return v;
    }
    void expectPowerOn() {
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

TEST_F(Notebook, PowerOnStateAndResetAfterUse) {
    expectPowerOn();
    EXPECT_EQ(0, std::memcmp(phys.data(), "_VN_", 4));
    EXPECT_EQ((uint8_t)(0xFFFF * 7 + 1), phys[0xFFFF]);
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    ASSERT_TRUE(a.enable());
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

class Exchange : public Notebook, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        Notebook::SetUp();
        ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, GetParam()));
    }
    void expectIdleAndRestored() {
        VnSnapshot s = snap();
        EXPECT_EQ(0u, s.ecFlag + s.exchangeActive + s.decodeOpen + s.decodeBase);
        EXPECT_EQ(VN_EC_IDLE_ADDR, s.indexAddress);
        EXPECT_EQ(GetParam() == VN_CHIPSET_FIRST ? 0xA2u : 0u, s.decodeControl);
    }
};

TEST_P(Exchange, CommandsChangeStateRepliesAndLog) {
    Host a(&m, kAgentA);
    struct Row { uint8_t data; uint32_t sticky, fn; } rows[] = {
        {VN_EC_STICKY_ON, 1, 0}, {VN_EC_FN_DOWN, 1, 1}, {VN_EC_STICKY_OFF, 0, 1}, {0x70, 0, 1}, {VN_EC_FN_UP, 0, 0}};
    for (const Row& r : rows) {
        ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {r.data})) << (int)r.data;
        VnSnapshot s = snap();
        EXPECT_EQ(r.sticky, s.stickyMode) << (int)r.data;
        EXPECT_EQ(r.fn, s.fnDown) << (int)r.data;
        expectIdleAndRestored();
        const VnEcLogEntry* last = &s.ecLog[s.ecLogCount - 2];  // command byte, then data byte
        EXPECT_EQ(0x100u | VN_EC_CMD_STICKY, (uint32_t)(last[0].isCommand << 8 | last[0].value));
        EXPECT_EQ((uint32_t)r.data, (uint32_t)(last[1].isCommand << 8 | last[1].value));
    }
    VnSnapshot s = snap();
    EXPECT_EQ(0u, s.violationNoReady + s.violationOverlap + s.violationInterleave);
    EXPECT_EQ(GetParam() == VN_CHIPSET_FIRST ? 20u : 10u, s.configWrites);

    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    std::vector<uint8_t> got;
    ASSERT_TRUE(a.exchange(VN_EC_CMD_QUERY_STATE, {}, 3, &got));
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 0}), got);
    got.clear();  // other commands: DATA holds the last byte sent, an acknowledgement loads 0
    ASSERT_TRUE(a.exchange(0x42, {VN_EC_STICKY_ON, VN_EC_FN_UP}, 2, &got));
    EXPECT_EQ((std::vector<uint8_t>{VN_EC_FN_UP, 0}), got);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_UP, VN_EC_STICKY_ON}));  // one data byte counts
    EXPECT_EQ(0u, snap().stickyMode + snap().fnDown);
    expectIdleAndRestored();
}

INSTANTIATE_TEST_SUITE_P(BothChipsets, Exchange, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND));

TEST_F(Notebook, DecodeWindowOpensOnlyOnTheExactRegisterValues) {
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
        Host a(&m, kAgentA);
        for (const Write& w : r.writes) a.pciWrite(w.device, w.function, w.offset, w.value, w.length);
        EXPECT_EQ(r.open, snap().decodeOpen == 1) << r.what;
    }
    Host a(&m, kAgentA);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_FIRST));
    ASSERT_TRUE(a.enable());
    EXPECT_EQ(0xA7, a.pci(0x14, 3, 0x48, 1)) << "the control register keeps its other bits";
    a.disable();
    EXPECT_EQ(0xA2u, snap().decodeControl);
}

TEST_F(Notebook, ViolationsAreCountedAndTheBytesStillTaken) {
    Host a(&m, kAgentA), b(&m, kAgentB);
    ASSERT_TRUE(a.enable());
    b.base = a.base;
    a.ecWrite(VN_EC_CMD_REG, 0x42);  // flag 0: no READY
    a.ecWrite(VN_EC_FLAG_REG, 1);
    ASSERT_TRUE(a.waitFlag(2));
    ASSERT_TRUE(a.setByte(VN_EC_CMD_REG, VN_EC_CMD_STICKY));  // a command during an exchange
    uint8_t v;
    ASSERT_TRUE(b.ecRead(VN_EC_FLAG_REG, &v));  // another agent: three port accesses
    ASSERT_TRUE(a.setByte(VN_EC_DATA_REG, VN_EC_FN_DOWN));  // belongs to the newer command
    a.clear();
    VnSnapshot s = snap();
    EXPECT_EQ(0x010103u, s.violationNoReady << 16 | s.violationOverlap << 8 | s.violationInterleave);
    EXPECT_EQ(1u, s.fnDown + s.exchangeActive);
    a.disable();
    ASSERT_TRUE(b.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_UP}));  // taking turns is fine
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    s = snap();
    EXPECT_EQ(1u + 1u + 3u, s.violationNoReady + s.violationOverlap + s.violationInterleave);
}

TEST_F(Notebook, InjectedFaults) {
    Host a(&m, kAgentA);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0x1234));
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    EXPECT_EQ(-2, a.failedAt);
    EXPECT_EQ(0x1234u, snap().indexAddress);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0));
    EXPECT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, 0x300));
    uint32_t v = 0x5A5A5A5A;
    EXPECT_EQ(0, vn_port_write(&m, kAgentA, 0x300, 4, 0x11223344));
    EXPECT_EQ(0, vn_port_read(&m, kAgentA, 0x300, 1, &v));
    EXPECT_EQ(0x5A5A5A5Au, v);
    EXPECT_EQ(1, vn_port_write(&m, kAgentA, 0x2FF, 2, 0x7700));  // starts elsewhere
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, VN_NO_PORT));
    EXPECT_EQ(0x77u, readPort(0x300, 1));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, 0xFF2F));  // the data port: fails at the idle check
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_OFF}));
    EXPECT_EQ(-2, a.failedAt);
    EXPECT_EQ(1u, snap().stickyMode);

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE, 0x22A000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, 2));
    const int takes[] = {0, 1, 1, 0};
    const uint32_t codes[] = {0x22A004, 0x22A000, 0x22A000, 0x22A000};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(takes[i], vn_take_request_fault(&m, codes[i])) << i;
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, VN_UNLIMITED));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(1, vn_take_request_fault(&m, 0x22A000));
}

TEST_F(Notebook, MapRangesLieInsideThePhysicalWindow) {
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
