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
    uint32_t base = 0;
    uint16_t savedBase = 0;
    uint8_t savedControl = 0;
    int failedAt = -1;  // 0: command byte, i >= 1: data byte i, -2: idle check; -1: none

    Host(VnMachine* machine, uint32_t id) : m(machine), agent(id) {}

    bool out(uint32_t port, uint8_t v) { return vn_port_write(m, agent, port, 1, v) == 1; }
    bool in(uint32_t port, uint8_t* v) {
        uint32_t x = 0;
        if (!vn_port_read(m, agent, port, 1, &x)) return false;
        *v = (uint8_t)x;
        return true;
    }
    uint16_t pci16(uint32_t dev, uint32_t fn, uint32_t off) {
        uint8_t b[2] = {0, 0};
        vn_pci_read(m, 0, dev, fn, off, b, 2);
        return (uint16_t)(b[0] | b[1] << 8);
    }
    uint8_t pci8(uint32_t dev, uint32_t fn, uint32_t off) {
        uint8_t b = 0;
        vn_pci_read(m, 0, dev, fn, off, &b, 1);
        return b;
    }
    void pciWrite(uint32_t dev, uint32_t fn, uint32_t off, uint32_t v, uint32_t len) {
        uint8_t b[2] = {(uint8_t)v, (uint8_t)(v >> 8)};
        vn_pci_write(m, 0, dev, fn, off, b, len);
    }
    int detect() {
        if (pci16(0x14, 3, 0) == 0x1002) return 1;
        if (pci16(0x1F, 0, 0) == 0x8086) return 2;
        return 0;
    }
    bool enable() {  // Enable_EC_IndexMode
        switch (detect()) {
        case 1:
            base = 0xE02C;
            savedBase = pci16(0x14, 3, 0x64);
            savedControl = pci8(0x14, 3, 0x48);
            pciWrite(0x14, 3, 0x64, 0xE02C, 2);
            pciWrite(0x14, 3, 0x48, savedControl | 0x05, 1);
            return true;
        case 2:
            base = 0xFF2C;
            savedBase = pci16(0x1F, 0, 0x84);
            pciWrite(0x1F, 0, 0x84, (base & 0xFFF0) | 1, 2);
            return true;
        default:
            return false;
        }
    }
    bool decodeOpen() {  // Chk_EC_IndexMode_Decode
        switch (detect()) {
        case 1: return pci16(0x14, 3, 0x64) == 0xE02C && (pci8(0x14, 3, 0x48) & 5) == 5;
        case 2: return pci16(0x1F, 0, 0x84) == 0xFF01;
        default: return false;
        }
    }
    void disable() {  // Disable_EC_IndexMode
        switch (detect()) {
        case 1:
            pciWrite(0x14, 3, 0x64, savedBase, 2);
            pciWrite(0x14, 3, 0x48, savedControl, 1);
            break;
        case 2: pciWrite(0x1F, 0, 0x84, savedBase, 2); break;
        }
    }
    bool ecWrite(uint16_t addr, uint8_t v) {
        return out(base + 1, addr >> 8) && out(base + 2, addr & 0xFF) && out(base + 3, v);
    }
    bool ecRead(uint16_t addr, uint8_t* v) {
        return out(base + 1, addr >> 8) && out(base + 2, addr & 0xFF) && in(base + 3, v);
    }
    bool waitFlag(uint8_t expected) {
        for (int i = 0; i < 1280; ++i) {
            uint8_t f;
            if (!ecRead(VN_EC_FLAG_REG, &f)) return false;
            if (f == expected) return true;
        }
        return false;
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
    void clear() {
        if (ecWrite(VN_EC_FLAG_REG, 0) && out(base + 1, 0xF4)) out(base + 2, 0x32);
    }
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
        EXPECT_EQ(4u, m.mapReturnedLength);
        EXPECT_EQ(VN_NO_PORT, m.failPort);
        EXPECT_EQ(VN_UNLIMITED, m.ecAnswerBudget);
        EXPECT_EQ(0u, m.failCode);
    }
    VnMachine m;
    std::vector<uint8_t> phys;
};

