#include "lw_dispatch.h"

#include "access_policy.h"

static const LwCallerMemory* Memory;
static const LwHardware* Hardware;
static FAST_MUTEX RequestMutex;
static LwMapping Mappings[LW_MAX_MAPPINGS];

#define REGION_COMMITTED 0x1000u
#define READABLE_PROTECTIONS \
    (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | \
     PAGE_EXECUTE_WRITECOPY)
#define WRITABLE_PROTECTIONS (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)

void LwInitialize(const LwCallerMemory* memory, const LwHardware* hardware)
{
    ULONG i;
    Memory = memory;
    Hardware = hardware;
    ExInitializeFastMutex(&RequestMutex);
    for (i = 0; i < LW_MAX_MAPPINGS; i++) Mappings[i].inUse = FALSE;
}

/*
 * A fast mutex taken inside a critical region: the thread stays at
 * PASSIVE_LEVEL (the layers call PASSIVE_LEVEL routines under it) with normal
 * kernel APCs held off, and an uncontended acquire costs no wait.
 */
void LwLock(void)
{
    KeEnterCriticalRegion();
    ExAcquireFastMutexUnsafe(&RequestMutex);
}

void LwUnlock(void)
{
    ExReleaseFastMutexUnsafe(&RequestMutex);
    KeLeaveCriticalRegion();
}

/* ---- the caller's memory ------------------------------------------------ */

static BOOLEAN RegionUsable(const LwRegion* region, BOOLEAN forWriting)
{
    ULONG wanted = forWriting ? WRITABLE_PROTECTIONS : READABLE_PROTECTIONS;
    if (region->state != REGION_COMMITTED) return FALSE;
    if ((region->protect & PAGE_GUARD) != 0) return FALSE;
    return (region->protect & wanted) != 0;
}

/* Every page of [address, address + length) is committed, accessible as asked and not a guard page. */
static NTSTATUS CheckCallerRange(const LwCaller* caller, ULONG address, ULONG length, BOOLEAN forWriting)
{
    ULONG end = address + length;
    ULONG at = address;
    if (length == 0) return STATUS_SUCCESS;
    if (end < address) return STATUS_ACCESS_VIOLATION;
    while (at < end) {
        LwRegion region;
        ULONG next;
        if (!NT_SUCCESS(Memory->QueryRegion(caller, at, &region))) return STATUS_ACCESS_VIOLATION;
        if (!RegionUsable(&region, forWriting)) return STATUS_ACCESS_VIOLATION;
        next = region.base + region.size;
        if (next == 0) return STATUS_SUCCESS; /* the region reaches the top of the address space */
        if (next <= at) return STATUS_ACCESS_VIOLATION;
        at = next;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS ReadCaller(const LwCaller* caller, ULONG address, void* buffer, ULONG length)
{
    NTSTATUS status = CheckCallerRange(caller, address, length, FALSE);
    if (!NT_SUCCESS(status) || length == 0) return status;
    return Memory->Read(caller, address, buffer, length);
}

/* ---- ports and configuration space -------------------------------------- */

static ULONG PortWidth(ULONG code)
{
    switch (code) {
    case IOCTL_READ_PORT_UCHAR: case IOCTL_WRITE_PORT_UCHAR: return 1;
    case IOCTL_READ_PORT_USHORT: case IOCTL_WRITE_PORT_USHORT: return 2;
    default: return 4;
    }
}

static NTSTATUS ReadPort(LwRequest* r)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    ULONG width = PortWidth(r->code);
    ULONG value = 0;
    /* The destination is checked first: a port read may have side effects. */
    NTSTATUS status = CheckCallerRange(&r->caller, in->Data, width, TRUE);
    if (!NT_SUCCESS(status)) return status;
    status = Hardware->ReadPort(&r->caller, in->Port, width, &value);
    if (!NT_SUCCESS(status)) return status;
    return Memory->Write(&r->caller, in->Data, &value, width);
}

static NTSTATUS WritePort(LwRequest* r)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    ULONG width = PortWidth(r->code);
    ULONG value = 0;
    NTSTATUS status = ReadCaller(&r->caller, in->Data, &value, width);
    if (!NT_SUCCESS(status)) return status;
    return Hardware->WritePort(&r->caller, in->Port, width, value);
}

static NTSTATUS ReadConfig(LwRequest* r)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    UCHAR bytes[LW_PCI_CONFIG_BYTES];
    NTSTATUS status;
    if (in->Length > LW_PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    status = CheckCallerRange(&r->caller, in->Data, in->Length, TRUE);
    if (!NT_SUCCESS(status)) return status;
    status = Hardware->ReadConfig(in, bytes);
    if (!NT_SUCCESS(status) || in->Length == 0) return status;
    return Memory->Write(&r->caller, in->Data, bytes, in->Length);
}

