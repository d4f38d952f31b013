/*
 * The virtual notebook's emulator core. Freestanding: no library calls at all
 * (the simulation driver links without a C runtime), so no struct copies and
 * no loops that the compiler could turn into memset/memcpy calls.
 */
#include "vn_core.h"
#include "ec_hardware.h"

#include <stddef.h>

#if defined(__GNUC__) && !defined(__clang__)
/* Keep gcc from replacing the byte loops below with memset/memcpy calls. */
#pragma GCC optimize("no-tree-loop-distribute-patterns")
#endif

namespace {

/* LPC bridges */
const uint32_t kFirstDevice = FIRST_CHIPSET_DEVICE, kFirstFunction = FIRST_CHIPSET_FUNCTION;
const uint32_t kSecondDevice = SECOND_CHIPSET_DEVICE, kSecondFunction = SECOND_CHIPSET_FUNCTION;
const uint32_t kFirstDecodeBase = FIRST_CHIPSET_DECODE_BASE;    /* 16 bit */
const uint32_t kFirstDecodeControl = FIRST_CHIPSET_DECODE_CTL;  /* 8 bit */
const uint32_t kSecondDecode = SECOND_CHIPSET_DECODE_BASE;      /* 16 bit, bits 7..4 read 0 */
const uint8_t kFirstControlPowerOn = 0xA2;
const uint32_t kFirstEcBase = FIRST_CHIPSET_INDEX_BASE;
const uint32_t kSecondEcBase = SECOND_CHIPSET_INDEX_BASE;
const uint32_t kSecondOpenValue = SECOND_CHIPSET_OPEN_VALUE;
const uint32_t kPageSize = 0x1000;

enum PciKind { PCI_ABSENT, PCI_FIRST_BRIDGE, PCI_SECOND_BRIDGE, PCI_TEST };
enum EcPort { EC_NONE, EC_INDEX_HIGH, EC_INDEX_LOW, EC_DATA };

void zeroBytes(uint8_t* p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) p[i] = 0;
}

uint32_t get16(const uint8_t* regs, uint32_t offset) {
    return (uint32_t)regs[offset] | ((uint32_t)regs[offset + 1] << 8);
}

void put16(uint8_t* regs, uint32_t offset, uint32_t value) {
    regs[offset] = (uint8_t)value;
    regs[offset + 1] = (uint8_t)(value >> 8);
}

/* Vendor, device, class code 0x060100 (ISA bridge), multi-function header. */
void bridgeHeader(uint8_t* regs, uint32_t vendor, uint32_t device) {
    zeroBytes(regs, 256);
    put16(regs, 0x00, vendor);
    put16(regs, 0x02, device);
    put16(regs, 0x04, 0x000F); /* command: I/O, memory, bus master, special cycles */
    regs[0x0A] = 0x01;
    regs[0x0B] = 0x06;
    regs[0x0E] = 0x80;
}

void resetBridges(VnMachine* m) {
    bridgeHeader(m->firstBridge, FIRST_CHIPSET_VENDOR, 0x439D);
    m->firstBridge[kFirstDecodeControl] = kFirstControlPowerOn;
    bridgeHeader(m->secondBridge, SECOND_CHIPSET_VENDOR, 0x2919);
}

int windowOpen(const VnMachine* m) {
    if (m->chipset == VN_CHIPSET_FIRST)
        return get16(m->firstBridge, kFirstDecodeBase) == kFirstEcBase &&
               (m->firstBridge[kFirstDecodeControl] & 0x05) == 0x05;
    if (m->chipset == VN_CHIPSET_SECOND)
        return get16(m->secondBridge, kSecondDecode) == kSecondOpenValue;
    return 0;
}

/* Which EC port a byte access reaches, if any. */
EcPort ecPortOf(const VnMachine* m, uint32_t port, uint32_t width) {
    if (width != 1 || !windowOpen(m)) return EC_NONE;
    uint32_t base = m->chipset == VN_CHIPSET_FIRST ? kFirstEcBase : kSecondEcBase;
    if (port == base + 1) return EC_INDEX_HIGH;
    if (port == base + 2) return EC_INDEX_LOW;
    if (port == base + 3) return EC_DATA;
    return EC_NONE;
}