TEST_F(Notebook, PowerOnStateAndResetAfterUse) {
    expectPowerOn();
    EXPECT_EQ(0, std::memcmp(phys.data(), "_VN_", 4));
    EXPECT_EQ((uint8_t)(4 * 7 + 1), phys[4]);
    EXPECT_EQ((uint8_t)(0xFFFF * 7 + 1), phys[0xFFFF]);

    // Dirty everything, then vn_init again (the driver's reset) must bring back the power-on state.
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    ASSERT_TRUE(a.enable());
    a.ecWrite(VN_EC_CMD_REG, 1);
    m.requestCount = 7;
    vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_FIRST);
    vn_configure(&m, VN_CFG_FAIL_PORT, 0x80);
    vn_configure(&m, VN_CFG_MAP_RETURNED_LENGTH, 8);
    phys[0] = 0;
    vn_init(&m, phys.data(), (uint32_t)phys.size());
    expectPowerOn();
    EXPECT_EQ('_', phys[0]);
}

TEST_F(Notebook, PhysicalMemoryIsCappedAndMayBeSmall) {
    std::vector<uint8_t> big(VN_PHYS_SIZE + 16, 0xEE);
    vn_init(&m, big.data(), (uint32_t)big.size());
    EXPECT_EQ(VN_PHYS_SIZE, m.physSize);
    EXPECT_EQ(0xEE, big[VN_PHYS_SIZE]);

    std::vector<uint8_t> small(3, 0xEE);  // ASan catches a write past it
    vn_init(&m, small.data(), 3);
    EXPECT_EQ(1, small[0]);
    vn_init(&m, nullptr, 100);
    EXPECT_EQ(0u, m.physSize);
}

// ---- Full exchanges, as the library runs them, on both chipsets ----

class Exchange : public Notebook, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override {
        Notebook::SetUp();
        ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, GetParam()));
    }
    void expectIdleAndRestored() {
        VnSnapshot s = snap();
        EXPECT_EQ(0u, s.ecFlag);
        EXPECT_EQ(VN_EC_IDLE_ADDR, s.indexAddress);
        EXPECT_EQ(0u, s.exchangeActive);
        EXPECT_EQ(0u, s.decodeOpen);
        EXPECT_EQ(0u, s.decodeBase);
        EXPECT_EQ(GetParam() == VN_CHIPSET_FIRST ? 0xA2u : 0u, s.decodeControl);
    }
};

TEST_P(Exchange, StickyCommandsChangeStateAndAreLogged) {
    Host a(&m, kAgentA);
    const uint8_t bytes[] = {VN_EC_STICKY_ON, VN_EC_FN_DOWN, VN_EC_STICKY_OFF, VN_EC_FN_UP};
    const uint32_t sticky[] = {1, 1, 0, 0}, fn[] = {0, 1, 1, 0};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {bytes[i]})) << i;
        VnSnapshot s = snap();
        EXPECT_EQ(sticky[i], s.stickyMode) << i;
        EXPECT_EQ(fn[i], s.fnDown) << i;
        expectIdleAndRestored();
    }
    VnSnapshot s = snap();
    ASSERT_EQ(8u, s.ecLogCount);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(1, s.ecLog[2 * i].isCommand);
        EXPECT_EQ(VN_EC_CMD_STICKY, s.ecLog[2 * i].value);
        EXPECT_EQ(0, s.ecLog[2 * i + 1].isCommand);
        EXPECT_EQ(bytes[i], s.ecLog[2 * i + 1].value);
    }
    EXPECT_EQ(0u, s.violationNoReady + s.violationOverlap + s.violationInterleave);
    EXPECT_EQ(GetParam() == VN_CHIPSET_FIRST ? 16u : 8u, s.configWrites);
}

TEST_P(Exchange, QueryStateRepliesStickyThenFnThenZero) {
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    std::vector<uint8_t> got;
    ASSERT_TRUE(a.exchange(VN_EC_CMD_QUERY_STATE, {}, 3, &got));
    EXPECT_EQ((std::vector<uint8_t>{0, 1, 0}), got);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    got.clear();
    ASSERT_TRUE(a.exchange(VN_EC_CMD_QUERY_STATE, {}, 2, &got));
    EXPECT_EQ((std::vector<uint8_t>{1, 1}), got);
    expectIdleAndRestored();
}

TEST_P(Exchange, OtherCommandsAndDataBytesAreLoggedWithoutEffect) {
    Host a(&m, kAgentA);
    std::vector<uint8_t> got;
    // No reply: DATA still holds the last byte sent, an acknowledgement loads 0.
    ASSERT_TRUE(a.exchange(0x42, {VN_EC_STICKY_ON, VN_EC_FN_DOWN}, 2, &got));
    EXPECT_EQ((std::vector<uint8_t>{VN_EC_FN_DOWN, 0}), got);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {0x70}));
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_OFF, VN_EC_STICKY_ON}));  // only one data byte counts
    VnSnapshot s = snap();
    EXPECT_EQ(0u, s.stickyMode + s.fnDown);
    EXPECT_EQ(3u + 2u + 3u, s.ecLogCount);
}

