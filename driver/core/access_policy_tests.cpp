// The access policy, row by row: what a standard user may do is exactly what
// the sticky-key exchange needs; administrators may do everything.
#include "access_policy.h"

#include <gtest/gtest.h>

#include "ec_hardware.h"
#include "latchwire_device.h"

namespace {

LwAccess Port(uint32_t code, uint32_t port)
{
    LwAccess a{};
    a.code = code;
    a.port = port;
    return a;
}

LwAccess Config(uint32_t code, uint32_t bus, uint32_t device, uint32_t function, uint32_t offset, uint32_t length)
{
    LwAccess a{};
    a.code = code;
    a.bus = bus;
    a.device = device;
    a.function = function;
    a.offset = offset;
    a.length = length;
    return a;
}

LwAccess Mailbox(uint32_t code, uint32_t command, uint32_t count, uint32_t data)
{
    LwAccess a{};
    a.code = code;
    a.ecCommand = command;
    a.ecDataCount = count;
    a.ecData = data;
    return a;
}

struct Row {
    const char* what;
    LwAccess access;
    bool standardUser;
};

const uint32_t kRead = IOCTL_PCI_CONFIG_READ, kWrite = IOCTL_PCI_CONFIG_WRITE;
const uint32_t kFirstDev = FIRST_CHIPSET_DEVICE, kFirstFn = FIRST_CHIPSET_FUNCTION;
const uint32_t kSecondDev = SECOND_CHIPSET_DEVICE, kSecondFn = SECOND_CHIPSET_FUNCTION;

const Row kRows[] = {
    // The index window's three ports of both chipsets, byte-wide only.
    {"first index high", Port(IOCTL_WRITE_PORT_UCHAR, 0xE02D), true},
    {"first index low", Port(IOCTL_WRITE_PORT_UCHAR, 0xE02E), true},
    {"first data read", Port(IOCTL_READ_PORT_UCHAR, 0xE02F), true},
    {"second index high", Port(IOCTL_READ_PORT_UCHAR, 0xFF2D), true},
    {"second data write", Port(IOCTL_WRITE_PORT_UCHAR, 0xFF2F), true},
    {"below the first window", Port(IOCTL_READ_PORT_UCHAR, 0xE02C), false},
    {"above the first window", Port(IOCTL_WRITE_PORT_UCHAR, 0xE030), false},
    {"below the second window", Port(IOCTL_WRITE_PORT_UCHAR, 0xFF2C), false},
    {"above the second window", Port(IOCTL_READ_PORT_UCHAR, 0xFF30), false},
    {"keyboard controller", Port(IOCTL_WRITE_PORT_UCHAR, 0x64), false},
    {"word at the window", Port(IOCTL_READ_PORT_USHORT, 0xE02D), false},
    {"dword at the window", Port(IOCTL_WRITE_PORT_ULONG, 0xFF2D), false},
    // Vendor IDs of both bridges: read only.
    {"first vendor", Config(kRead, 0, kFirstDev, kFirstFn, 0, 2), true},
    {"second vendor", Config(kRead, 0, kSecondDev, kSecondFn, 0, 2), true},
    {"vendor and device id", Config(kRead, 0, kSecondDev, kSecondFn, 0, 4), false},
    {"vendor id written", Config(kWrite, 0, kFirstDev, kFirstFn, 0, 2), false},
    // Decode registers: read and write, nothing around them.
    {"first decode base read", Config(kRead, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2), true},
    {"first decode base write", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE, 2), true},
    {"first decode control write", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 1), true},
    {"first decode control, two bytes", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_CTL, 2), false},
    {"first decode base, high byte", Config(kRead, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE + 1, 1), true},
    {"past the first decode base", Config(kWrite, 0, kFirstDev, kFirstFn, FIRST_CHIPSET_DECODE_BASE + 1, 2), false},
    {"second decode write", Config(kWrite, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2), true},
    {"second decode read", Config(kRead, 0, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2), true},
    {"second bridge, first's offset", Config(kWrite, 0, kSecondDev, kSecondFn, FIRST_CHIPSET_DECODE_BASE, 2), false},
    {"decode offset on another device", Config(kWrite, 0, 0x1E, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2), false},
    {"decode offset on another function", Config(kWrite, 0, kFirstDev, 0, FIRST_CHIPSET_DECODE_BASE, 2), false},
    {"decode offset on another bus", Config(kWrite, 1, kSecondDev, kSecondFn, SECOND_CHIPSET_DECODE_BASE, 2), false},
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

TEST(AccessPolicy, StandardUserGetsExactlyTheStickyKeyExchange)
{
    for (const Row& row : kRows) {
        EXPECT_EQ(row.standardUser, lw_access_allowed(&row.access, 0) == 1) << row.what;
    }
}

TEST(AccessPolicy, AdministratorGetsEverything)
{
    for (const Row& row : kRows) {
        EXPECT_EQ(1, lw_access_allowed(&row.access, 1)) << row.what;
    }
}

}  // namespace