uint32_t indexAddress(const VnMachine* m) {
    if (m->indexStuckAddr != 0) return m->indexStuckAddr;
    return ((uint32_t)m->indexHigh << 8) | m->indexLow;
}

void logByte(VnMachine* m, uint8_t isCommand, uint8_t value) {
    VnEcLogEntry* e = &m->ecLog[m->ecLogCount % VN_EC_LOG_SIZE];
    e->isCommand = isCommand;
    e->value = value;
    e->reserved[0] = 0;
    e->reserved[1] = 0;
    ++m->ecLogCount;
}

void applyStickyData(VnMachine* m, uint8_t value) {
    switch (value) {
    case VN_EC_STICKY_ON: m->stickyMode = 1; break;
    case VN_EC_STICKY_OFF: m->stickyMode = 0; break;
    case VN_EC_FN_DOWN: m->fnDown = 1; break;
    case VN_EC_FN_UP: m->fnDown = 0; break;
    default: break;
    }
}

/* The firmware takes the byte the host posted. */
void takeByte(VnMachine* m) {
    if (m->pendingIsCommand) {
        uint8_t command = m->ecCmd;
        logByte(m, 1, command);
        if (m->exchangeActive) ++m->violationOverlap;
        m->exchangeActive = 1;
        m->exchangeAgent = m->pendingAgent;
        m->currentCommand = command;
        m->awaitingData = 0;
        m->replyCount = 0;
        m->replyNext = 0;
        if (command == VN_EC_CMD_STICKY) {
            m->awaitingData = 1;
        } else if (command == VN_EC_CMD_QUERY_STATE) {
            m->replyBytes[0] = m->stickyMode;
            m->replyBytes[1] = m->fnDown;
            m->replyCount = 2;
            m->ecData = m->replyBytes[0];
            m->replyNext = 1;
        }
    } else {
        uint8_t value = m->ecData;
        logByte(m, 0, value);
        if (m->exchangeActive && m->currentCommand == VN_EC_CMD_STICKY && m->awaitingData > 0) {
            m->awaitingData = 0;
            applyStickyData(m, value);
        }
    }
    m->pendingByte = 0;
}

/* A flag read while the flag shows POSTED: maybe answer now. */
void pollPosted(VnMachine* m) {
    if (m->ecAnswerBudget != VN_UNLIMITED && m->answersGiven >= m->ecAnswerBudget) return;
    if (m->pollsUntilAnswer > 0) {
        --m->pollsUntilAnswer;
        return;
    }
    ++m->answersGiven;
    if (m->pendingByte) {
        takeByte(m);
    } else {
        /* receive acknowledgement */
        m->ecData = m->replyNext < m->replyCount ? m->replyBytes[m->replyNext++] : 0;
    }
    m->ecFlag = VN_EC_FLAG_READY;
}

uint8_t ecRead(VnMachine* m, uint32_t address) {
    switch (address) {
    case VN_EC_FLAG_REG:
        if (m->ecFlag == VN_EC_FLAG_POSTED) pollPosted(m);
        return m->ecFlag;
    case VN_EC_CMD_REG: return m->ecCmd;
    case VN_EC_DATA_REG: return m->ecData;
    default: return 0;
    }
}

void ecWrite(VnMachine* m, uint32_t agent, uint32_t address, uint8_t value) {
    switch (address) {
    case VN_EC_FLAG_REG:
        m->ecFlag = value;
        if (value == VN_EC_FLAG_FREE) {
            m->exchangeActive = 0;
            m->awaitingData = 0;
            m->replyCount = 0;
            m->replyNext = 0;
            m->pendingByte = 0;
        } else if (value == VN_EC_FLAG_READY) {
            m->pendingByte = 0;
        } else if (value == VN_EC_FLAG_POSTED) {
            m->pollsUntilAnswer = m->ecAnswerPolls;
        }
        break;
    case VN_EC_CMD_REG:
    case VN_EC_DATA_REG:
        if (m->ecFlag != VN_EC_FLAG_READY) ++m->violationNoReady;
        if (address == VN_EC_CMD_REG)
            m->ecCmd = value;
        else
            m->ecData = value;
        m->pendingByte = 1;
        m->pendingIsCommand = address == VN_EC_CMD_REG;
        m->pendingAgent = agent;
        break;
    default:
        break;
    }
}