TEST_P(Exchange, EcIsUnreachableWhileWindowClosed) {
    Host a(&m, kAgentA);
    a.base = GetParam() == VN_CHIPSET_FIRST ? 0xE02C : 0xFF2C;
    EXPECT_FALSE(a.idle());  // index ports read 0xFF
    EXPECT_EQ(0xFFu, readPort(a.base + 1, 1));
    a.ecWrite(VN_EC_FLAG_REG, 2);
    a.ecWrite(VN_EC_CMD_REG, VN_EC_CMD_STICKY);
    a.ecWrite(VN_EC_FLAG_REG, 1);
    VnSnapshot s = snap();
    EXPECT_EQ(0u, s.ecFlag);
    EXPECT_EQ(VN_EC_IDLE_ADDR, s.indexAddress);
    EXPECT_EQ(0u, s.ecLogCount);

    // Only byte accesses reach the EC, even with the window open.
    ASSERT_TRUE(a.enable());
    EXPECT_EQ(0xFFFFu, readPort(a.base + 1, 2));
    EXPECT_EQ(0xFFFFFFFFu, readPort(a.base, 4));
    EXPECT_EQ(1, vn_port_write(&m, kAgentA, a.base + 1, 2, 0x1111));
    EXPECT_EQ(VN_EC_IDLE_ADDR, snap().indexAddress);
    EXPECT_EQ(0xF4u, readPort(a.base + 1, 1));

    // The other chipset's window does not exist.
    uint32_t other = GetParam() == VN_CHIPSET_FIRST ? 0xFF2D : 0xE02D;
    EXPECT_EQ(0xFFu, readPort(other, 1));
}

TEST_P(Exchange, DecodeStuckKeepsWindowClosedButCountsWrites) {
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_DECODE_STUCK, 1));
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    EXPECT_FALSE(a.decodeOpen());
    EXPECT_FALSE(a.send(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    EXPECT_EQ(-2, a.failedAt);
    a.clear();
    a.disable();
    VnSnapshot s = snap();
    EXPECT_EQ(GetParam() == VN_CHIPSET_FIRST ? 4u : 2u, s.configWrites);
    EXPECT_EQ(0u, s.ecLogCount + s.stickyMode);
    expectIdleAndRestored();
}

INSTANTIATE_TEST_SUITE_P(BothChipsets, Exchange, ::testing::Values(VN_CHIPSET_FIRST, VN_CHIPSET_SECOND));

// ---- Bridges ----

TEST_F(Notebook, SecondChipsetDecodeRegisterReadsBits7To4AsZero) {
    Host a(&m, kAgentA);
    a.pciWrite(0x1F, 0, 0x84, 0xFF21, 2);
    EXPECT_EQ(0xFF01, a.pci16(0x1F, 0, 0x84));
    EXPECT_TRUE(snap().decodeOpen);
    a.pciWrite(0x1F, 0, 0x84, 0xFF00, 2);  // enable bit clear
    EXPECT_FALSE(snap().decodeOpen);
    a.pciWrite(0x1F, 0, 0x84, 0xFE01, 2);
    EXPECT_FALSE(snap().decodeOpen);
    a.pciWrite(0x1F, 0, 0x84, 0xFF01, 2);
    a.pciWrite(0x1F, 0, 0x86, 0xFFFF, 2);  // beyond the 16-bit register: read-only
    EXPECT_EQ(0u, a.pci16(0x1F, 0, 0x86));
    VnSnapshot s = snap();
    EXPECT_EQ(0xFF01u, s.decodeBase);
    EXPECT_EQ(5u, s.configWrites);
}

TEST_F(Notebook, FirstChipsetControlKeepsOtherBits) {
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_FIRST));
    Host a(&m, kAgentA);
    a.pciWrite(0x14, 3, 0x64, 0xE02C, 2);
    EXPECT_FALSE(a.decodeOpen());
    a.pciWrite(0x14, 3, 0x48, 0xA6, 1);  // bit 0 missing
    EXPECT_FALSE(snap().decodeOpen);
    a.pciWrite(0x14, 3, 0x64, 0, 2);
    a.pciWrite(0x14, 3, 0x48, 0xA2, 1);

    ASSERT_TRUE(a.enable());
    EXPECT_EQ(0xA2, a.savedControl);
    EXPECT_EQ(0xA7, a.pci8(0x14, 3, 0x48));
    EXPECT_TRUE(a.decodeOpen());
    a.disable();
    EXPECT_EQ(0xA2u, snap().decodeControl);
}

