// Port I/O, PCI configuration and physical memory: each export fills one
// request record in its own storage and hands it to the driver.
#include "raw_hardware.h"

#include "device_call.h"
#include "latchwire.h"
#include "latchwire_device.h"

namespace latchwire {
namespace {

// Address of a variable in this 32-bit process, as the records carry it.
template <typename T>
uint32_t AddressOf(T* variable)
{
    return static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(variable));
}

int SendWithoutOutput(const char* exportName, DWORD code, void* record, DWORD size)
{
    DeviceRequest request{exportName, GENERIC_WRITE, code, record, size};
    return DeviceCall(request);
}

// The read exports pass the caller's pointer; the write exports pass the
// address of their own copy of the value.
template <typename T>
int PortCall(const char* exportName, DWORD code, ULONG port, T* data)
{
    PortIoRequest record{port, AddressOf(data)};
    return SendWithoutOutput(exportName, code, &record, sizeof record);
}

int PciCall(const char* exportName, DWORD code, ULONG enable, ULONG bus, ULONG device, ULONG function,
            ULONG offset, UCHAR* data, ULONG length)
{
    PciConfigRequest record{enable, bus, device, function, offset, AddressOf(data), length};
    return SendWithoutOutput(exportName, code, &record, sizeof record);
}

constexpr ULONG kVendorIdOffset = 0;
constexpr ULONG kFirstChipsetBridgeAddress = 0x8000A300;  // bus 0, device 0x14, function 3

}  // namespace

ULONG MakePciAddress(ULONG enable, ULONG bus, ULONG device, ULONG function, ULONG offset)
{
    ULONG address = (enable << 31) | (bus << 16) | (device << 11) | (function << 8) | offset;
    return address & ~ULONG{3};
}

}  // namespace latchwire

using namespace latchwire;

extern "C" {

int IO_Port_Read_UCHAR(ULONG Port, UCHAR* Data)
{
    return PortCall("IO_Port_Read_UCHAR", IOCTL_READ_PORT_UCHAR, Port, Data);
}

int IO_Port_Write_UCHAR(ULONG Port, UCHAR Data)
{
    return PortCall("IO_Port_Write_UCHAR", IOCTL_WRITE_PORT_UCHAR, Port, &Data);
}

int IO_Port_Read_USHORT(ULONG Port, USHORT* Data)
{
    return PortCall("IO_Port_Read_USHORT", IOCTL_READ_PORT_USHORT, Port, Data);
}

int IO_Port_Write_USHORT(ULONG Port, USHORT Data)
{
    return PortCall("IO_Port_Write_USHORT", IOCTL_WRITE_PORT_USHORT, Port, &Data);
}

int IO_Port_Read_ULONG(ULONG Port, ULONG* Data)
{
    return PortCall("IO_Port_Read_ULONG", IOCTL_READ_PORT_ULONG, Port, Data);
}

int IO_Port_Write_ULONG(ULONG Port, ULONG Data)
{
    return PortCall("IO_Port_Write_ULONG", IOCTL_WRITE_PORT_ULONG, Port, &Data);
}

int PCI_DeviceReceiveCOMM(ULONG Enable, ULONG Bus, ULONG Device, ULONG Function, ULONG Offset, UCHAR* Data,
                          ULONG Length)
{
    return PciCall("PCI_DeviceReceiveCOMM", IOCTL_PCI_CONFIG_READ, Enable, Bus, Device, Function, Offset, Data,
                   Length);
}

int PCI_DeviceWriteCOMM(ULONG Enable, ULONG Bus, ULONG Device, ULONG Function, ULONG Offset, UCHAR* Data,
                        ULONG Length)
{
    return PciCall("PCI_DeviceWriteCOMM", IOCTL_PCI_CONFIG_WRITE, Enable, Bus, Device, Function, Offset, Data,
                   Length);
}

int Phy_Mapp_Lin(ULONG PhysAddr, ULONG Length, ULONG* LinearAddr)
{
    PhysMapRequest record{PhysAddr, Length};
    uint32_t linear = 0;
    const DWORD required = LATCHWIRE_MAP_OUTPUT_SIZE;
    DeviceRequest request{"Phy_Mapp_Lin", GENERIC_READ | GENERIC_WRITE, IOCTL_MAP_PHYSICAL, &record, sizeof record,
                          &linear, sizeof linear, &required};
    if (!DeviceCall(request)) return 0;
    *LinearAddr = linear;
    return 1;
}

int UnMapp_LinADD(ULONG LinearAddr)
{
    UnmapRequest record{LinearAddr};
    return SendWithoutOutput("UnMapp_LinADD", IOCTL_UNMAP_LINEAR, &record, sizeof record);
}

int Chk_PCI_Dev_Manufacturer(ULONG Bus, ULONG Device, ULONG Function, ULONG VendorId)
{
    USHORT vendor = 0;
    if (PCI_DeviceReceiveCOMM(1, Bus, Device, Function, kVendorIdOffset, reinterpret_cast<UCHAR*>(&vendor), 2)) {
        return vendor == static_cast<USHORT>(VendorId & 0xFFFF) ? 1 : 0;
    }
    // The first chipset's bridge counts as present when it cannot be read.
    return MakePciAddress(1, Bus, Device, Function, kVendorIdOffset) == kFirstChipsetBridgeAddress ? 1 : 0;
}

}  // extern "C"