uint8_t ecPortAccess(VnMachine* m, uint32_t agent, EcPort which, int isWrite, uint8_t value) {
    if (m->exchangeActive && agent != m->exchangeAgent) ++m->violationInterleave;
    switch (which) {
    case EC_INDEX_HIGH:
        if (isWrite) m->indexHigh = value;
        return (uint8_t)(indexAddress(m) >> 8);
    case EC_INDEX_LOW:
        if (isWrite) m->indexLow = value;
        return (uint8_t)indexAddress(m);
    default:
        if (isWrite) {
            ecWrite(m, agent, indexAddress(m), value);
            return value;
        }
        return ecRead(m, indexAddress(m));
    }
}

int portAccess(VnMachine* m, uint32_t agent, uint32_t port, uint32_t width, uint32_t* value, int isWrite) {
    if (width != 1 && width != 2 && width != 4) return 0;
    if (value == NULL) return 0;
    if (m->failPort != VN_NO_PORT && port == m->failPort) return 0;

    EcPort which = ecPortOf(m, port, width);
    if (which != EC_NONE) {
        uint8_t result = ecPortAccess(m, agent, which, isWrite, (uint8_t)*value);
        if (!isWrite) *value = result;
        return 1;
    }

    uint32_t result = 0;
    for (uint32_t i = 0; i < width; ++i) {
        uint32_t p = port + i; /* a wrap past 0xFFFFFFFF lands on ports 0..2: unclaimed */
        int scratch = p >= VN_SCRATCH_PORT_FIRST && p < VN_SCRATCH_PORT_FIRST + VN_SCRATCH_PORT_COUNT;
        if (isWrite) {
            if (scratch) m->scratchPorts[p - VN_SCRATCH_PORT_FIRST] = (uint8_t)(*value >> (8 * i));
        } else {
            uint32_t byte = scratch ? m->scratchPorts[p - VN_SCRATCH_PORT_FIRST] : 0xFFu;
            result |= byte << (8 * i);
        }
    }
    if (!isWrite) *value = result;
    return 1;
}

PciKind pciKind(const VnMachine* m, uint32_t bus, uint32_t device, uint32_t function) {
    if (bus != 0) return PCI_ABSENT;
    if (device == kFirstDevice && function == kFirstFunction && m->chipset == VN_CHIPSET_FIRST)
        return PCI_FIRST_BRIDGE;
    if (device == kSecondDevice && function == kSecondFunction && m->chipset == VN_CHIPSET_SECOND)
        return PCI_SECOND_BRIDGE;
    if (device == VN_TEST_PCI_DEVICE && function == 0) return PCI_TEST;
    return PCI_ABSENT;
}

int pciRangeValid(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset, uint32_t length,
                  const void* data) {
    if (bus >= 256 || device >= 32 || function >= 8) return 0;
    if (offset > 256 || length > 256 - offset) return 0;
    if (length > 0 && data == NULL) return 0;
    return 1;
}

int isBridgeLocation(uint32_t bus, uint32_t device, uint32_t function) {
    return bus == 0 && ((device == kFirstDevice && function == kFirstFunction) ||
                        (device == kSecondDevice && function == kSecondFunction));
}

void resetEc(VnMachine* m) {
    m->indexHigh = (uint8_t)(VN_EC_IDLE_ADDR >> 8);
    m->indexLow = (uint8_t)VN_EC_IDLE_ADDR;
    m->ecFlag = VN_EC_FLAG_FREE;
}

void clearLog(VnMachine* m) {
    m->ecLogCount = 0;
    for (uint32_t i = 0; i < VN_EC_LOG_SIZE; ++i) {
        VnEcLogEntry* e = &m->ecLog[i];
        e->isCommand = 0;
        e->value = 0;
        e->reserved[0] = 0;
        e->reserved[1] = 0;
    }
    m->violationNoReady = 0;
    m->violationOverlap = 0;
    m->violationInterleave = 0;
    m->requestCount = 0;
    m->configWrites = 0;
}

} // namespace

