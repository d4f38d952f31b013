#include "lw_dispatch.h"

#include "access_policy.h"
#include "ec_hardware.h"
#include "lw_guard.h"

static const LwCallerMemory* Memory;
static const LwHardware* Hardware;
static FAST_MUTEX HardwareMutex;
static FAST_MUTEX MappingMutex;
static LwMapping Mappings[LW_MAX_MAPPINGS];
static volatile LONG LiveMappingCount;
static LwDecodeFound DecodeFound;

#define REGION_COMMITTED 0x1000u
#define READABLE_PROTECTIONS \
    (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | \
     PAGE_EXECUTE_WRITECOPY)
#define WRITABLE_PROTECTIONS (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)

#define PCI_ENABLE 1u
#define INDEX_HIGH_PORT 1u
#define INDEX_LOW_PORT 2u
#define DATA_PORT 3u


void LwInitialize(const LwCallerMemory* memory, const LwHardware* hardware)
{
    ULONG i;
    Memory = memory;
    Hardware = hardware;
    ExInitializeFastMutex(&HardwareMutex);
    ExInitializeFastMutex(&MappingMutex);
    for (i = 0; i < LW_MAX_MAPPINGS; i++) Mappings[i].inUse = FALSE;
    LiveMappingCount = 0;
    LwRereadDecodeRegisters();
}

/*
 * A fast mutex taken inside a critical region: the thread stays at
 * PASSIVE_LEVEL (the layers call PASSIVE_LEVEL routines under it) with normal
 * kernel APCs held off, and an uncontended acquire costs no wait.
 */
static void Acquire(PFAST_MUTEX mutex)
{
    KeEnterCriticalRegion();
    ExAcquireFastMutexUnsafe(mutex);
}

static void Release(PFAST_MUTEX mutex)
{
    ExReleaseFastMutexUnsafe(mutex);
    KeLeaveCriticalRegion();
}

void LwLock(void)
{
    Acquire(&HardwareMutex);
}

void LwUnlock(void)
{
    Release(&HardwareMutex);
}

/* ---- the caller's memory (never with a lock held) ------------------------- */

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

typedef struct CallerCopy {
    const LwCaller* caller;
    ULONG address;
    void* buffer;
    ULONG length;
    BOOLEAN toCaller;
} CallerCopy;

static long CopyThroughLayer(void* context)
{
    const CallerCopy* c = (const CallerCopy*)context;
    return c->toCaller ? Memory->Write(c->caller, c->address, c->buffer, c->length)
                       : Memory->Read(c->caller, c->address, c->buffer, c->length);
}

/* The layer's copy, inside an exception frame whatever the layer does itself. */
static NTSTATUS CopyWithCaller(const LwCaller* caller, ULONG address, void* buffer, ULONG length, BOOLEAN toCaller)
{
    CallerCopy copy;
    NTSTATUS status = CheckCallerRange(caller, address, length, toCaller);
    if (!NT_SUCCESS(status) || length == 0) return status;
    copy.caller = caller;
    copy.address = address;
    copy.buffer = buffer;
    copy.length = length;
    copy.toCaller = toCaller;
    return LwGuardedCall(CopyThroughLayer, &copy);
}

static NTSTATUS ReadCaller(const LwCaller* caller, ULONG address, void* buffer, ULONG length)
{
    return CopyWithCaller(caller, address, buffer, length, FALSE);
}

static NTSTATUS WriteCaller(const LwCaller* caller, ULONG address, const void* buffer, ULONG length)
{
    return CopyWithCaller(caller, address, (void*)buffer, length, TRUE);
}

/* ---- one request's work, in three phases ---------------------------------- */

/*
 * Before: outside every lock, reads the caller's input and checks where output
 * will go. UnderLock: the hardware work, after the access policy. After:
 * outside the hardware lock, hands the output to the caller (or does the
 * mapping work under the mapping lock).
 */
typedef struct LwWork {
    ULONG value;                      /* a port value, read or to be written */
    UCHAR bytes[LW_PCI_CONFIG_BYTES]; /* configuration bytes, or a mailbox reply */
    ULONG count;                      /* bytes used in bytes[] */
} LwWork;