TEST_F(Notebook, ChipsetSelectsBridgeAndResetsIt) {
    Host a(&m, kAgentA);
    EXPECT_EQ(2, a.detect());
    EXPECT_EQ(0xFFFF, a.pci16(0x14, 3, 0));
    a.pciWrite(0x1F, 0, 0x84, 0xFF21, 2);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_FIRST));
    EXPECT_EQ(1, a.detect());
    EXPECT_EQ(0xFFFF, a.pci16(0x1F, 0, 0));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_SECOND));
    EXPECT_EQ(0, a.pci16(0x1F, 0, 0x84));

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CHIPSET, VN_CHIPSET_NONE));
    uint32_t before = snap().configWrites;
    EXPECT_FALSE(a.enable());
    EXPECT_EQ(before, snap().configWrites);
    a.pciWrite(0x1F, 0, 0x84, 0xFF21, 2);  // a write to the absent bridge still counts
    EXPECT_EQ(before + 1, snap().configWrites);
    EXPECT_EQ(0xFFFF, a.pci16(0x1F, 0, 0x84));
    EXPECT_EQ(0u, snap().decodeOpen);
}

// ---- Handshake timing and budget ----

TEST_F(Notebook, EcAnswersAfterConfiguredPolls) {
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_POLLS, 5));
    a.ecWrite(VN_EC_FLAG_REG, 2);
    a.ecWrite(VN_EC_CMD_REG, VN_EC_CMD_STICKY);
    a.ecWrite(VN_EC_FLAG_REG, 1);
    uint8_t f = 0;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(a.ecRead(VN_EC_FLAG_REG, &f));
        EXPECT_EQ(1, f) << i;
    }
    EXPECT_EQ(0u, snap().ecLogCount);
    ASSERT_TRUE(a.ecRead(VN_EC_FLAG_REG, &f));
    EXPECT_EQ(2, f);
    EXPECT_EQ(1u, snap().ecLogCount);
    a.clear();
    a.disable();

    // The library polls 1280 times: 1279 reads showing 1 still succeed, 1280 do not.
    vn_configure(&m, VN_CFG_EC_ANSWER_POLLS, 1279);
    EXPECT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    vn_configure(&m, VN_CFG_EC_ANSWER_POLLS, 1280);
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_OFF}));
    EXPECT_EQ(0, a.failedAt);
    VnSnapshot s = snap();
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(0u, s.ecFlag);
}

TEST_F(Notebook, AnswerBudgetSilencesEc) {
    Host a(&m, kAgentA);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_BUDGET, 0));
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    EXPECT_EQ(0, a.failedAt);
    EXPECT_EQ(0u, snap().ecLogCount);

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_BUDGET, 3));
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON, 0x61, 0x62}));
    EXPECT_EQ(3, a.failedAt);
    VnSnapshot s = snap();
    EXPECT_EQ(3u, s.ecLogCount);
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(0u, s.ecFlag);  // the host's clean-up still frees the flag

    // Silent stays silent, however long the host polls.
    ASSERT_TRUE(a.enable());
    a.ecWrite(VN_EC_FLAG_REG, 2);
    a.ecWrite(VN_EC_CMD_REG, 0x42);
    a.ecWrite(VN_EC_FLAG_REG, 1);
    EXPECT_FALSE(a.waitFlag(2));
    EXPECT_EQ(1u, snap().ecFlag);
    a.clear();
    a.disable();

    // Counted from the setting, receive acknowledgements included.
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_BUDGET, 2));
    std::vector<uint8_t> got;
    EXPECT_FALSE(a.exchange(VN_EC_CMD_QUERY_STATE, {}, 2, &got));
    EXPECT_EQ(std::vector<uint8_t>{1}, got);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_BUDGET, VN_UNLIMITED));
    EXPECT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_OFF}));
}

// ---- Protocol violations ----