static NTSTATUS WriteConfig(LwRequest* r)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    UCHAR bytes[LW_PCI_CONFIG_BYTES];
    NTSTATUS status;
    if (in->Length > LW_PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    status = ReadCaller(&r->caller, in->Data, bytes, in->Length);
    if (!NT_SUCCESS(status)) return status;
    return Hardware->WriteConfig(in, bytes);
}

/* ---- physical mappings, kept per process -------------------------------- */

static void Release(LwMapping* mapping, BOOLEAN processEnded)
{
    Hardware->Unmap(mapping, processEnded);
    mapping->inUse = FALSE;
}

static void ReleaseEnded(void)
{
    ULONG i;
    if (Memory->ProcessEnded == NULL) return;
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse && Memory->ProcessEnded(Mappings[i].processId)) Release(&Mappings[i], TRUE);
    }
}

static LwMapping* FreeMapping(void)
{
    ULONG i;
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (!Mappings[i].inUse) return &Mappings[i];
    }
    return NULL;
}

static NTSTATUS MapPhysical(LwRequest* r)
{
    const PhysMapRequest* in = (const PhysMapRequest*)r->buffer;
    ULONG reported = Hardware->MapReportedLength ? Hardware->MapReportedLength() : LATCHWIRE_MAP_OUTPUT_SIZE;
    LwMapping* mapping;
    NTSTATUS status;

    /* Never report bytes beyond what the output buffer holds. */
    if (reported > r->outputLength) return STATUS_BUFFER_TOO_SMALL;
    ReleaseEnded();
    mapping = FreeMapping();
    if (mapping == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    mapping->processId = r->caller.processId;
    mapping->phys = in->PhysAddr;
    mapping->length = in->Length;
    mapping->linear = 0;
    mapping->host = NULL;
    status = Hardware->Map(&r->caller, mapping);
    if (!NT_SUCCESS(status)) return status;
    mapping->inUse = TRUE;
    *(ULONG*)r->buffer = mapping->linear;
    r->returned = reported;
    return STATUS_SUCCESS;
}

static NTSTATUS UnmapLinear(LwRequest* r)
{
    ULONG linear = ((const UnmapRequest*)r->buffer)->LinearAddr;
    ULONG i;
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        LwMapping* m = &Mappings[i];
        if (m->inUse && m->processId == r->caller.processId && m->linear == linear) {
            Release(m, FALSE);
            return STATUS_SUCCESS;
        }
    }
    return STATUS_INVALID_PARAMETER;
}

void LwReleaseProcessMappings(ULONG processId, BOOLEAN processEnded)
{
    ULONG i;
    LwLock();
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse && Mappings[i].processId == processId) Release(&Mappings[i], processEnded);
    }
    LwUnlock();
}

void LwReleaseEndedProcessMappings(void)
{
    if (LwLiveMappings() == 0) return; /* a hint read without the lock: nothing to look for */
    LwLock();
    ReleaseEnded();
    LwUnlock();
}

void LwReleaseAllMappings(void)
{
    ULONG i;
    LwLock();
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse) Release(&Mappings[i], FALSE);
    }
    LwUnlock();
}

ULONG LwLiveMappings(void)
{
    ULONG i, live = 0;
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse) live++;
    }
    return live;
}

/* ---- EC mailbox ---------------------------------------------------------- */

/*
 * EcIoRequest as the mailbox codes read it: Param1 command, Param2 data byte
 * count (0..2), Param3 and the low byte of Param4 the data, and for a receive
 * Param5 reply byte count (0..8), Param6 the caller's address for the reply,
 * Param7 that buffer's size (at least Param5).
 */
static NTSTATUS RunMailbox(LwRequest* r, BOOLEAN receiving)
{
    const EcIoRequest* in = (const EcIoRequest*)r->buffer;
    UCHAR data[LW_MAILBOX_MAX_DATA];
    UCHAR reply[LW_MAILBOX_MAX_REPLY];
    ULONG replyCount = receiving ? in->Param5 : 0;
    NTSTATUS status;

    if (in->Param2 > LW_MAILBOX_MAX_DATA) return STATUS_INVALID_PARAMETER;
    if (receiving && (replyCount > LW_MAILBOX_MAX_REPLY || replyCount > in->Param7)) return STATUS_INVALID_PARAMETER;
    data[0] = in->Param3;
    data[1] = (UCHAR)in->Param4;
    /* The destination is checked before the EC is asked anything. */
    status = CheckCallerRange(&r->caller, in->Param6, replyCount, TRUE);
    if (!NT_SUCCESS(status)) return status;
    status = Hardware->Mailbox(&r->caller, in->Param1, data, in->Param2, reply, replyCount);
    if (!NT_SUCCESS(status) || replyCount == 0) return status;
    return Memory->Write(&r->caller, in->Param6, reply, replyCount);
}

static NTSTATUS SendToEc(LwRequest* r)
{
    return RunMailbox(r, FALSE);
}