static ULONG LittleEndian(const UCHAR* bytes, ULONG count)
{
    ULONG value = 0, i;
    for (i = 0; i < count && i < sizeof value; i++) value |= (ULONG)bytes[i] << (8 * i);
    return value;
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

/* A port read may have side effects: the destination is checked before the port is read. */
static NTSTATUS CheckPortDestination(LwRequest* r, LwWork* w)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    (void)w;
    return CheckCallerRange(&r->caller, in->Data, PortWidth(r->code), TRUE);
}

static NTSTATUS ReadPort(LwRequest* r, LwWork* w)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    return Hardware->ReadPort(&r->caller, in->Port, PortWidth(r->code), &w->value);
}

static NTSTATUS DeliverPortValue(LwRequest* r, LwWork* w)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    return WriteCaller(&r->caller, in->Data, &w->value, PortWidth(r->code));
}

static NTSTATUS GatherPortValue(LwRequest* r, LwWork* w)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    w->value = 0;
    return ReadCaller(&r->caller, in->Data, &w->value, PortWidth(r->code));
}

static NTSTATUS WritePort(LwRequest* r, LwWork* w)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    return Hardware->WritePort(&r->caller, in->Port, PortWidth(r->code), w->value);
}

static NTSTATUS CheckConfigDestination(LwRequest* r, LwWork* w)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    (void)w;
    if (in->Length > LW_PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    return CheckCallerRange(&r->caller, in->Data, in->Length, TRUE);
}

static NTSTATUS ReadConfig(LwRequest* r, LwWork* w)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    w->count = in->Length;
    return Hardware->ReadConfig(in, w->bytes);
}

static NTSTATUS DeliverConfigBytes(LwRequest* r, LwWork* w)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    return WriteCaller(&r->caller, in->Data, w->bytes, w->count);
}

static NTSTATUS GatherConfigBytes(LwRequest* r, LwWork* w)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    if (in->Length > LW_PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    w->count = in->Length;
    return ReadCaller(&r->caller, in->Data, w->bytes, in->Length);
}

static NTSTATUS WriteConfig(LwRequest* r, LwWork* w)
{
    return Hardware->WriteConfig((const PciConfigRequest*)r->buffer, w->bytes);
}

/* ---- physical mappings, kept per process, under the mapping lock ----------- */

static void ReleaseMapping(LwMapping* mapping, BOOLEAN processEnded)
{
    Hardware->Unmap(mapping, processEnded);
    Memory->DereferenceProcess(mapping->process);
    mapping->process = NULL;
    mapping->inUse = FALSE;
    InterlockedDecrement(&LiveMappingCount);
}

static void ReleaseEnded(void)
{
    ULONG i;
    if (Memory->ProcessEnded == NULL) return;
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse && Memory->ProcessEnded(Mappings[i].process)) ReleaseMapping(&Mappings[i], TRUE);
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

static ULONG MapReportedLength(void)
{
    return Hardware->MapReportedLength ? Hardware->MapReportedLength() : LATCHWIRE_MAP_OUTPUT_SIZE;
}

static NTSTATUS CheckMapRequest(LwRequest* r, LwWork* w)
{
    const PhysMapRequest* in = (const PhysMapRequest*)r->buffer;
    (void)w;
    if (in->Length > LATCHWIRE_MAX_MAP_LENGTH) return STATUS_INVALID_PARAMETER;
    /* Never report bytes beyond what the output buffer holds. */
    if (MapReportedLength() > r->outputLength) return STATUS_BUFFER_TOO_SMALL;
    return STATUS_SUCCESS;
}

static NTSTATUS MapInto(LwRequest* r, LwMapping* mapping)
{
    const PhysMapRequest* in = (const PhysMapRequest*)r->buffer;
    NTSTATUS status;
    mapping->process = Memory->ReferenceProcess(&r->caller);
    if (mapping->process == NULL) return STATUS_ACCESS_DENIED;
    mapping->processId = r->caller.processId;
    mapping->phys = in->PhysAddr;
    mapping->length = in->Length;
    mapping->linear = 0;
    mapping->host = NULL;
    status = Hardware->Map(&r->caller, mapping);
    if (!NT_SUCCESS(status)) {
        Memory->DereferenceProcess(mapping->process);
        mapping->process = NULL;
        return status;
    }
    mapping->inUse = TRUE;
    InterlockedIncrement(&LiveMappingCount);
    return STATUS_SUCCESS;
}