TEST_F(Notebook, ByteWithoutReadyIsCountedButTaken) {
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    a.ecWrite(VN_EC_CMD_REG, VN_EC_CMD_STICKY);  // flag 0
    a.ecWrite(VN_EC_FLAG_REG, 1);
    ASSERT_TRUE(a.waitFlag(2));
    a.ecWrite(VN_EC_FLAG_REG, 1);
    a.ecWrite(VN_EC_DATA_REG, VN_EC_STICKY_ON);  // flag 1
    ASSERT_TRUE(a.waitFlag(2));
    VnSnapshot s = snap();
    EXPECT_EQ(2u, s.violationNoReady);
    EXPECT_EQ(2u, s.ecLogCount);
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(0u, s.violationOverlap + s.violationInterleave);
}

TEST_F(Notebook, CommandDuringExchangeIsOverlap) {
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    ASSERT_TRUE(a.setByte(VN_EC_CMD_REG, 0x42));
    EXPECT_TRUE(snap().exchangeActive);
    ASSERT_TRUE(a.setByte(VN_EC_CMD_REG, VN_EC_CMD_STICKY));
    EXPECT_EQ(1u, snap().violationOverlap);
    ASSERT_TRUE(a.setByte(VN_EC_DATA_REG, VN_EC_FN_DOWN));  // belongs to the newer command
    EXPECT_EQ(1u, snap().fnDown);
    a.ecWrite(VN_EC_FLAG_REG, 0);
    EXPECT_FALSE(snap().exchangeActive);
    ASSERT_TRUE(a.setByte(VN_EC_CMD_REG, 0x42));
    EXPECT_EQ(1u, snap().violationOverlap);
    EXPECT_EQ(0u, snap().violationNoReady);
}

TEST_F(Notebook, OtherAgentDuringExchangeIsInterleave) {
    Host a(&m, kAgentA), b(&m, kAgentB);
    ASSERT_TRUE(a.enable());
    b.base = a.base;
    ASSERT_TRUE(a.idle());
    ASSERT_TRUE(a.ecWrite(VN_EC_FLAG_REG, 2) && a.ecWrite(VN_EC_CMD_REG, VN_EC_CMD_STICKY));
    uint8_t v;
    ASSERT_TRUE(b.in(b.base + 1, &v));  // before the command is taken: no exchange yet
    EXPECT_EQ(0u, snap().violationInterleave);
    ASSERT_TRUE(a.ecWrite(VN_EC_FLAG_REG, 1) && a.waitFlag(2));
    ASSERT_TRUE(b.ecRead(VN_EC_FLAG_REG, &v));  // three port accesses
    EXPECT_EQ(3u, snap().violationInterleave);
    uint32_t wide = 0;
    EXPECT_EQ(1, vn_port_read(&m, kAgentB, b.base, 4, &wide));  // wide: not an EC access
    EXPECT_EQ(1, vn_port_read(&m, kAgentB, 0x80, 1, &wide));
    ASSERT_TRUE(a.setByte(VN_EC_DATA_REG, VN_EC_STICKY_ON));
    a.clear();
    EXPECT_EQ(3u, snap().violationInterleave);
    ASSERT_TRUE(b.idle());  // after the exchange: fine
    b.clear();
    a.disable();

    // Two agents taking turns cause no violation.
    ASSERT_TRUE(b.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_UP}));
    VnSnapshot s = snap();
    EXPECT_EQ(3u, s.violationInterleave);
    EXPECT_EQ(0u, s.violationNoReady + s.violationOverlap);
}

// ---- Injected faults ----

TEST_F(Notebook, StuckIndexAddressShowsWhateverIsWritten) {
    Host a(&m, kAgentA);
    EXPECT_EQ(0, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0x10000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0x1234));
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    EXPECT_EQ(-2, a.failedAt);
    ASSERT_TRUE(a.enable());
    uint8_t hi, lo;
    ASSERT_TRUE(a.out(a.base + 1, 0xF4) && a.out(a.base + 2, 0x32));
    ASSERT_TRUE(a.in(a.base + 1, &hi) && a.in(a.base + 2, &lo));
    EXPECT_EQ(0x12, hi);
    EXPECT_EQ(0x34, lo);
    EXPECT_EQ(0x1234u, snap().indexAddress);
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_INDEX_STUCK_ADDR, 0));
    EXPECT_EQ(VN_EC_IDLE_ADDR, snap().indexAddress);
    a.disable();
    EXPECT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
}

