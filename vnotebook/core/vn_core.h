/*
 * The virtual notebook's emulator core: I/O port space, PCI configuration
 * space with the LPC bridge of either supported chipset (or none), the
 * embedded controller behind its index window, and a small physical memory.
 *
 * Freestanding: no allocation, no exceptions, no standard library. The host
 * (the simulation driver, or a unit test) owns one VnMachine and calls in.
 * Every access carries an "agent" id (the calling process's id in the
 * driver) so the EC can tell interleaved exchanges apart.
 *
 * Usable from C and C++.
 *
 * Behaviour the core defines (where real hardware leaves a choice):
 *
 * Ports (16-bit I/O space; a port number above 0xFFFF is unclaimed):
 * - An access covers the bytes port .. port + width - 1, little-endian.
 * - VN_SCRATCH block 0x300..0x3FF is plain memory (power-on 0). Bytes of an
 *   access that fall outside the block behave as unclaimed.
 * - Unclaimed bytes read 0xFF; writes to them are dropped (LPC bus).
 * - EC ports (EC base + 1 = index high, + 2 = index low, + 3 = data, EC base
 *   0xE02C on the first chipset, 0xFF2C on the second) reach the EC only with
 *   width 1 and while the bridge's decode window is open; otherwise (wider
 *   access, window closed, no chipset) they are unclaimed.
 * - The index ports are latches that read back what was written (power-on
 *   0xF4 / 0x32). With VN_CFG_INDEX_STUCK_ADDR set, they read that address
 *   whatever is written, and the data port uses that address too.
 * - The data port reads/writes the EC register at the latched address: flag,
 *   command and data register; every other EC address reads 0, writes ignored.
 *
 * PCI functions present: the selected chipset's LPC bridge (none with
 * VN_CHIPSET_NONE) and the test function. Bridge registers (power-on value):
 * - first chipset, 0/0x14/3, vendor 0x1002 device 0x439D: decode base 0x64
 *   (16 bit, 0x0000), decode control 0x48 (8 bit, 0xA2); window open when the
 *   base is 0xE02C and (control & 0x05) == 0x05.
 * - second chipset, 0/0x1F/0, vendor 0x8086 device 0x2919: decode register
 *   0x84 (16 bit, 0x0000), bits 7..4 always read 0 (0xFF21 reads 0xFF01);
 *   window open when it reads 0xFF01.
 * - Everything else in a bridge, and 0x00..0x3F of the test function, is
 *   read-only. VN_CFG_DECODE_STUCK ignores writes to the decode registers.
 *
 * EC handshake, as the host runs it: the host writes flag READY (2), a byte to
 * CMD or DATA, then flag POSTED (1), and polls the flag. The EC answers a
 * post on a flag read: the first VN_CFG_EC_ANSWER_POLLS reads after the post
 * still show 1, the next one finds the post answered and shows 2, unless the
 * answer budget is used up (then the flag stays 1 until the host writes it).
 * Answering a post with a byte written since the last READY takes that byte
 * (the firmware below); answering a post without one is a receive
 * acknowledgement: DATA is loaded with the next reply byte (0 when there is
 * none). The host writing flag READY forgets an unanswered byte; writing
 * FREE (0) ends the exchange. A CMD/DATA write while the flag is not READY
 * counts a violation but is still latched and taken when posted.
 *
 * Firmware: each byte taken goes into the log. A command byte starts an
 * exchange (owned by the agent that wrote it) that lasts until flag 0.
 * 0x59 takes one data byte (0x60..0x63 change the state; other values and
 * further data bytes are logged only). 0x58 takes no data and replies with
 * (stickyMode, fnDown): the first in DATA as soon as the command is taken,
 * the next on each receive acknowledgement, then 0. Any other command is
 * logged only: its data bytes are logged with no effect and it has no reply.
 * Data bytes outside an exchange are logged with no effect.
 */
#ifndef VN_CORE_H
#define VN_CORE_H

#include <stdint.h>

#include "ec_hardware.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Which LPC bridge the machine has. */
enum VnChipset {
    VN_CHIPSET_NONE = 0,
    VN_CHIPSET_FIRST = 1,  /* vendor 0x1002 at bus 0, device 0x14, function 3; EC base 0xE02C */
    VN_CHIPSET_SECOND = 2  /* vendor 0x8086 at bus 0, device 0x1F, function 0; EC base 0xFF2C */
};