static NTSTATUS MapPhysical(LwRequest* r, LwWork* w)
{
    LwMapping* mapping;
    ULONG linear = 0;
    NTSTATUS status;
    (void)w;
    Acquire(&MappingMutex);
    ReleaseEnded();
    mapping = FreeMapping();
    status = mapping ? MapInto(r, mapping) : STATUS_INSUFFICIENT_RESOURCES;
    if (NT_SUCCESS(status)) linear = mapping->linear;
    Release(&MappingMutex);
    if (!NT_SUCCESS(status)) return status;
    *(ULONG*)r->buffer = linear;
    r->returned = MapReportedLength();
    return STATUS_SUCCESS;
}

static NTSTATUS UnmapLinear(LwRequest* r, LwWork* w)
{
    ULONG linear = ((const UnmapRequest*)r->buffer)->LinearAddr;
    NTSTATUS status = STATUS_INVALID_PARAMETER;
    ULONG i;
    (void)w;
    Acquire(&MappingMutex);
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        LwMapping* m = &Mappings[i];
        if (m->inUse && m->processId == r->caller.processId && m->linear == linear) {
            ReleaseMapping(m, FALSE);
            status = STATUS_SUCCESS;
            break;
        }
    }
    Release(&MappingMutex);
    return status;
}

/* Called as a process ends: a process without mappings costs one read, no lock. */
void LwReleaseProcessMappings(ULONG processId)
{
    ULONG i;
    if (LiveMappingCount == 0) return;
    Acquire(&MappingMutex);
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse && Mappings[i].processId == processId) ReleaseMapping(&Mappings[i], FALSE);
    }
    Release(&MappingMutex);
}

void LwReleaseEndedProcessMappings(void)
{
    if (LiveMappingCount == 0) return;
    Acquire(&MappingMutex);
    ReleaseEnded();
    Release(&MappingMutex);
}

void LwReleaseAllMappings(void)
{
    ULONG i;
    Acquire(&MappingMutex);
    for (i = 0; i < LW_MAX_MAPPINGS; i++) {
        if (Mappings[i].inUse) ReleaseMapping(&Mappings[i], FALSE);
    }
    Release(&MappingMutex);
}

ULONG LwLiveMappings(void)
{
    return (ULONG)LiveMappingCount;
}

/* ---- the LPC bridges' decode registers ------------------------------------ */

static NTSTATUS ReadBridge(ULONG device, ULONG function, ULONG offset, ULONG length, ULONG* value)
{
    PciConfigRequest request = { PCI_ENABLE, LPC_BRIDGE_BUS, device, function, offset, 0, length };
    UCHAR bytes[4] = { 0, 0, 0, 0 };
    NTSTATUS status = Hardware->ReadConfig(&request, bytes);
    *value = LittleEndian(bytes, length);
    return status;
}

static NTSTATUS WriteBridge(ULONG device, ULONG function, ULONG offset, ULONG length, ULONG value)
{
    PciConfigRequest request = { PCI_ENABLE, LPC_BRIDGE_BUS, device, function, offset, 0, length };
    UCHAR bytes[4];
    ULONG i;
    for (i = 0; i < sizeof bytes; i++) bytes[i] = (UCHAR)(value >> (8 * i));
    return Hardware->WriteConfig(&request, bytes);
}

/* What a standard user may write back: the decode registers as the driver found them. */
void LwRereadDecodeRegisters(void)
{
    ULONG firstBase = 0, firstControl = 0, secondBase = 0;
    ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2, &firstBase);
    ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1, &firstControl);
    ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2, &secondBase);
    DecodeFound.firstBase = firstBase;
    DecodeFound.firstControl = firstControl;
    DecodeFound.secondBase = secondBase;
}