TEST_F(Notebook, FailPortFailsAccessesStartingThere) {
    EXPECT_EQ(0, vn_configure(&m, VN_CFG_FAIL_PORT, 0x10000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, 0x300));
    uint32_t v = 0x5A5A5A5A;
    EXPECT_EQ(0, vn_port_write(&m, kAgentA, 0x300, 4, 0x11223344));
    EXPECT_EQ(0, vn_port_read(&m, kAgentA, 0x300, 1, &v));
    EXPECT_EQ(0x5A5A5A5Au, v);
    EXPECT_EQ(1, vn_port_write(&m, kAgentA, 0x2FF, 2, 0x7700));  // starts elsewhere
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, VN_NO_PORT));
    EXPECT_EQ(0x77u, readPort(0x300, 1));
    EXPECT_EQ(0xFFu, readPort(0xFFFFFFFF, 1));

    // A failed data port write leaves the EC alone; the exchange fails at the idle check.
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_PORT, 0xFF2F));
    EXPECT_FALSE(a.ecWrite(VN_EC_FLAG_REG, 2));
    EXPECT_EQ(0u, snap().ecFlag);
    a.disable();
    EXPECT_FALSE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_STICKY_ON}));
    EXPECT_EQ(-2, a.failedAt);
    EXPECT_EQ(0u, snap().ecLogCount);
}

TEST_F(Notebook, RequestFaultCountsDown) {
    EXPECT_EQ(0, vn_take_request_fault(&m, 0));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE, 0x22A000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, 2));
    EXPECT_EQ(0, vn_take_request_fault(&m, 0x22A004));
    EXPECT_EQ(1, vn_take_request_fault(&m, 0x22A000));
    EXPECT_EQ(1, vn_take_request_fault(&m, 0x22A000));
    EXPECT_EQ(0, vn_take_request_fault(&m, 0x22A000));
    ASSERT_EQ(1, vn_configure(&m, VN_CFG_FAIL_CODE_COUNT, VN_UNLIMITED));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(1, vn_take_request_fault(&m, 0x22A000));
}

TEST_F(Notebook, ConfigureRejectsBadSettingsAndClearLogKeepsState) {
    EXPECT_EQ(0, vn_configure(&m, VN_CFG_CHIPSET, 3));
    EXPECT_EQ(0, vn_configure(&m, VN_CFG_DECODE_STUCK, 2));
    EXPECT_EQ(0, vn_configure(&m, 0, 0));
    EXPECT_EQ(0, vn_configure(&m, VN_CFG_CALLER_IS_ADMIN, 2));
    EXPECT_EQ(0, vn_configure(&m, 12, 0));
    EXPECT_EQ(VN_CHIPSET_SECOND, m.chipset);
    EXPECT_EQ(0u, m.decodeStuck);

    Host a(&m, kAgentA);
    for (int i = 0; i < 40; ++i)
        ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {(uint8_t)(i & 1 ? VN_EC_FN_DOWN : VN_EC_STICKY_ON)}));
    ASSERT_TRUE(a.enable());
    a.ecWrite(VN_EC_DATA_REG, 0x33);  // flag 0: violation, logged after a post
    a.ecWrite(VN_EC_FLAG_REG, 1);
    ASSERT_TRUE(a.waitFlag(2));
    a.clear();
    a.disable();
    m.requestCount = 9;

    // The ring keeps the last 64 of 81 bytes, oldest first.
    VnSnapshot s = snap();
    ASSERT_EQ(81u, s.ecLogCount);
    for (uint32_t i = 0; i < VN_EC_LOG_SIZE - 1; ++i) {
        uint32_t n = 17 + i;  // byte number in the whole log
        uint8_t expected = n % 2 == 0 ? VN_EC_CMD_STICKY : (n / 2) & 1 ? VN_EC_FN_DOWN : VN_EC_STICKY_ON;
        EXPECT_EQ(n % 2 == 0, s.ecLog[i].isCommand) << i;
        EXPECT_EQ(expected, s.ecLog[i].value) << i;
    }
    EXPECT_EQ(0x33, s.ecLog[VN_EC_LOG_SIZE - 1].value);

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_CLEAR_LOG, 12345));
    s = snap();
    EXPECT_EQ(0u, s.ecLogCount + s.violationNoReady + s.requestCount + s.configWrites);
    EXPECT_EQ(0, s.ecLog[0].value);
    EXPECT_EQ(1u, s.stickyMode);
    EXPECT_EQ(1u, s.fnDown);
}

