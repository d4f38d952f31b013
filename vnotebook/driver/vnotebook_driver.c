/*
 * Simulation kernel driver of the virtual notebook.
 *
 * Creates \Device\Latchwire with the link \DosDevices\Latchwire and serves
 * the Latchwire control codes through the shared dispatch core (the EC
 * mailbox included, run over the emulated ports), with the emulator core in
 * place of the hardware and Wine's user-mode hosting to
 * reach the caller (wine_host.c). Physical memory is a shared section whose
 * views are mapped into the caller.
 *
 * Beside the public codes it serves the virtual notebook's private codes
 * (vnotebook_control.h), which read the emulator's state and configure it.
 */
#include <ntddk.h>

#include "latchwire_device.h"
#include "lw_dispatch.h"
#include "vn_core.h"
#include "vnotebook_control.h"
#include "wine_host.h"

static VnMachine Machine;
static HANDLE PhysSection;
static PVOID PhysView;
static PDEVICE_OBJECT LatchwireDevice;

/*
 * Standard-user mode: every caller is taken for a standard user. Any caller
 * may switch it on; none may switch it off, and a reset keeps it: only a new
 * start of the driver (an administrator's act, through the service control
 * manager) ends it.
 */
static BOOLEAN CallersAreStandard;

/* ---- the emulated hardware ------------------------------------------------ */

static NTSTATUS EmulatedReadPort(const LwCaller* caller, ULONG port, ULONG width, ULONG* value)
{
    uint32_t read = 0;
    if (!vn_port_read(&Machine, caller->processId, port, width, &read)) return STATUS_IO_DEVICE_ERROR;
    *value = read;
    return STATUS_SUCCESS;
}

static NTSTATUS EmulatedWritePort(const LwCaller* caller, ULONG port, ULONG width, ULONG value)
{
    return vn_port_write(&Machine, caller->processId, port, width, value) ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
}

static NTSTATUS EmulatedReadConfig(const PciConfigRequest* r, UCHAR* bytes)
{
    return vn_pci_read(&Machine, r->Bus, r->Device, r->Function, r->Offset, bytes, r->Length)
               ? STATUS_SUCCESS
               : STATUS_INVALID_PARAMETER;
}

static NTSTATUS EmulatedWriteConfig(const PciConfigRequest* r, const UCHAR* bytes)
{
    return vn_pci_write(&Machine, r->Bus, r->Device, r->Function, r->Offset, bytes, r->Length)
               ? STATUS_SUCCESS
               : STATUS_INVALID_PARAMETER;
}

/* Maps the physical window into the caller; length 0 means one page. */
static NTSTATUS EmulatedMap(const LwCaller* caller, LwMapping* mapping)
{
    uint32_t length = mapping->length;
    PVOID view = NULL;
    NTSTATUS status;
    if (!vn_map_check(&Machine, mapping->phys, &length)) return STATUS_INVALID_PARAMETER;
    status = WineMapIntoCaller(caller->processId, PhysSection, &view);
    if (!NT_SUCCESS(status)) return status;
    /* The record names the mapping with a 32-bit word: a view above 4 GB (only a
       64-bit caller's can be) is given back and the request refused. */
    if (!LwFitsRecord((ULONG_PTR)view, (mapping->phys - VN_PHYS_BASE) + length)) {
        WineUnmapFromProcess((HANDLE)mapping->process, view);
        return STATUS_CONFLICTING_ADDRESSES;
    }
    mapping->length = length;
    mapping->host = view;
    mapping->linear = (ULONG)(ULONG_PTR)view + (mapping->phys - VN_PHYS_BASE);
    return STATUS_SUCCESS;
}

static void EmulatedUnmap(LwMapping* mapping, BOOLEAN processEnded)
{
    if (!processEnded) WineUnmapFromProcess((HANDLE)mapping->process, mapping->host);
}

/* Counts every public request and applies an injected request fault. */
static NTSTATUS EmulatedAdmit(ULONG code)
{
    Machine.requestCount++;
    return vn_take_request_fault(&Machine, code) ? STATUS_IO_DEVICE_ERROR : STATUS_SUCCESS;
}

static ULONG EmulatedMapReportedLength(void)
{
    return Machine.mapReturnedLength;
}

static const LwHardware EmulatedHardware = {
    EmulatedReadPort, EmulatedWritePort, EmulatedReadConfig, EmulatedWriteConfig, EmulatedMap, EmulatedUnmap,
    EmulatedAdmit, EmulatedMapReportedLength,
};