/* Settings that vn_configure() accepts (key, value). */
enum VnConfigKey {
    VN_CFG_CHIPSET = 1,            /* VnChipset (0..2); also resets both bridges to their power-on registers */
    VN_CFG_EC_ANSWER_POLLS = 2,    /* flag reads before the EC answers a posted byte; 0 = at once */
    VN_CFG_EC_ANSWER_BUDGET = 3,   /* handshakes (bytes taken and receive acknowledgements) the EC answers,
                                      counted from this setting, before falling silent; VN_UNLIMITED = all */
    VN_CFG_INDEX_STUCK_ADDR = 4,   /* 0..0xFFFF: index ports read this address whatever is written; 0 = normal */
    VN_CFG_DECODE_STUCK = 5,       /* 0 or 1; 1: the bridge ignores writes to its decode registers */
    VN_CFG_FAIL_PORT = 6,          /* 0..0xFFFF or VN_NO_PORT (none): an access (any width) whose first
                                      port is this one fails (result 0) and changes nothing */
    VN_CFG_MAP_RETURNED_LENGTH = 7,/* byte count the driver reports for a map; 4 = correct; a count larger
                                      than the output buffer makes the map fail */
    VN_CFG_FAIL_CODE = 8,          /* control code the driver rejects; 0 = none */
    VN_CFG_FAIL_CODE_COUNT = 9,    /* how many requests of that code fail; VN_UNLIMITED = all */
    VN_CFG_CLEAR_LOG = 10,         /* value ignored: clears the EC byte log, violations, requestCount, configWrites */
    VN_CFG_CALLER_IS_ADMIN = 11    /* 0 or 1 (power-on 1): what the driver's access policy takes the caller for */
};

#define VN_UNLIMITED 0xFFFFFFFFu
#define VN_NO_PORT   0xFFFFFFFFu

/* EC addresses, handshake values and firmware commands, as the host sees them. */
#define VN_EC_FLAG_REG     EC_FLAG_REG
#define VN_EC_CMD_REG      EC_CMD_REG
#define VN_EC_DATA_REG     EC_DATA_REG
#define VN_EC_IDLE_ADDR    EC_DEFAULT_ADDR
#define VN_EC_FLAG_FREE    FLAG_FREE
#define VN_EC_FLAG_POSTED  FLAG_POSTED
#define VN_EC_FLAG_READY   FLAG_READY
#define VN_EC_CMD_STICKY   STICKY_CMD          /* one data byte: 0x60..0x63 */
#define VN_EC_STICKY_ON    STICKY_DATA_ON
#define VN_EC_STICKY_OFF   STICKY_DATA_OFF
#define VN_EC_FN_DOWN      STICKY_DATA_FN_DOWN
#define VN_EC_FN_UP        STICKY_DATA_FN_UP
#define VN_EC_CMD_QUERY_STATE 0x58u /* no data; answers two bytes: sticky mode, Fn down */

/* Scratch port block that behaves like memory at every width. */
#define VN_SCRATCH_PORT_FIRST 0x0300u
#define VN_SCRATCH_PORT_COUNT 0x100u

/* PCI test function with scratch registers 0x40..0xFF. */
#define VN_TEST_PCI_DEVICE   2u
#define VN_TEST_PCI_VENDOR   0x1234u
#define VN_TEST_PCI_DEVICEID 0x5678u

/* Physical memory window. */
#define VN_PHYS_BASE 0x000F0000u
#define VN_PHYS_SIZE 0x00010000u

#define VN_EC_LOG_SIZE 64u

/* One byte the EC firmware accepted from the host. */
typedef struct VnEcLogEntry {
    uint8_t isCommand; /* 1: command register, 0: data register */
    uint8_t value;
    uint8_t reserved[2];
} VnEcLogEntry;

/* What tests and the control tool can read back. Layout is shared with the driver's private codes. */
typedef struct VnSnapshot {
    uint32_t chipset;
    uint32_t stickyMode;        /* 0/1 */
    uint32_t fnDown;            /* 0/1 */
    uint32_t ecFlag;            /* EC_FLAG_REG as the EC holds it */
    uint32_t indexAddress;      /* address latched in the index ports (high << 8 | low) */
    uint32_t decodeOpen;        /* 1 while the bridge forwards the EC window */
    uint32_t decodeBase;        /* bridge's decode base register as stored */
    uint32_t decodeControl;     /* first chipset's control register (0 on the second) */
    uint32_t exchangeActive;    /* a command byte was taken and the flag not yet set free */
    uint32_t violationNoReady;  /* byte written to CMD/DATA while the flag was not READY */
    uint32_t violationOverlap;  /* command byte while an exchange was in progress */
    uint32_t violationInterleave; /* window access by another agent during an exchange */
    uint32_t ecLogCount;        /* bytes accepted in total (the log keeps the last VN_EC_LOG_SIZE) */
    VnEcLogEntry ecLog[VN_EC_LOG_SIZE];
    uint32_t requestCount;      /* device requests of the twelve public codes, counted by the host */
    uint32_t configWrites;      /* vn_pci_write calls (length > 0) addressed to either bridge's
                                   location, present or not */
    uint32_t mappings;          /* live physical mappings (kept by the driver, 0 from the core) */
} VnSnapshot;