// ---- Scratch and unclaimed ports ----

TEST_F(Notebook, ScratchPortsAreLittleEndianMemoryAtEveryWidth) {
    ASSERT_EQ(1, vn_port_write(&m, kAgentA, 0x310, 4, 0x11223344));
    EXPECT_EQ(0x44u, readPort(0x310, 1));
    EXPECT_EQ(0x11u, readPort(0x313, 1));
    EXPECT_EQ(0x2233u, readPort(0x311, 2));
    ASSERT_EQ(1, vn_port_write(&m, kAgentA, 0x312, 2, 0xFFFFBEEF));  // only the low two bytes
    EXPECT_EQ(0xBEEF3344u, readPort(0x310, 4));

    // The block's edges: outside bytes read 0xFF and writes to them are dropped.
    ASSERT_EQ(1, vn_port_write(&m, kAgentA, 0x3FE, 4, 0xAABBCCDD));
    EXPECT_EQ(0xFFFFCCDDu, readPort(0x3FE, 4));
    EXPECT_EQ(0xFFu, readPort(0x400, 1));
    ASSERT_EQ(1, vn_port_write(&m, kAgentA, 0x2FE, 4, 0x12345678));
    EXPECT_EQ(0x1234u, readPort(0x300, 2));
    EXPECT_EQ(0x1234FFFFu, readPort(0x2FE, 4));
    EXPECT_EQ(0xFFu, readPort(0x10300, 1));  // no aliasing above 0xFFFF

    EXPECT_EQ(0xFFu, readPort(0x80, 1));
    EXPECT_EQ(0xFFFFu, readPort(0x80, 2));
    EXPECT_EQ(0xFFFFFFFFu, readPort(0x80, 4));

    uint32_t v = 0x5A5A5A5A;
    for (uint32_t w : {0u, 3u, 8u}) {
        EXPECT_EQ(0, vn_port_read(&m, kAgentA, 0x310, w, &v)) << w;
        EXPECT_EQ(0, vn_port_write(&m, kAgentA, 0x310, w, 0)) << w;
    }
    EXPECT_EQ(0x5A5A5A5Au, v);
    EXPECT_EQ(0, vn_port_read(&m, kAgentA, 0x310, 1, nullptr));
}

// ---- PCI ranges and the test function ----

TEST_F(Notebook, PciRangesAndTestFunction) {
    uint8_t buf[256];
    EXPECT_EQ(0, vn_pci_read(&m, 256, 0, 0, 0, buf, 1));
    EXPECT_EQ(0, vn_pci_read(&m, 0, 32, 0, 0, buf, 1));
    EXPECT_EQ(0, vn_pci_read(&m, 0, 0, 8, 0, buf, 1));
    EXPECT_EQ(0, vn_pci_read(&m, 0, 0, 0, 255, buf, 2));
    EXPECT_EQ(0, vn_pci_read(&m, 0, 0, 0, 0xFFFFFFFF, buf, 2));  // would wrap
    EXPECT_EQ(0, vn_pci_read(&m, 0, 0, 0, 0, nullptr, 1));
    EXPECT_EQ(1, vn_pci_read(&m, 0, 0, 0, 256, nullptr, 0));
    EXPECT_EQ(1, vn_pci_read(&m, 255, 31, 7, 0, buf, 256));
    EXPECT_EQ(0xFF, buf[0]);
    EXPECT_EQ(0xFF, buf[255]);
    uint8_t ff[2] = {0xFF, 0xFF};
    EXPECT_EQ(0, vn_pci_write(&m, 0, 0x1F, 0, 255, ff, 2));
    EXPECT_EQ(1, vn_pci_write(&m, 0, 0x1F, 0, 0x84, ff, 0));
    EXPECT_EQ(0u, snap().configWrites);

    Host a(&m, kAgentA);
    const uint32_t dev = VN_TEST_PCI_DEVICE;
    EXPECT_EQ(VN_TEST_PCI_VENDOR, a.pci16(dev, 0, 0));
    EXPECT_EQ(VN_TEST_PCI_DEVICEID, a.pci16(dev, 0, 2));
    EXPECT_EQ(0xFFFF, a.pci16(dev, 1, 0));
    a.pciWrite(dev, 0, 0, 0xBEEF, 2);
    EXPECT_EQ(VN_TEST_PCI_VENDOR, a.pci16(dev, 0, 0));
    const uint8_t four[4] = {1, 2, 3, 4};
    ASSERT_EQ(1, vn_pci_write(&m, 0, dev, 0, 0x3E, four, 4));
    EXPECT_EQ(0x0000, a.pci16(dev, 0, 0x3E));
    EXPECT_EQ(0x0403, a.pci16(dev, 0, 0x40));
    ASSERT_EQ(1, vn_pci_write(&m, 0, dev, 0, 0xFE, four, 2));
    EXPECT_EQ(0x0201, a.pci16(dev, 0, 0xFE));
    EXPECT_EQ(0u, snap().configWrites);
}

