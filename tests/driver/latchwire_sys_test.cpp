// latchwire.sys under Wine: it installs with Check_Driver, serves requests
// through the shared dispatch core, refuses what it must and is removed with
// UnloadDriver. Wine's HAL shows no PCI bridge (its port and bus functions
// are stubs), and Wine serves a request in another process than the
// caller's, so the driver refuses every request whose pointers it would have
// to follow there.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "device_request.h"
#include "latchwire.h"
#include "latchwire_device.h"
#include "native_driver_service.h"
#include "program_folder.h"

namespace {

const char kService[] = "LatchwireHw";
const DWORD kNoSuchDevice = 433;  // ERROR_NO_SUCH_DEVICE, from STATUS_NO_SUCH_DEVICE

uint32_t AddressOf(const void* p)
{
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(p));
}

TEST(RealDriver, InstallsServesRefusesAndIsRemoved)
{
    std::string path = programfolder::DriverFolder() + "latchwire.sys";
    ASSERT_TRUE(nativeservice::PrepareDriverService(kService, path)) << path;
    ASSERT_EQ(1, Check_Driver(kService, path.c_str())) << path;
    if (nativeservice::RunningUnderWow64()) ASSERT_TRUE(nativeservice::StartDriverService(kService)) << path;

    // Served: a configuration read of no bytes passes the core and the hardware layer.
    PciConfigRequest nothing{1, 0, 0x1F, 0, 0, 0, 0};
    EXPECT_EQ(ERROR_SUCCESS, Request(IOCTL_PCI_CONFIG_READ, &nothing, sizeof nothing));
    // The mailbox looks for the LPC bridge through the HAL first; Wine's shows none, so no port is touched.
    EcIoRequest stickyOn{0x59, 1, 0x60, 0, 0, 0, 0, 0};
    EXPECT_EQ(kNoSuchDevice, Request(IOCTL_EC_IO_SEND, &stickyOn, sizeof stickyOn));

    // Refused: unknown codes, wrong sizes, ranges past a PCI function, a map too long, unknown mappings.
    PortIoRequest port{0x80, 0};
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION),
              Request(LATCHWIRE_CTL_CODE(0x80C, LATCHWIRE_ACCESS_WRITE), &port, sizeof port));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_LENGTH), Request(IOCTL_READ_PORT_UCHAR, &port, 4));
    for (PciConfigRequest outside : {PciConfigRequest{1, 0, 32, 0, 0, 0, 0}, PciConfigRequest{1, 0, 0x1F, 8, 0, 0, 0},
                                     PciConfigRequest{1, 0, 0x1F, 0, 0x101, 0, 0}}) {
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
                  Request(IOCTL_PCI_CONFIG_READ, &outside, sizeof outside));
    }
    PhysMapRequest tooLong{0xF0000000, LATCHWIRE_MAX_MAP_LENGTH + 1};
    ULONG linear = 0;
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER),
              Request(IOCTL_MAP_PHYSICAL, &tooLong, sizeof tooLong, &linear, sizeof linear));
    UnmapRequest unknown{0x10000};
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), Request(IOCTL_UNMAP_LINEAR, &unknown, sizeof unknown));
    // Refused: a pointer into the caller's memory, which is not the memory Wine runs the driver in.
    UCHAR value = 0xAA;
    port.Data = AddressOf(&value);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOACCESS), Request(IOCTL_READ_PORT_UCHAR, &port, sizeof port));
    EXPECT_EQ(0xAA, value);

    ASSERT_EQ(1, UnloadDriver(kService));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), Request(IOCTL_PCI_CONFIG_READ, &nothing, sizeof nothing))
        << "the device is gone with the driver";
}

}  // namespace