/* ---- private codes -------------------------------------------------------- */

static NTSTATUS SetCallerRights(ULONG callerIsAdmin)
{
    if (callerIsAdmin > 1) return STATUS_INVALID_PARAMETER;
    if (callerIsAdmin == 0) CallersAreStandard = TRUE;
    return callerIsAdmin == 1 && CallersAreStandard ? STATUS_ACCESS_DENIED : STATUS_SUCCESS;
}

static NTSTATUS ServePrivate(LwRequest* r)
{
    switch (r->code) {
    case IOCTL_VN_GET_STATE:
        if (r->inputLength != 0 || r->outputLength != sizeof(VnSnapshot)) return STATUS_INFO_LENGTH_MISMATCH;
        LwLock();
        vn_snapshot(&Machine, (VnSnapshot*)r->buffer);
        ((VnSnapshot*)r->buffer)->mappings = LwLiveMappings();
        LwUnlock();
        r->returned = sizeof(VnSnapshot);
        return STATUS_SUCCESS;
    case IOCTL_VN_CONFIGURE: {
        const VnConfigRequest* in = (const VnConfigRequest*)r->buffer;
        int done;
        if (r->inputLength != sizeof(VnConfigRequest) || r->outputLength != 0) return STATUS_INFO_LENGTH_MISMATCH;
        if (in->Key == VN_CFG_CALLER_IS_ADMIN) return SetCallerRights(in->Value);
        LwLock();
        done = vn_configure(&Machine, in->Key, in->Value);
        if (done && in->Key == VN_CFG_CHIPSET) LwRereadDecodeRegisters(); /* another notebook under the driver */
        LwUnlock();
        return done ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
    }
    case IOCTL_VN_RESET:
        if (r->inputLength != 0 || r->outputLength != 0) return STATUS_INFO_LENGTH_MISMATCH;
        LwReleaseAllMappings();
        LwLock();
        vn_init(&Machine, (uint8_t*)PhysView, VN_PHYS_SIZE);
        LwRereadDecodeRegisters();
        LwUnlock();
        return STATUS_SUCCESS;
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

/* ---- dispatch ------------------------------------------------------------- */

static NTSTATUS WINAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    return LwCompleteIrp(irp, STATUS_SUCCESS, 0);
}

/* A closing handle may be the last one of a process that has ended: drop what such processes left. */
static NTSTATUS WINAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    LwReleaseEndedProcessMappings();
    return LwCompleteIrp(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    LwRequest r;
    NTSTATUS status;
    (void)device;

    LwRequestFromIrp(irp, !CallersAreStandard, &r);
    if (r.inputLength != 0 && r.buffer == NULL) {
        status = STATUS_INVALID_PARAMETER;
    } else if (LwIsPublicCode(r.code)) {
        status = WineOpenCaller(&r.caller);
        if (NT_SUCCESS(status)) status = LwServe(&r);
        WineCloseCaller(&r.caller);
    } else {
        status = ServePrivate(&r);
    }
    return LwCompleteIrp(irp, status, r.returned);
}

static void WINAPI DriverUnload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
    IoDeleteSymbolicLink(&link);
    if (LatchwireDevice) IoDeleteDevice(LatchwireDevice);
    LatchwireDevice = NULL;
    LwReleaseAllMappings();
    WineDeleteSection(PhysSection, PhysView);
    PhysSection = NULL;
    PhysView = NULL;
}

NTSTATUS WINAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING name, link;
    NTSTATUS status;
    (void)registryPath;

    status = WineHostStart();
    if (!NT_SUCCESS(status)) return status;
    status = WineCreateSection(VN_PHYS_SIZE, &PhysSection, &PhysView);
    if (!NT_SUCCESS(status)) return status;
    vn_init(&Machine, (uint8_t*)PhysView, VN_PHYS_SIZE);
    LwInitialize(&WineCallerMemory, &EmulatedHardware);

    RtlInitUnicodeString(&name, LATCHWIRE_DEVICE_NAME_W);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &LatchwireDevice);
    if (NT_SUCCESS(status)) {
        RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) IoDeleteDevice(LatchwireDevice);
    }
    if (!NT_SUCCESS(status)) {
        LatchwireDevice = NULL;
        WineDeleteSection(PhysSection, PhysView);
        PhysSection = NULL;
        PhysView = NULL;
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