// ---- Physical mappings ----

TEST_F(Notebook, MapRangesAndTable) {
    uint32_t len = 0;
    EXPECT_EQ(1, vn_map_check(&m, VN_PHYS_BASE, &len));
    EXPECT_EQ(0x1000u, len);
    len = 0x1000;
    EXPECT_EQ(1, vn_map_check(&m, VN_PHYS_BASE + VN_PHYS_SIZE - 0x1000, &len));
    len = 0x1001;
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE + VN_PHYS_SIZE - 0x1000, &len));
    len = 1;
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE - 1, &len));
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE + VN_PHYS_SIZE, &len));
    len = 0xFFFFFFFF;
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE + 16, &len));
    len = 0x20;
    EXPECT_EQ(0, vn_map_check(&m, 0xFFFFFFF0, &len));
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE, nullptr));
    std::vector<uint8_t> small(0x2000);
    vn_init(&m, small.data(), (uint32_t)small.size());
    len = 0;
    EXPECT_EQ(0, vn_map_check(&m, VN_PHYS_BASE + 0x1001, &len));

}

}  // namespace

// ---- The mailbox the driver carries, on the same firmware ----

TEST_F(Notebook, MailboxSharesTheFirmwareStateWithTheIndexWindow) {
    const uint8_t on[] = {VN_EC_STICKY_ON};
    ASSERT_EQ(1, vn_ec_mailbox(&m, kAgentA, VN_EC_CMD_STICKY, on, 1, nullptr, 0));
    EXPECT_EQ(1u, snap().stickyMode);

    Host a(&m, kAgentA);
    ASSERT_TRUE(a.exchange(VN_EC_CMD_STICKY, {VN_EC_FN_DOWN}));
    uint8_t reply[3] = {0xEE, 0xEE, 0xEE};
    ASSERT_EQ(1, vn_ec_mailbox(&m, kAgentB, VN_EC_CMD_QUERY_STATE, nullptr, 0, reply, 3));
    EXPECT_EQ(1, reply[0]);
    EXPECT_EQ(1, reply[1]);
    EXPECT_EQ(0, reply[2]) << "past the reply: 0";

    VnSnapshot s = snap();
    EXPECT_EQ(5u, s.ecLogCount);  // C59 D60, C59 D62, C58
    EXPECT_EQ(0u, s.exchangeActive);
    EXPECT_EQ(0u, s.violationOverlap + s.violationInterleave + s.violationNoReady);
}

TEST_F(Notebook, MailboxRefusesWhileAnIndexExchangeRunsAndWhenTheEcIsSilent) {
    Host a(&m, kAgentA);
    ASSERT_TRUE(a.enable());
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_READY);
    a.ecWrite(VN_EC_CMD_REG, VN_EC_CMD_STICKY);
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_POSTED);
    uint8_t flag = 0;
    ASSERT_TRUE(a.ecRead(VN_EC_FLAG_REG, &flag));
    ASSERT_EQ(VN_EC_FLAG_READY, flag);
    const uint8_t down[] = {VN_EC_FN_DOWN};
    EXPECT_EQ(0, vn_ec_mailbox(&m, kAgentB, VN_EC_CMD_STICKY, down, 1, nullptr, 0));
    EXPECT_EQ(1u, snap().ecLogCount) << "nothing taken from the refused mailbox";
    a.ecWrite(VN_EC_FLAG_REG, VN_EC_FLAG_FREE);

    ASSERT_EQ(1, vn_configure(&m, VN_CFG_EC_ANSWER_BUDGET, 1));
    EXPECT_EQ(0, vn_ec_mailbox(&m, kAgentB, VN_EC_CMD_STICKY, down, 1, nullptr, 0));
    EXPECT_EQ(0u, snap().fnDown) << "the data byte was never answered";
    EXPECT_EQ(0u, snap().exchangeActive);
}
