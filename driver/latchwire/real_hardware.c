#include <ntifs.h>

#include "ec_hardware.h"
#include "real_hardware.h"

#define HIGHEST_PORT 0xFFFFu
#define PCI_DEVICES 32u
#define PCI_FUNCTIONS 8u
#define PCI_CONFIG_BYTES 256u
#define PAGE_BYTES 0x1000u
#define MAPPING_TAG 0x70614D4Cu /* 'LMap' */

/* Flag polls before the EC counts as silent (each poll is one LPC read of about a microsecond). */
#define EC_FLAG_POLLS 20000u

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
    return (ULONG)info.UniqueProcessId;
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
        m->userAddress = MmMapLockedPagesSpecifyCache(m->mdl, UserMode, MmNonCached, NULL, FALSE, NormalPagePriority);
    }
    if (m->userAddress == NULL) {
        FreeRealMapping(m);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    mapping->length = length;
    mapping->linear = (ULONG)(ULONG_PTR)m->userAddress;
    mapping->host = m;
    return STATUS_SUCCESS;
}

/* The user view can only be removed in its process: attach to it when called from elsewhere. */
static void RealUnmap(LwMapping* mapping, BOOLEAN processEnded)
{
    RealMapping* m = (RealMapping*)mapping->host;
    if (!processEnded) {
        if (AddressSpaceOwner() == mapping->processId) {
            MmUnmapLockedPages(m->userAddress, m->mdl);
        } else {
            PEPROCESS process;
            if (NT_SUCCESS(PsLookupProcessByProcessId((HANDLE)(ULONG_PTR)mapping->processId, &process))) {
                KAPC_STATE apc;
                KeStackAttachProcess((PKPROCESS)process, &apc);
                MmUnmapLockedPages(m->userAddress, m->mdl);
                KeUnstackDetachProcess(&apc);
                ObDereferenceObject(process);
            }
        }
    }
    FreeRealMapping(m);
    mapping->host = NULL;
}

/* ---- EC mailbox on the index window ---------------------------------------- */

typedef struct EcWindow {
    ULONG chipset;      /* 1 first, 2 second */
    ULONG base;         /* index window base port */
    USHORT savedBase;   /* decode registers as found */
    UCHAR savedControl;
} EcWindow;

static ULONG ReadBridge(ULONG device, ULONG function, ULONG offset, ULONG length, NTSTATUS* status)
{
    ULONG value = 0;
    NTSTATUS s = ReadConfigBytes(LPC_BRIDGE_BUS, device, function, offset, (UCHAR*)&value, length);
    if (!NT_SUCCESS(s)) *status = s;
    return value;
}

static void WriteBridge(ULONG device, ULONG function, ULONG offset, ULONG length, ULONG value, NTSTATUS* status)
{
    NTSTATUS s = WriteConfigBytes(LPC_BRIDGE_BUS, device, function, offset, (const UCHAR*)&value, length);
    if (!NT_SUCCESS(s)) *status = s;
}

/* Finds the bridge, saves its decode registers and opens the EC window (as the library does). */
static NTSTATUS OpenEcWindow(EcWindow* w)
{
    NTSTATUS status = STATUS_SUCCESS;
    if (ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, 0, 2, &status) == FIRST_CHIPSET_VENDOR) {
        w->base = FIRST_CHIPSET_INDEX_BASE;
        w->savedBase = (USHORT)ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2,
                                          &status);
        w->savedControl = (UCHAR)ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL,
                                            1, &status);
        if (!NT_SUCCESS(status)) return status; /* nothing saved, nothing to restore */
        w->chipset = 1;
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2,
                    FIRST_CHIPSET_INDEX_BASE, &status);
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1,
                    w->savedControl | FIRST_CHIPSET_DECODE_BITS, &status);
        return status;
    }
    if (ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, 0, 2, &status) == SECOND_CHIPSET_VENDOR) {
        w->base = SECOND_CHIPSET_INDEX_BASE;
        w->savedBase = (USHORT)ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE,
                                          2, &status);
        if (!NT_SUCCESS(status)) return status;
        w->chipset = 2;
        WriteBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2,
                    (SECOND_CHIPSET_INDEX_BASE & 0xFFF0u) | 0x0001u, &status);
        return status;
    }
    return STATUS_NO_SUCH_DEVICE;
}