/* ---- the EC mailbox, over the hardware layer's ports ----------------------- */

/*
 * The library's index-mode exchanges reach the same EC registers through the
 * same index ports, one request per port access. The mailbox therefore goes
 * ahead only when the window is idle (the idle address in the index ports and
 * the flag free); otherwise it reports busy with the window as it found it.
 * Whatever happens after that, it leaves the flag free and the idle address in
 * the index ports, as an index-mode exchange does.
 */
typedef struct EcWindow {
    const LwCaller* caller;
    ULONG chipset; /* 0: none found, 1 first, 2 second */
    ULONG base;    /* index window base port */
    ULONG savedBase;
    ULONG savedControl;
} EcWindow;

static NTSTATUS OpenFirstChipsetWindow(EcWindow* w)
{
    NTSTATUS status = ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2,
                                 &w->savedBase);
    if (NT_SUCCESS(status)) {
        status = ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1,
                            &w->savedControl);
    }
    if (!NT_SUCCESS(status)) return status; /* nothing saved, nothing to restore */
    w->chipset = 1;
    w->base = FIRST_CHIPSET_INDEX_BASE;
    status = WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2,
                         FIRST_CHIPSET_INDEX_BASE);
    if (NT_SUCCESS(status)) {
        status = WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1,
                             w->savedControl | FIRST_CHIPSET_DECODE_BITS);
    }
    return status;
}

static NTSTATUS OpenSecondChipsetWindow(EcWindow* w)
{
    NTSTATUS status = ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2,
                                 &w->savedBase);
    if (!NT_SUCCESS(status)) return status;
    w->chipset = 2;
    w->base = SECOND_CHIPSET_INDEX_BASE;
    return WriteBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2,
                       SECOND_CHIPSET_DECODE_OPEN);
}

/* Finds the bridge, saves its decode registers and opens the EC window (as the library does). */
static NTSTATUS OpenEcWindow(EcWindow* w)
{
    ULONG vendor = 0;
    if (NT_SUCCESS(ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, 0, 2, &vendor)) &&
        vendor == FIRST_CHIPSET_VENDOR) {
        return OpenFirstChipsetWindow(w);
    }
    if (NT_SUCCESS(ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, 0, 2, &vendor)) &&
        vendor == SECOND_CHIPSET_VENDOR) {
        return OpenSecondChipsetWindow(w);
    }
    return STATUS_NO_SUCH_DEVICE;
}

/* Puts back the decode registers that OpenEcWindow saved. */
static void CloseEcWindow(const EcWindow* w)
{
    if (w->chipset == 1) {
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_BASE, 2, w->savedBase);
        WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, FIRST_CHIPSET_DECODE_CTL, 1, w->savedControl);
    } else if (w->chipset == 2) {
        WriteBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, SECOND_CHIPSET_DECODE_BASE, 2, w->savedBase);
    }
}

static NTSTATUS ReadWindowPort(const EcWindow* w, ULONG offset, UCHAR* value)
{
    ULONG read = 0;
    NTSTATUS status = Hardware->ReadPort(w->caller, w->base + offset, 1, &read);
    *value = (UCHAR)read;
    return status;
}

static NTSTATUS WriteWindowPort(const EcWindow* w, ULONG offset, UCHAR value)
{
    return Hardware->WritePort(w->caller, w->base + offset, 1, value);
}

static NTSTATUS SelectEcRegister(const EcWindow* w, ULONG address)
{
    NTSTATUS status = WriteWindowPort(w, INDEX_HIGH_PORT, (UCHAR)(address >> 8));
    if (NT_SUCCESS(status)) status = WriteWindowPort(w, INDEX_LOW_PORT, (UCHAR)address);
    return status;
}

static NTSTATUS ReadEc(const EcWindow* w, ULONG address, UCHAR* value)
{
    NTSTATUS status = SelectEcRegister(w, address);
    if (NT_SUCCESS(status)) status = ReadWindowPort(w, DATA_PORT, value);
    return status;
}