/*
 * The machine. Plain data: the host keeps one instance (static storage is
 * fine) and calls vn_init before anything else. Fields are private to the
 * core except where noted.
 */
typedef struct VnMachine {
    /* configuration (vn_configure) */
    uint32_t chipset;
    uint32_t ecAnswerPolls;
    uint32_t ecAnswerBudget;
    uint32_t indexStuckAddr;
    uint32_t decodeStuck;
    uint32_t failPort;
    uint32_t mapReturnedLength;
    uint32_t failCode;
    uint32_t failCodeCount;
    uint32_t callerIsAdmin;

    /* bridges: 256 bytes of configuration space each */
    uint8_t firstBridge[256];
    uint8_t secondBridge[256];
    uint8_t testFunction[256];

    /* ports */
    uint8_t scratchPorts[VN_SCRATCH_PORT_COUNT];
    uint8_t indexHigh, indexLow;

    /* EC */
    uint8_t ecFlag, ecCmd, ecData;
    uint8_t stickyMode, fnDown;
    uint8_t pendingByte;      /* host wrote CMD or DATA since the last READY */
    uint8_t pendingIsCommand;
    uint8_t awaitingData;     /* data bytes the current command still expects */
    uint8_t currentCommand;
    uint8_t replyBytes[8];
    uint8_t replyCount, replyNext;
    uint32_t pollsUntilAnswer;/* flag reads left before a posted byte is answered */
    uint32_t answersGiven;
    uint32_t exchangeActive;
    uint32_t exchangeAgent;
    uint32_t violationNoReady, violationOverlap, violationInterleave;
    uint32_t ecLogCount;
    VnEcLogEntry ecLog[VN_EC_LOG_SIZE];

    /* counters; the host increments requestCount itself (it is not private) */
    uint32_t requestCount;
    uint32_t configWrites;

    /* physical memory, owned by the host */
    uint8_t* phys;
    uint32_t physSize;

    /* added by the core (private) */
    uint32_t pendingAgent;    /* agent that wrote the pending byte */
} VnMachine;

/* Power-on state: second chipset, EC idle, no faults, physical memory filled with its pattern:
 * bytes 0..3 are "_VN_", byte i >= 4 is (uint8_t)(i * 7 + 1). physSize is capped at VN_PHYS_SIZE
 * (0 if physMemory is null); the memory stands at VN_PHYS_BASE. */
void vn_init(VnMachine* m, uint8_t* physMemory, uint32_t physSize);

/* Changes one setting; 1 if key and value are valid, else 0 (nothing changed). */
int vn_configure(VnMachine* m, uint32_t key, uint32_t value);

void vn_snapshot(const VnMachine* m, VnSnapshot* out);

/* Port access of width 1, 2 or 4 (see the top of this file). 1 on success; 0 for a bad width, a null
 * value pointer or an injected fault (VN_CFG_FAIL_PORT). A read stores a value of width bytes. */
int vn_port_read(VnMachine* m, uint32_t agent, uint32_t port, uint32_t width, uint32_t* value);
int vn_port_write(VnMachine* m, uint32_t agent, uint32_t port, uint32_t width, uint32_t value);

/* PCI configuration access (bus < 256, device < 32, function < 8, offset + length <= 256).
 * Absent functions read as 0xFF bytes and ignore writes. 1 on success, 0 if out of range (or data is
 * null with length > 0). Length 0 is a valid no-op. */
int vn_pci_read(VnMachine* m, uint32_t bus, uint32_t device, uint32_t function,
                uint32_t offset, uint8_t* data, uint32_t length);
int vn_pci_write(VnMachine* m, uint32_t bus, uint32_t device, uint32_t function,
                 uint32_t offset, const uint8_t* data, uint32_t length);

/* Physical mappings: the host maps the memory and keeps the records. 1 if [phys, phys+length) lies
 * inside the physical window [VN_PHYS_BASE, VN_PHYS_BASE + physSize) (length 0 means one 4 KiB page,
 * written back through *length). */
int vn_map_check(const VnMachine* m, uint32_t phys, uint32_t* length);

/* Driver-level faults: 1 if code is the nonzero VN_CFG_FAIL_CODE and its count is not used up; a finite
 * count (VN_CFG_FAIL_CODE_COUNT, power-on VN_UNLIMITED) is then decremented. */
int vn_take_request_fault(VnMachine* m, uint32_t code);

#ifdef __cplusplus
}
#endif

#endif