/* Puts back the decode registers that OpenEcWindow saved. */
static void CloseEcWindow(const EcWindow* w)
{
    NTSTATUS ignored = STATUS_SUCCESS;
    if (w->chipset == 1) {
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2, w->savedBase, &ignored);
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1, w->savedControl,
                    &ignored);
    } else if (w->chipset == 2) {
        WriteBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2, w->savedBase,
                    &ignored);
    }
}

static void SelectEcRegister(const EcWindow* w, ULONG address)
{
    WRITE_PORT_UCHAR((PUCHAR)(ULONG_PTR)(w->base + 1), (UCHAR)(address >> 8));
    WRITE_PORT_UCHAR((PUCHAR)(ULONG_PTR)(w->base + 2), (UCHAR)address);
}

static UCHAR ReadEc(const EcWindow* w, ULONG address)
{
    SelectEcRegister(w, address);
    return READ_PORT_UCHAR((PUCHAR)(ULONG_PTR)(w->base + 3));
}

static void WriteEc(const EcWindow* w, ULONG address, UCHAR value)
{
    SelectEcRegister(w, address);
    WRITE_PORT_UCHAR((PUCHAR)(ULONG_PTR)(w->base + 3), value);
}

/* Posts the handshake and polls until the EC answers it. */
static BOOLEAN PostAndWait(const EcWindow* w)
{
    ULONG polls;
    WriteEc(w, EC_FLAG_REG, FLAG_POSTED);
    for (polls = 0; polls < EC_FLAG_POLLS; polls++) {
        if (ReadEc(w, EC_FLAG_REG) == FLAG_READY) return TRUE;
    }
    return FALSE;
}

static BOOLEAN SendEcByte(const EcWindow* w, ULONG reg, UCHAR value)
{
    WriteEc(w, EC_FLAG_REG, FLAG_READY);
    WriteEc(w, reg, value);
    return PostAndWait(w);
}

static NTSTATUS RunEcExchange(const EcWindow* w, UCHAR command, const UCHAR* data, ULONG dataCount, UCHAR* reply,
                              ULONG replyCount)
{
    ULONG i;
    BOOLEAN answered;
    if (ReadEc(w, EC_FLAG_REG) != FLAG_FREE) return STATUS_DEVICE_BUSY; /* an index-mode exchange is running */
    answered = SendEcByte(w, EC_CMD_REG, command);
    for (i = 0; answered && i < dataCount; i++) answered = SendEcByte(w, EC_DATA_REG, data[i]);
    for (i = 0; answered && i < replyCount; i++) {
        reply[i] = ReadEc(w, EC_DATA_REG);
        answered = PostAndWait(w);
    }
    WriteEc(w, EC_FLAG_REG, FLAG_FREE);
    SelectEcRegister(w, EC_DEFAULT_ADDR);
    return answered ? STATUS_SUCCESS : STATUS_IO_TIMEOUT;
}

static NTSTATUS RealMailbox(const LwCaller* caller, UCHAR command, const UCHAR* data, ULONG dataCount, UCHAR* reply,
                            ULONG replyCount)
{
    EcWindow window;
    NTSTATUS status;
    (void)caller;
    RtlZeroMemory(&window, sizeof window);
    status = OpenEcWindow(&window);
    if (NT_SUCCESS(status)) status = RunEcExchange(&window, command, data, dataCount, reply, replyCount);
    CloseEcWindow(&window);
    return status;
}

const LwHardware RealHardware = {
    RealReadPort, RealWritePort, RealReadConfig, RealWriteConfig, RealMap, RealUnmap, RealMailbox, NULL, NULL,
};