static NTSTATUS WriteEc(const EcWindow* w, ULONG address, UCHAR value)
{
    NTSTATUS status = SelectEcRegister(w, address);
    if (NT_SUCCESS(status)) status = WriteWindowPort(w, DATA_PORT, value);
    return status;
}

/* Posts the handshake and polls until the EC answers it. */
static NTSTATUS PostAndWait(const EcWindow* w)
{
    ULONG polls;
    NTSTATUS status = WriteEc(w, EC_FLAG_REG, FLAG_POSTED);
    for (polls = 0; NT_SUCCESS(status) && polls < LW_EC_FLAG_POLLS; polls++) {
        UCHAR flag = 0;
        status = ReadEc(w, EC_FLAG_REG, &flag);
        if (NT_SUCCESS(status) && flag == FLAG_READY) return STATUS_SUCCESS;
    }
    return NT_SUCCESS(status) ? STATUS_IO_TIMEOUT : status;
}

static NTSTATUS SendEcByte(const EcWindow* w, ULONG reg, UCHAR value)
{
    NTSTATUS status = WriteEc(w, EC_FLAG_REG, FLAG_READY);
    if (NT_SUCCESS(status)) status = WriteEc(w, reg, value);
    if (NT_SUCCESS(status)) status = PostAndWait(w);
    return status;
}

static NTSTATUS ReceiveEcByte(const EcWindow* w, UCHAR* value)
{
    NTSTATUS status = ReadEc(w, EC_DATA_REG, value);
    if (NT_SUCCESS(status)) status = PostAndWait(w);
    return status;
}

static NTSTATUS WindowIdle(const EcWindow* w, BOOLEAN* idle)
{
    UCHAR high = 0, low = 0;
    NTSTATUS status = ReadWindowPort(w, INDEX_HIGH_PORT, &high);
    if (NT_SUCCESS(status)) status = ReadWindowPort(w, INDEX_LOW_PORT, &low);
    *idle = NT_SUCCESS(status) && (((ULONG)high << 8) | low) == EC_DEFAULT_ADDR;
    return status;
}

typedef struct MailboxExchange {
    UCHAR command;
    UCHAR data[LW_MAILBOX_MAX_DATA];
    ULONG dataCount;
    UCHAR* reply;
    ULONG replyCount;
} MailboxExchange;

static NTSTATUS Converse(const EcWindow* w, const MailboxExchange* x)
{
    ULONG i;
    NTSTATUS status = SendEcByte(w, EC_CMD_REG, x->command);
    for (i = 0; NT_SUCCESS(status) && i < x->dataCount; i++) status = SendEcByte(w, EC_DATA_REG, x->data[i]);
    for (i = 0; NT_SUCCESS(status) && i < x->replyCount; i++) status = ReceiveEcByte(w, &x->reply[i]);
    return status;
}

static NTSTATUS RunEcExchange(const EcWindow* w, const MailboxExchange* x)
{
    BOOLEAN idle = FALSE;
    UCHAR flag = 0;
    NTSTATUS status, ending;
    status = WindowIdle(w, &idle);
    if (!NT_SUCCESS(status)) return status;
    if (!idle) return STATUS_DEVICE_BUSY; /* an index-mode exchange is between two of its requests */
    status = ReadEc(w, EC_FLAG_REG, &flag);
    if (NT_SUCCESS(status) && flag != FLAG_FREE) status = STATUS_DEVICE_BUSY; /* an exchange is running */
    if (NT_SUCCESS(status)) {
        status = Converse(w, x);
        ending = WriteEc(w, EC_FLAG_REG, FLAG_FREE);
        if (NT_SUCCESS(status)) status = ending;
    }
    ending = SelectEcRegister(w, EC_DEFAULT_ADDR);
    return NT_SUCCESS(status) ? ending : status;
}

static NTSTATUS RunMailbox(const LwCaller* caller, MailboxExchange* x)
{
    EcWindow window;
    NTSTATUS status;
    RtlZeroMemory(&window, sizeof window);
    window.caller = caller;
    status = OpenEcWindow(&window);
    if (NT_SUCCESS(status)) status = RunEcExchange(&window, x);
    CloseEcWindow(&window);
    return status;
}

