// The access policy, row by row: what a standard user may do is exactly what
// the sticky-key exchange needs, judged by the values written as well as the
// places; administrators may do everything.
#include "access_policy.h"

#include <gtest/gtest.h>

#include "ec_hardware.h"
#include "latchwire_device.h"

namespace {

LwAccess Port(uint32_t code, uint32_t port, uint32_t value = 0, uint32_t ecRegister = LW_NO_EC_REGISTER)
{
    return LwAccess{code, port, value, ecRegister, 0, 0, 0, 0, 0, 0, 0, 0};
}

LwAccess WriteByte(uint32_t port, uint32_t value, uint32_t ecRegister = LW_NO_EC_REGISTER)
{
    return Port(IOCTL_WRITE_PORT_UCHAR, port, value, ecRegister);
}

LwAccess ReadByte(uint32_t port, uint32_t ecRegister = LW_NO_EC_REGISTER)
{
    return Port(IOCTL_READ_PORT_UCHAR, port, 0, ecRegister);
}

LwAccess Config(uint32_t code, uint32_t bus, uint32_t device, uint32_t function, uint32_t offset, uint32_t length,
                uint32_t value = 0)
{
    return LwAccess{code, 0, value, 0, bus, device, function, offset, length, 0, 0, 0};
}

LwAccess Mailbox(uint32_t code, uint32_t command, uint32_t count, uint32_t data)
{
    return LwAccess{code, 0, 0, 0, 0, 0, 0, 0, 0, command, count, data};
}

struct Row {
    const char* what;
    LwAccess access;
    bool standardUser;
};

const uint32_t kRead = IOCTL_PCI_CONFIG_READ, kWrite = IOCTL_PCI_CONFIG_WRITE;
const uint32_t kFirstDev = FIRST_CHIPSET_DEVICE, kFirstFn = FIRST_CHIPSET_FUNCTION;
const uint32_t kSecondDev = SECOND_CHIPSET_DEVICE, kSecondFn = SECOND_CHIPSET_FUNCTION;

// The decode registers as the driver found them at start (not the emulator's power-on values, so
// that a policy that knew only those would fail).
const LwDecodeFound kFound{0x1230, 0x82, 0x4560};
const uint32_t kFirstOpen = 0xE02C, kSecondOpen = 0xFF21;

const Row kRows[] = {
    // Index ports: the bytes of the flag, command, data and idle addresses, nothing else.
    {"first index high, flag", WriteByte(0xE02D, EC_FLAG_REG >> 8), true},
    {"first index low, flag", WriteByte(0xE02E, EC_FLAG_REG & 0xFF), true},
    {"first index low, command", WriteByte(0xE02E, EC_CMD_REG & 0xFF), true},
    {"second index low, data", WriteByte(0xFF2E, EC_DATA_REG & 0xFF), true},
    {"second index high, idle", WriteByte(0xFF2D, EC_DEFAULT_ADDR >> 8), true},
    {"second index low, idle", WriteByte(0xFF2E, EC_DEFAULT_ADDR & 0xFF), true},
    {"index high, another page", WriteByte(0xFF2D, 0x77), false},
    {"index low, another register", WriteByte(0xE02E, 0xFB), false},
    {"index high takes a low byte", WriteByte(0xFF2D, EC_FLAG_REG & 0xFF), false},
    {"index ports read back", ReadByte(0xE02D), true},
    {"second index low read", ReadByte(0xFF2E), true},
    // Data port: judged by the register the index selects.
    {"flag ready", WriteByte(0xFF2F, FLAG_READY, EC_FLAG_REG), true},
    {"flag posted", WriteByte(0xE02F, FLAG_POSTED, EC_FLAG_REG), true},
    {"flag free", WriteByte(0xFF2F, FLAG_FREE, EC_FLAG_REG), true},
    {"flag, other value", WriteByte(0xFF2F, 3, EC_FLAG_REG), false},
    {"sticky command", WriteByte(0xFF2F, STICKY_CMD, EC_CMD_REG), true},
    {"query command", WriteByte(0xFF2F, 0x58, EC_CMD_REG), false},
    {"command 0x77", WriteByte(0xE02F, 0x77, EC_CMD_REG), false},
    {"sticky on", WriteByte(0xFF2F, STICKY_DATA_ON, EC_DATA_REG), true},
    {"Fn up", WriteByte(0xE02F, STICKY_DATA_FN_UP, EC_DATA_REG), true},
    {"data below the four", WriteByte(0xFF2F, STICKY_DATA_ON - 1, EC_DATA_REG), false},
    {"data above the four", WriteByte(0xFF2F, STICKY_DATA_FN_UP + 1, EC_DATA_REG), false},
    {"data 0xAA", WriteByte(0xFF2F, 0xAA, EC_DATA_REG), false},
    {"sticky command into the data register", WriteByte(0xFF2F, STICKY_CMD, EC_DATA_REG), false},
    {"sticky data into the flag", WriteByte(0xFF2F, STICKY_DATA_ON, EC_FLAG_REG), false},
    {"any register at the idle address", WriteByte(0xFF2F, FLAG_FREE, EC_DEFAULT_ADDR), false},
    {"a register the exchange never selects", WriteByte(0xFF2F, FLAG_FREE, 0xF4FC), false},
    {"selection unknown", WriteByte(0xFF2F, FLAG_FREE), false},
    {"flag read", ReadByte(0xFF2F, EC_FLAG_REG), true},
    {"data register read", ReadByte(0xE02F, EC_DATA_REG), false},
    {"another register read", ReadByte(0xFF2F, 0x0400), false},
    // Around the window, and other widths.
    {"below the first window", ReadByte(0xE02C), false},
    {"above the first window", WriteByte(0xE030, 0), false},
    {"below the second window", WriteByte(0xFF2C, EC_DEFAULT_ADDR >> 8), false},
    {"above the second window", ReadByte(0xFF30), false},
    {"keyboard controller", WriteByte(0x64, 0xFE), false},
    {"word at the window", Port(IOCTL_READ_PORT_USHORT, 0xE02D), false},
    {"dword at the window", Port(IOCTL_WRITE_PORT_ULONG, 0xFF2D, 0x32F4), false},
    // Vendor IDs of both bridges: read only.
    {"first vendor", Config(kRead, 0, kFirstDev, kFirstFn, 0, 2), true},
    {"second vendor", Config(kRead, 0, kSecondDev, kSecondFn, 0, 2), true},
    {"vendor and device id", Config(kRead, 0, kSecondDev, kSecondFn, 0, 4), false},
    {"vendor id written", Config(kWrite, 0, kFirstDev, kFirstFn, 0, 2), false},
    // Decode registers: read freely; written whole, with the opening value or the one found at start.
    {"first decode base read", Config(kRead, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2), true},
    {"first decode base, high byte read", Config(kRead, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE + 1, 1), true},
    {"second decode read", Config(kRead, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2), true},
    {"first base opened", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2, kFirstOpen), true},
    {"first base restored", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2, kFound.firstBase), true},
    {"first base elsewhere", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2, 0x0061), false},
    {"first base, the second's opening", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2, kSecondOpen), false},
    {"first control opened", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 1, 0x87), true},
    {"first control restored", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 1, kFound.firstControl), true},
    {"first control, other bits", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 1, 0xFF), false},
    {"first control, two bytes", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 2, 0x87), false},
    {"first base, one byte of it", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 1, 0x2C), false},
    {"past the first decode base", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE + 1, 2, 0xE0), false},
    {"second opened", Config(kWrite, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, kSecondOpen), true},
    {"second restored", Config(kWrite, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, kFound.secondBase), true},
    {"second moved to 0x61", Config(kWrite, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, 0x0061), false},
    {"second, the value read when open", Config(kWrite, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, 0xFF01), false},
    {"second bridge, first's offset", Config(kWrite, 0, kSecondDev, kSecondFn, FIRST_CHIPSET_DECODE_BASE, 2, kFirstOpen), false},
    {"decode offset on another device", Config(kWrite, 0, 0x1E, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, kSecondOpen), false},
    {"decode offset on another function", Config(kWrite, 0, kFirstDev, 0, FIRST_CHIPSET_DECODE_BASE, 2, kFirstOpen), false},
    {"decode offset on another bus", Config(kWrite, 1, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2, kSecondOpen), false},
    {"zero-length read", Config(kRead, 0, kSecondDev, kSecondFn, 0, 0), false},
    {"offset wrapping round", Config(kRead, 0, kSecondDev, kSecondFn, 0xFFFFFFFF, 2), false},
    // The mailbox: the sticky-key command with one of its four data bytes.
    {"sticky on", Mailbox(IOCTL_EC_IO_SEND, STICKY_CMD, 1, STICKY_DATA_ON), true},
    {"Fn up", Mailbox(IOCTL_EC_IO_SEND, STICKY_CMD, 1, STICKY_DATA_FN_UP), true},
    {"sticky, unknown data", Mailbox(IOCTL_EC_IO_SEND, STICKY_CMD, 1, STICKY_DATA_FN_UP + 1), false},
    {"sticky, data below", Mailbox(IOCTL_EC_IO_SEND, STICKY_CMD, 1, STICKY_DATA_ON - 1), false},
    {"sticky, two data bytes", Mailbox(IOCTL_EC_IO_SEND, STICKY_CMD, 2, STICKY_DATA_ON), false},
    {"other command", Mailbox(IOCTL_EC_IO_SEND, 0x58, 0, 0), false},
    {"receive", Mailbox(IOCTL_EC_IO_RECEIVE, STICKY_CMD, 1, STICKY_DATA_ON), false},
    // Physical memory is for administrators only.
    {"map", Port(IOCTL_MAP_PHYSICAL, 0), false},
    {"unmap", Port(IOCTL_UNMAP_LINEAR, 0), false},
    {"unknown code", Port(LATCHWIRE_CTL_CODE(0x80C, LATCHWIRE_ACCESS_WRITE), 0xE02D), false},
};

