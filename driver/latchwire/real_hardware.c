#include <ntifs.h>

#include "lw_guard.h"
#include "real_hardware.h"

#define HIGHEST_PORT 0xFFFFu
#define PCI_DEVICES 32u
#define PCI_FUNCTIONS 8u
#define PCI_CONFIG_BYTES 256u
#define PAGE_BYTES 0x1000u
#define MAPPING_TAG 0x70614D4Cu /* 'LMap' */

/* ---- ports ---------------------------------------------------------------- */

static BOOLEAN PortRangeValid(ULONG port, ULONG width)
{
    return port <= HIGHEST_PORT && width <= HIGHEST_PORT + 1 - port;
}

static NTSTATUS RealReadPort(const LwCaller* caller, ULONG port, ULONG width, ULONG* value)
{
    (void)caller;
    if (!PortRangeValid(port, width)) return STATUS_INVALID_PARAMETER;
    switch (width) {
    case 1: *value = READ_PORT_UCHAR((PUCHAR)(ULONG_PTR)port); break;
    case 2: *value = READ_PORT_USHORT((PUSHORT)(ULONG_PTR)port); break;
    default: *value = READ_PORT_ULONG((PULONG)(ULONG_PTR)port); break;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS RealWritePort(const LwCaller* caller, ULONG port, ULONG width, ULONG value)
{
    (void)caller;
    if (!PortRangeValid(port, width)) return STATUS_INVALID_PARAMETER;
    switch (width) {
    case 1: WRITE_PORT_UCHAR((PUCHAR)(ULONG_PTR)port, (UCHAR)value); break;
    case 2: WRITE_PORT_USHORT((PUSHORT)(ULONG_PTR)port, (USHORT)value); break;
    default: WRITE_PORT_ULONG((PULONG)(ULONG_PTR)port, value); break;
    }
    return STATUS_SUCCESS;
}

/* ---- PCI configuration space --------------------------------------------- */

static BOOLEAN ConfigRangeValid(ULONG bus, ULONG device, ULONG function, ULONG offset, ULONG length)
{
    return bus < 256 && device < PCI_DEVICES && function < PCI_FUNCTIONS && offset <= PCI_CONFIG_BYTES &&
           length <= PCI_CONFIG_BYTES - offset;
}

static ULONG SlotOf(ULONG device, ULONG function)
{
    PCI_SLOT_NUMBER slot;
    slot.u.AsULONG = 0;
    slot.u.bits.DeviceNumber = device;
    slot.u.bits.FunctionNumber = function;
    return slot.u.AsULONG;
}

/* A function that is not there reads as all ones, as on the bus. */
static NTSTATUS ReadConfigBytes(ULONG bus, ULONG device, ULONG function, ULONG offset, UCHAR* bytes, ULONG length)
{
    ULONG i, got;
    if (!ConfigRangeValid(bus, device, function, offset, length)) return STATUS_INVALID_PARAMETER;
    if (length == 0) return STATUS_SUCCESS;
    got = HalGetBusDataByOffset(PCIConfiguration, bus, SlotOf(device, function), bytes, offset, length);
    if (got != length) {
        for (i = 0; i < length; i++) bytes[i] = 0xFF;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS WriteConfigBytes(ULONG bus, ULONG device, ULONG function, ULONG offset, const UCHAR* bytes,
                                 ULONG length)
{
    if (!ConfigRangeValid(bus, device, function, offset, length)) return STATUS_INVALID_PARAMETER;
    if (length == 0) return STATUS_SUCCESS;
    return HalSetBusDataByOffset(PCIConfiguration, bus, SlotOf(device, function), (PVOID)bytes, offset, length) ==
                   length
               ? STATUS_SUCCESS
               : STATUS_IO_DEVICE_ERROR;
}

static NTSTATUS RealReadConfig(const PciConfigRequest* r, UCHAR* bytes)
{
    return ReadConfigBytes(r->Bus, r->Device, r->Function, r->Offset, bytes, r->Length);
}

static NTSTATUS RealWriteConfig(const PciConfigRequest* r, const UCHAR* bytes)
{
    return WriteConfigBytes(r->Bus, r->Device, r->Function, r->Offset, bytes, r->Length);
}

/* ---- physical memory ------------------------------------------------------- */

ULONG AddressSpaceOwner(void)
{
    PROCESS_BASIC_INFORMATION info;
    ULONG size = 0;
    if (!NT_SUCCESS(ZwQueryInformationProcess(NtCurrentProcess(), ProcessBasicInformation, &info, sizeof info, &size))) {
        return 0;
    }
    return (ULONG)(ULONG_PTR)info.UniqueProcessId;
}

typedef struct RealMapping {
    PVOID kernelAddress;
    PMDL mdl;
    PVOID userAddress;
    ULONG length;
} RealMapping;

static void FreeRealMapping(RealMapping* m)
{
    if (m->mdl) IoFreeMdl(m->mdl);
    if (m->kernelAddress) MmUnmapIoSpace(m->kernelAddress, m->length);
    ExFreePoolWithTag(m, MAPPING_TAG);
}

/* Mapping into user space raises when it fails: it runs inside an exception frame. */
static long MapIntoUserSpace(void* context)
{
    RealMapping* m = (RealMapping*)context;
    m->userAddress = MmMapLockedPagesSpecifyCache(m->mdl, UserMode, MmNonCached, NULL, FALSE, NormalPagePriority);
    return STATUS_SUCCESS;
}

/* Maps phys..phys+length (0: one page) into the calling process, which is the current one. */
static NTSTATUS RealMap(const LwCaller* caller, LwMapping* mapping)
{
    PHYSICAL_ADDRESS phys;
    RealMapping* m;
    ULONG length = mapping->length ? mapping->length : PAGE_BYTES;
    if (AddressSpaceOwner() != caller->processId) return STATUS_ACCESS_DENIED;
    m = (RealMapping*)ExAllocatePoolWithTag(NonPagedPool, sizeof *m, MAPPING_TAG);
    if (m == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(m, sizeof *m);
    m->length = length;
    phys.QuadPart = mapping->phys;
    m->kernelAddress = MmMapIoSpace(phys, length, MmNonCached);
    if (m->kernelAddress) m->mdl = IoAllocateMdl(m->kernelAddress, length, FALSE, FALSE, NULL);
    if (m->mdl) {
        MmBuildMdlForNonPagedPool(m->mdl);
        if (!NT_SUCCESS(LwGuardedCall(MapIntoUserSpace, m))) m->userAddress = NULL;
    }
    if (m->userAddress == NULL) {
        FreeRealMapping(m);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    /* The record names the mapping with a 32-bit word: a view above 4 GB (only a
       64-bit caller's can be) is removed again and the request refused. */
    if (!LwFitsRecord((ULONG_PTR)m->userAddress, length)) {
        MmUnmapLockedPages(m->userAddress, m->mdl);
        FreeRealMapping(m);
        return STATUS_CONFLICTING_ADDRESSES;
    }
    mapping->length = length;
    mapping->linear = (ULONG)(ULONG_PTR)m->userAddress;
    mapping->host = m;
    return STATUS_SUCCESS;
}

/* The user view can only be removed in its process: attach to it (held by the mapping) when called from elsewhere. */
static void RealUnmap(LwMapping* mapping, BOOLEAN processEnded)
{
    RealMapping* m = (RealMapping*)mapping->host;
    if (!processEnded) {
        if ((PVOID)PsGetCurrentProcess() == mapping->process) {
            MmUnmapLockedPages(m->userAddress, m->mdl);
        } else {
            KAPC_STATE apc;
            KeStackAttachProcess((PKPROCESS)mapping->process, &apc);
            MmUnmapLockedPages(m->userAddress, m->mdl);
            KeUnstackDetachProcess(&apc);
        }
    }
    FreeRealMapping(m);
    mapping->host = NULL;
}

const LwHardware RealHardware = {
    RealReadPort, RealWritePort, RealReadConfig, RealWriteConfig, RealMap, RealUnmap, NULL, NULL,
};