/*
 * EcIoRequest as the mailbox codes read it: Param1 command, Param2 data byte
 * count (0..2), Param3 and the low byte of Param4 the data, and for a receive
 * Param5 reply byte count (0..8), Param6 the caller's address for the reply,
 * Param7 that buffer's size (at least Param5).
 */
static ULONG ReplyCount(const LwRequest* r)
{
    return r->code == IOCTL_EC_IO_RECEIVE ? ((const EcIoRequest*)r->buffer)->Param5 : 0;
}

/* The destination is checked before the EC is asked anything. */
static NTSTATUS CheckMailboxRequest(LwRequest* r, LwWork* w)
{
    const EcIoRequest* in = (const EcIoRequest*)r->buffer;
    ULONG replyCount = ReplyCount(r);
    (void)w;
    if (in->Param2 > LW_MAILBOX_MAX_DATA) return STATUS_INVALID_PARAMETER;
    if (replyCount > LW_MAILBOX_MAX_REPLY || replyCount > in->Param7) return STATUS_INVALID_PARAMETER;
    return CheckCallerRange(&r->caller, in->Param6, replyCount, TRUE);
}

static NTSTATUS Mailbox(LwRequest* r, LwWork* w)
{
    const EcIoRequest* in = (const EcIoRequest*)r->buffer;
    MailboxExchange x;
    x.command = in->Param1;
    x.data[0] = in->Param3;
    x.data[1] = (UCHAR)in->Param4;
    x.dataCount = in->Param2;
    x.reply = w->bytes;
    x.replyCount = ReplyCount(r);
    w->count = x.replyCount;
    return RunMailbox(&r->caller, &x);
}

static NTSTATUS DeliverReply(LwRequest* r, LwWork* w)
{
    const EcIoRequest* in = (const EcIoRequest*)r->buffer;
    return WriteCaller(&r->caller, in->Param6, w->bytes, w->count);
}

/* ---- routes and policy --------------------------------------------------- */

typedef NTSTATUS (*Phase)(LwRequest*, LwWork*);

typedef struct Route {
    ULONG code;
    ULONG inputLength;
    ULONG outputLength;
    Phase before;     /* no lock held */
    Phase underLock;  /* the hardware lock held, the policy passed */
    Phase after;      /* no hardware lock held */
} Route;