extern "C" {

void vn_init(VnMachine* m, uint8_t* physMemory, uint32_t physSize) {
    zeroBytes((uint8_t*)m, (uint32_t)sizeof(*m));
    m->chipset = VN_CHIPSET_SECOND;
    m->ecAnswerPolls = 0;
    m->ecAnswerBudget = VN_UNLIMITED;
    m->indexStuckAddr = 0;
    m->decodeStuck = 0;
    m->failPort = VN_NO_PORT;
    m->mapReturnedLength = 4;
    m->failCode = 0;
    m->failCodeCount = VN_UNLIMITED;
    m->callerIsAdmin = 1;
    resetBridges(m);

    zeroBytes(m->testFunction, 256);
    put16(m->testFunction, 0x00, VN_TEST_PCI_VENDOR);
    put16(m->testFunction, 0x02, VN_TEST_PCI_DEVICEID);
    m->testFunction[0x0B] = 0xFF; /* class: fits no defined class */

    resetEc(m);

    if (physMemory == NULL) physSize = 0;
    if (physSize > VN_PHYS_SIZE) physSize = VN_PHYS_SIZE;
    m->phys = physMemory;
    m->physSize = physSize;
    for (uint32_t i = 0; i < physSize; ++i) physMemory[i] = (uint8_t)(i * 7 + 1);
    if (physSize >= 4) {
        physMemory[0] = '_';
        physMemory[1] = 'V';
        physMemory[2] = 'N';
        physMemory[3] = '_';
    }
}

int vn_configure(VnMachine* m, uint32_t key, uint32_t value) {
    switch (key) {
    case VN_CFG_CHIPSET:
        if (value > VN_CHIPSET_SECOND) return 0;
        m->chipset = value;
        resetBridges(m);
        return 1;
    case VN_CFG_EC_ANSWER_POLLS:
        m->ecAnswerPolls = value;
        return 1;
    case VN_CFG_EC_ANSWER_BUDGET:
        m->ecAnswerBudget = value;
        m->answersGiven = 0;
        return 1;
    case VN_CFG_INDEX_STUCK_ADDR:
        if (value > 0xFFFF) return 0;
        m->indexStuckAddr = value;
        return 1;
    case VN_CFG_DECODE_STUCK:
        if (value > 1) return 0;
        m->decodeStuck = value;
        return 1;
    case VN_CFG_FAIL_PORT:
        if (value > 0xFFFF && value != VN_NO_PORT) return 0;
        m->failPort = value;
        return 1;
    case VN_CFG_MAP_RETURNED_LENGTH:
        m->mapReturnedLength = value;
        return 1;
    case VN_CFG_FAIL_CODE:
        m->failCode = value;
        return 1;
    case VN_CFG_FAIL_CODE_COUNT:
        m->failCodeCount = value;
        return 1;
    case VN_CFG_CLEAR_LOG:
        clearLog(m);
        return 1;
    case VN_CFG_CALLER_IS_ADMIN:
        if (value > 1) return 0;
        m->callerIsAdmin = value;
        return 1;
    default:
        return 0;
    }
}

void vn_snapshot(const VnMachine* m, VnSnapshot* out) {
    out->chipset = m->chipset;
    out->stickyMode = m->stickyMode;
    out->fnDown = m->fnDown;
    out->ecFlag = m->ecFlag;
    out->indexAddress = indexAddress(m);
    out->decodeOpen = (uint32_t)windowOpen(m);
    if (m->chipset == VN_CHIPSET_FIRST) {
        out->decodeBase = get16(m->firstBridge, kFirstDecodeBase);
        out->decodeControl = m->firstBridge[kFirstDecodeControl];
    } else if (m->chipset == VN_CHIPSET_SECOND) {
        out->decodeBase = get16(m->secondBridge, kSecondDecode);
        out->decodeControl = 0;
    } else {
        out->decodeBase = 0;
        out->decodeControl = 0;
    }
    out->exchangeActive = m->exchangeActive;
    out->violationNoReady = m->violationNoReady;
    out->violationOverlap = m->violationOverlap;
    out->violationInterleave = m->violationInterleave;
    out->ecLogCount = m->ecLogCount;
    uint32_t kept = m->ecLogCount < VN_EC_LOG_SIZE ? m->ecLogCount : VN_EC_LOG_SIZE;
    uint32_t first = m->ecLogCount - kept; /* oldest kept entry, as a total count */
    for (uint32_t i = 0; i < VN_EC_LOG_SIZE; ++i) {
        VnEcLogEntry* e = &out->ecLog[i];
        if (i < kept) {
            const VnEcLogEntry* src = &m->ecLog[(first + i) % VN_EC_LOG_SIZE];
            e->isCommand = src->isCommand;
            e->value = src->value;
        } else {
            e->isCommand = 0;
            e->value = 0;
        }
        e->reserved[0] = 0;
        e->reserved[1] = 0;
    }
    out->requestCount = m->requestCount;
    out->configWrites = m->configWrites;
    out->mappings = 0;
}

int vn_port_read(VnMachine* m, uint32_t agent, uint32_t port, uint32_t width, uint32_t* value) {
    return portAccess(m, agent, port, width, value, 0);
}

int vn_port_write(VnMachine* m, uint32_t agent, uint32_t port, uint32_t width, uint32_t value) {
    return portAccess(m, agent, port, width, &value, 1);
}

int vn_pci_read(VnMachine* m, uint32_t bus, uint32_t device, uint32_t function,
                uint32_t offset, uint8_t* data, uint32_t length) {
    if (!pciRangeValid(bus, device, function, offset, length, data)) return 0;
    const uint8_t* regs = NULL;
    switch (pciKind(m, bus, device, function)) {
    case PCI_FIRST_BRIDGE: regs = m->firstBridge; break;
    case PCI_SECOND_BRIDGE: regs = m->secondBridge; break;
    case PCI_TEST: regs = m->testFunction; break;
    default: break;
    }
    for (uint32_t i = 0; i < length; ++i) data[i] = regs ? regs[offset + i] : (uint8_t)0xFF;
    return 1;
}

int vn_pci_write(VnMachine* m, uint32_t bus, uint32_t device, uint32_t function,
                 uint32_t offset, const uint8_t* data, uint32_t length) {
    if (!pciRangeValid(bus, device, function, offset, length, data)) return 0;
    if (length == 0) return 1;
    if (isBridgeLocation(bus, device, function)) ++m->configWrites;
    PciKind kind = pciKind(m, bus, device, function);
    for (uint32_t i = 0; i < length; ++i) {
        uint32_t reg = offset + i;
        uint8_t v = data[i];
        switch (kind) {
        case PCI_FIRST_BRIDGE:
            if (!m->decodeStuck && (reg == kFirstDecodeControl || reg == kFirstDecodeBase ||
                                    reg == kFirstDecodeBase + 1))
                m->firstBridge[reg] = v;
            break;
        case PCI_SECOND_BRIDGE:
            if (!m->decodeStuck && reg == kSecondDecode) m->secondBridge[reg] = (uint8_t)(v & 0x0F);
            if (!m->decodeStuck && reg == kSecondDecode + 1) m->secondBridge[reg] = v;
            break;
        case PCI_TEST:
            if (reg >= 0x40) m->testFunction[reg] = v;
            break;
        default:
            break;
        }
    }
    return 1;
}

int vn_map_check(const VnMachine* m, uint32_t phys, uint32_t* length) {
    if (length == NULL) return 0;
    if (*length == 0) *length = kPageSize;
    if (phys < VN_PHYS_BASE) return 0;
    uint32_t start = phys - VN_PHYS_BASE;
    if (start > m->physSize) return 0;
    return *length <= m->physSize - start;
}

int vn_take_request_fault(VnMachine* m, uint32_t code) {
    if (m->failCode == 0 || code != m->failCode || m->failCodeCount == 0) return 0;
    if (m->failCodeCount != VN_UNLIMITED) --m->failCodeCount;
    return 1;
}

} // extern "C"
