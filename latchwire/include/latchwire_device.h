/*
 * The Latchwire driver's device: its name, its control codes and the request
 * records that travel with them. Included by the library (C++) and by the
 * kernel driver (C), so every value here has exactly one home.
 */
#ifndef LATCHWIRE_DEVICE_H
#define LATCHWIRE_DEVICE_H

#include <stdint.h>

/* Win32 path handed to CreateFileA, and the kernel names behind it. */
#define LATCHWIRE_DEVICE_PATH   "\\\\.\\Latchwire"
#define LATCHWIRE_DEVICE_NAME_W L"\\Device\\Latchwire"
#define LATCHWIRE_LINK_NAME_W   L"\\DosDevices\\Latchwire"

/* CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, access). */
#define LATCHWIRE_DEVICE_TYPE   0x22u
#define LATCHWIRE_ACCESS_WRITE  2u /* FILE_WRITE_ACCESS */
#define LATCHWIRE_ACCESS_RW     3u /* FILE_READ_ACCESS | FILE_WRITE_ACCESS */
#define LATCHWIRE_CTL_CODE(function, access) \
    ((LATCHWIRE_DEVICE_TYPE << 16) | ((uint32_t)(access) << 14) | ((uint32_t)(function) << 2))

#define IOCTL_READ_PORT_UCHAR   LATCHWIRE_CTL_CODE(0x800, LATCHWIRE_ACCESS_WRITE) /* 0x22A000 */
#define IOCTL_WRITE_PORT_UCHAR  LATCHWIRE_CTL_CODE(0x801, LATCHWIRE_ACCESS_WRITE) /* 0x22A004 */
#define IOCTL_MAP_PHYSICAL      LATCHWIRE_CTL_CODE(0x802, LATCHWIRE_ACCESS_RW)    /* 0x22E008 */
#define IOCTL_UNMAP_LINEAR      LATCHWIRE_CTL_CODE(0x803, LATCHWIRE_ACCESS_WRITE) /* 0x22A00C */
#define IOCTL_EC_IO_RECEIVE     LATCHWIRE_CTL_CODE(0x804, LATCHWIRE_ACCESS_WRITE) /* 0x22A010 */
#define IOCTL_EC_IO_SEND        LATCHWIRE_CTL_CODE(0x805, LATCHWIRE_ACCESS_WRITE) /* 0x22A014 */
#define IOCTL_READ_PORT_USHORT  LATCHWIRE_CTL_CODE(0x806, LATCHWIRE_ACCESS_WRITE) /* 0x22A018 */
#define IOCTL_WRITE_PORT_USHORT LATCHWIRE_CTL_CODE(0x807, LATCHWIRE_ACCESS_WRITE) /* 0x22A01C */
#define IOCTL_READ_PORT_ULONG   LATCHWIRE_CTL_CODE(0x808, LATCHWIRE_ACCESS_WRITE) /* 0x22A020 */
#define IOCTL_WRITE_PORT_ULONG  LATCHWIRE_CTL_CODE(0x809, LATCHWIRE_ACCESS_WRITE) /* 0x22A024 */
#define IOCTL_PCI_CONFIG_WRITE  LATCHWIRE_CTL_CODE(0x80A, LATCHWIRE_ACCESS_WRITE) /* 0x22A028 */
#define IOCTL_PCI_CONFIG_READ   LATCHWIRE_CTL_CODE(0x80B, LATCHWIRE_ACCESS_WRITE) /* 0x22A02C */

/*
 * Request records: little-endian 32-bit words, no gaps. Pointers are 32-bit
 * addresses in the calling process; the driver reads or writes the caller's
 * memory there while it carries out the request.
 */
typedef struct PortIoRequest {
    uint32_t Port;
    uint32_t Data; /* address of the value (1, 2 or 4 bytes, by control code) */
} PortIoRequest;

typedef struct PciConfigRequest {
    uint32_t Enable;
    uint32_t Bus;
    uint32_t Device;
    uint32_t Function;
    uint32_t Offset;
    uint32_t Data;   /* address of the caller's buffer */
    uint32_t Length; /* bytes to transfer */
} PciConfigRequest;

typedef struct PhysMapRequest {
    uint32_t PhysAddr;
    uint32_t Length; /* passed through by the library; the driver's meaning */
} PhysMapRequest;

typedef struct UnmapRequest {
    uint32_t LinearAddr;
} UnmapRequest;

typedef struct EcIoRequest {
    uint8_t  Param1;
    uint8_t  Param2;
    uint8_t  Param3;
    uint8_t  Padding;
    uint32_t Param4;
    uint32_t Param5;
    uint32_t Param6;
    uint32_t Param7;
} EcIoRequest;

#define LATCHWIRE_RECORD_SIZE_CHECK(type, size) \
    typedef char type##_has_expected_size[(sizeof(type) == (size)) ? 1 : -1]
LATCHWIRE_RECORD_SIZE_CHECK(PortIoRequest, 8);
LATCHWIRE_RECORD_SIZE_CHECK(PciConfigRequest, 28);
LATCHWIRE_RECORD_SIZE_CHECK(PhysMapRequest, 8);
LATCHWIRE_RECORD_SIZE_CHECK(UnmapRequest, 4);
LATCHWIRE_RECORD_SIZE_CHECK(EcIoRequest, 20);

/* Output of IOCTL_MAP_PHYSICAL: one 32-bit linear address. */
#define LATCHWIRE_MAP_OUTPUT_SIZE 4u
/* The longest range one map request may ask for (16 MiB); a longer one is refused. */
#define LATCHWIRE_MAX_MAP_LENGTH 0x01000000u

#endif