static const Route Routes[] = {
    { IOCTL_READ_PORT_UCHAR, sizeof(PortIoRequest), 0, CheckPortDestination, ReadPort, DeliverPortValue },
    { IOCTL_WRITE_PORT_UCHAR, sizeof(PortIoRequest), 0, GatherPortValue, WritePort, NULL },
    { IOCTL_MAP_PHYSICAL, sizeof(PhysMapRequest), LATCHWIRE_MAP_OUTPUT_SIZE, CheckMapRequest, NULL, MapPhysical },
    { IOCTL_UNMAP_LINEAR, sizeof(UnmapRequest), 0, NULL, NULL, UnmapLinear },
    { IOCTL_EC_IO_RECEIVE, sizeof(EcIoRequest), 0, CheckMailboxRequest, Mailbox, DeliverReply },
    { IOCTL_EC_IO_SEND, sizeof(EcIoRequest), 0, CheckMailboxRequest, Mailbox, NULL },
    { IOCTL_READ_PORT_USHORT, sizeof(PortIoRequest), 0, CheckPortDestination, ReadPort, DeliverPortValue },
    { IOCTL_WRITE_PORT_USHORT, sizeof(PortIoRequest), 0, GatherPortValue, WritePort, NULL },
    { IOCTL_READ_PORT_ULONG, sizeof(PortIoRequest), 0, CheckPortDestination, ReadPort, DeliverPortValue },
    { IOCTL_WRITE_PORT_ULONG, sizeof(PortIoRequest), 0, GatherPortValue, WritePort, NULL },
    { IOCTL_PCI_CONFIG_WRITE, sizeof(PciConfigRequest), 0, GatherConfigBytes, WriteConfig, NULL },
    { IOCTL_PCI_CONFIG_READ, sizeof(PciConfigRequest), 0, CheckConfigDestination, ReadConfig, DeliverConfigBytes },
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

/* The EC register that the index ports of a data port's window select, read back from them. */
static ULONG SelectedEcRegister(const LwCaller* caller, ULONG dataPort)
{
    EcWindow window;
    UCHAR high = 0, low = 0;
    RtlZeroMemory(&window, sizeof window);
    window.caller = caller;
    window.base = lw_index_base_of_data_port(dataPort);
    if (!NT_SUCCESS(ReadWindowPort(&window, INDEX_HIGH_PORT, &high)) ||
        !NT_SUCCESS(ReadWindowPort(&window, INDEX_LOW_PORT, &low))) {
        return LW_NO_EC_REGISTER;
    }
    return ((ULONG)high << 8) | low;
}

/* The fields the access policy judges, from a record whose size was checked; under the hardware lock. */
static void DescribeAccess(const LwRequest* r, const LwWork* w, LwAccess* access)
{
    RtlZeroMemory(access, sizeof *access);
    access->code = r->code;
    access->ecRegister = LW_NO_EC_REGISTER;
    switch (r->code) {
    case IOCTL_READ_PORT_UCHAR: case IOCTL_WRITE_PORT_UCHAR:
    case IOCTL_READ_PORT_USHORT: case IOCTL_WRITE_PORT_USHORT:
    case IOCTL_READ_PORT_ULONG: case IOCTL_WRITE_PORT_ULONG:
        access->port = ((const PortIoRequest*)r->buffer)->Port;
        access->value = w->value;
        if (!r->caller.isAdmin && lw_access_needs_ec_register(r->code, access->port)) {
            access->ecRegister = SelectedEcRegister(&r->caller, access->port);
        }
        break;
    case IOCTL_PCI_CONFIG_READ: case IOCTL_PCI_CONFIG_WRITE: {
        const PciConfigRequest* pci = (const PciConfigRequest*)r->buffer;
        access->bus = pci->Bus;
        access->device = pci->Device;
        access->function = pci->Function;
        access->offset = pci->Offset;
        access->length = pci->Length;
        if (r->code == IOCTL_PCI_CONFIG_WRITE) access->value = LittleEndian(w->bytes, pci->Length);
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

static NTSTATUS AdmitAndAct(const Route* route, LwRequest* r, LwWork* w)
{
    LwAccess access;
    NTSTATUS status;
    LwLock();
    status = Hardware->Admit ? Hardware->Admit(r->code) : STATUS_SUCCESS;
    if (NT_SUCCESS(status)) {
        DescribeAccess(r, w, &access);
        if (!lw_access_allowed(&access, r->caller.isAdmin, &DecodeFound)) status = STATUS_ACCESS_DENIED;
    }
    if (NT_SUCCESS(status) && route->underLock) status = route->underLock(r, w);
    LwUnlock();
    return status;
}

NTSTATUS LwServe(LwRequest* r)
{
    const Route* route = FindRoute(r->code);
    LwWork work;
    NTSTATUS status;

    r->returned = 0;
    if (route == NULL) return STATUS_INVALID_DEVICE_REQUEST;
    if (r->inputLength != route->inputLength || r->outputLength != route->outputLength) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (r->buffer == NULL) return STATUS_INVALID_PARAMETER;
    work.value = 0;
    work.count = 0;

    status = route->before ? route->before(r, &work) : STATUS_SUCCESS;
    if (NT_SUCCESS(status)) status = AdmitAndAct(route, r, &work);
    if (NT_SUCCESS(status) && route->after) status = route->after(r, &work);
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

NTSTATUS LwRegionFromQuery(const LwMemoryBasicInformation* info, LwRegion* region)
{
    ULONG_PTR base = (ULONG_PTR)info->BaseAddress;
    if (!LwFitsRecord(base, 1)) return STATUS_ACCESS_VIOLATION;
    region->base = (ULONG)base;
    region->size = LwFitsRecord(base, info->RegionSize) ? (ULONG)info->RegionSize : (ULONG)(0 - (ULONG)base);
    region->state = info->State;
    region->protect = info->Protect;
    return STATUS_SUCCESS;
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