TEST(AccessPolicy, OnlyDataPortsNeedTheSelectedRegister)
{
    EXPECT_TRUE(lw_access_needs_ec_register(IOCTL_WRITE_PORT_UCHAR, 0xFF2F));
    EXPECT_TRUE(lw_access_needs_ec_register(IOCTL_READ_PORT_UCHAR, 0xE02F));
    EXPECT_FALSE(lw_access_needs_ec_register(IOCTL_WRITE_PORT_UCHAR, 0xFF2E));
    EXPECT_FALSE(lw_access_needs_ec_register(IOCTL_WRITE_PORT_USHORT, 0xFF2F));
    EXPECT_FALSE(lw_access_needs_ec_register(IOCTL_WRITE_PORT_UCHAR, 0x0300));
    EXPECT_EQ(0xFF2Cu, lw_index_base_of_data_port(0xFF2F));
    EXPECT_EQ(0xE02Cu, lw_index_base_of_data_port(0xE02F));
    EXPECT_EQ(0u, lw_index_base_of_data_port(0xE02E));
}

TEST(AccessPolicy, StandardUserGetsExactlyTheStickyKeyExchangeAndAdministratorsEverything)
{
    for (const Row& row : kRows) {
        EXPECT_EQ(row.standardUser, lw_access_allowed(&row.access, 0, &kFound) == 1) << row.what;
        EXPECT_EQ(1, lw_access_allowed(&row.access, 1, &kFound)) << row.what;
    }
}

}  // namespace