static NTSTATUS ReceiveFromEc(LwRequest* r)
{
    return RunMailbox(r, TRUE);
}

/* ---- routes and policy --------------------------------------------------- */

typedef NTSTATUS (*Handler)(LwRequest*);

typedef struct Route {
    ULONG code;
    ULONG inputLength;
    ULONG outputLength;
    Handler handler;
} Route;

static const Route Routes[] = {
    { IOCTL_READ_PORT_UCHAR, sizeof(PortIoRequest), 0, ReadPort },
    { IOCTL_WRITE_PORT_UCHAR, sizeof(PortIoRequest), 0, WritePort },
    { IOCTL_MAP_PHYSICAL, sizeof(PhysMapRequest), LATCHWIRE_MAP_OUTPUT_SIZE, MapPhysical },
    { IOCTL_UNMAP_LINEAR, sizeof(UnmapRequest), 0, UnmapLinear },
    { IOCTL_EC_IO_RECEIVE, sizeof(EcIoRequest), 0, ReceiveFromEc },
    { IOCTL_EC_IO_SEND, sizeof(EcIoRequest), 0, SendToEc },
    { IOCTL_READ_PORT_USHORT, sizeof(PortIoRequest), 0, ReadPort },
    { IOCTL_WRITE_PORT_USHORT, sizeof(PortIoRequest), 0, WritePort },
    { IOCTL_READ_PORT_ULONG, sizeof(PortIoRequest), 0, ReadPort },
    { IOCTL_WRITE_PORT_ULONG, sizeof(PortIoRequest), 0, WritePort },
    { IOCTL_PCI_CONFIG_WRITE, sizeof(PciConfigRequest), 0, WriteConfig },
    { IOCTL_PCI_CONFIG_READ, sizeof(PciConfigRequest), 0, ReadConfig },
};

static const Route* FindRoute(ULONG code)
{
    ULONG i;
    for (i = 0; i < sizeof(Routes) / sizeof(Routes[0]); i++) {
        if (Routes[i].code == code) return &Routes[i];
    }
    return NULL;
}

BOOLEAN LwIsPublicCode(ULONG code)
{
    return FindRoute(code) != NULL;
}

/* The fields the access policy judges, from a record whose size was checked. */
static void DescribeAccess(const LwRequest* r, LwAccess* access)
{
    RtlZeroMemory(access, sizeof *access);
    access->code = r->code;
    switch (r->code) {
    case IOCTL_READ_PORT_UCHAR: case IOCTL_WRITE_PORT_UCHAR:
    case IOCTL_READ_PORT_USHORT: case IOCTL_WRITE_PORT_USHORT:
    case IOCTL_READ_PORT_ULONG: case IOCTL_WRITE_PORT_ULONG:
        access->port = ((const PortIoRequest*)r->buffer)->Port;
        break;
    case IOCTL_PCI_CONFIG_READ: case IOCTL_PCI_CONFIG_WRITE: {
        const PciConfigRequest* pci = (const PciConfigRequest*)r->buffer;
        access->bus = pci->Bus;
        access->device = pci->Device;
        access->function = pci->Function;
        access->offset = pci->Offset;
        access->length = pci->Length;
        break;
    }
    case IOCTL_EC_IO_RECEIVE: case IOCTL_EC_IO_SEND: {
        const EcIoRequest* ec = (const EcIoRequest*)r->buffer;
        access->ecCommand = ec->Param1;
        access->ecDataCount = ec->Param2;
        access->ecData = ec->Param3;
        break;
    }
    default:
        break;
    }
}

NTSTATUS LwServe(LwRequest* r)
{
    const Route* route = FindRoute(r->code);
    LwAccess access;
    NTSTATUS status;

    r->returned = 0;
    if (route == NULL) return STATUS_INVALID_DEVICE_REQUEST;
    if (r->inputLength != route->inputLength || r->outputLength != route->outputLength) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (r->buffer == NULL) return STATUS_INVALID_PARAMETER;
    DescribeAccess(r, &access);

    LwLock();
    status = Hardware->Admit ? Hardware->Admit(r->code) : STATUS_SUCCESS;
    if (NT_SUCCESS(status) && !lw_access_allowed(&access, r->caller.isAdmin)) status = STATUS_ACCESS_DENIED;
    if (NT_SUCCESS(status)) status = route->handler(r);
    LwUnlock();
    if (!NT_SUCCESS(status)) r->returned = 0;
    return status;
}

NTSTATUS LwCompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void LwRequestFromIrp(PIRP irp, BOOLEAN callerIsAdmin, LwRequest* request)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    request->code = stack->Parameters.DeviceIoControl.IoControlCode;
    request->caller.processId = (ULONG)(ULONG_PTR)PsGetCurrentProcessId();
    request->caller.isAdmin = callerIsAdmin;
    request->caller.host = NULL;
    request->buffer = irp->AssociatedIrp.SystemBuffer;
    request->inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    request->outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    request->returned = 0;
}
