/*
 * Simulation kernel driver of the virtual notebook.
 *
 * Creates \Device\Latchwire with the link \DosDevices\Latchwire and carries
 * out the Latchwire control codes on the emulator core instead of real
 * hardware. Records that carry pointers are served by reading and writing the
 * calling process's memory; physical memory is a shared section whose views
 * are mapped into the caller.
 *
 * Under Wine the driver runs in its own user process (winedevice.exe), so the
 * caller's memory is reached through ntdll's NtReadVirtualMemory and
 * NtWriteVirtualMemory on a handle to the calling process. ntdll cannot be
 * imported by a driver, so its exports are looked up at run time from the
 * loader list in the process environment block.
 *
 * Every request is validated (code, input and output sizes, ranges) before it
 * touches the emulator; a malformed request fails with an error status.
 */
#include <ntddk.h>
#include <ntimage.h>
#include <intrin.h>

#include "latchwire_device.h"
#include "vnotebook_control.h"
#include "vn_core.h"

/* ---- ntdll, found at run time ------------------------------------------ */

typedef NTSTATUS(NTAPI* NtOpenProcessFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PCLIENT_ID);
typedef NTSTATUS(NTAPI* NtCloseFn)(HANDLE);
typedef NTSTATUS(NTAPI* NtReadVirtualMemoryFn)(HANDLE, PVOID, PVOID, SIZE_T, PSIZE_T);
typedef NTSTATUS(NTAPI* NtWriteVirtualMemoryFn)(HANDLE, PVOID, const void*, SIZE_T, PSIZE_T);
typedef NTSTATUS(NTAPI* NtCreateSectionFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PLARGE_INTEGER,
                                           ULONG, ULONG, HANDLE);
typedef NTSTATUS(NTAPI* NtMapViewOfSectionFn)(HANDLE, HANDLE, PVOID*, ULONG_PTR, SIZE_T, PLARGE_INTEGER,
                                              PSIZE_T, ULONG, ULONG, ULONG);
typedef NTSTATUS(NTAPI* NtUnmapViewOfSectionFn)(HANDLE, PVOID);
typedef NTSTATUS(NTAPI* NtQueryVirtualMemoryFn)(HANDLE, PVOID, ULONG, PVOID, SIZE_T, PSIZE_T);

/* MEMORY_BASIC_INFORMATION of a 32-bit process. */
typedef struct RegionInfo {
    PVOID BaseAddress;
    PVOID AllocationBase;
    ULONG AllocationProtect;
    SIZE_T RegionSize;
    ULONG State;
    ULONG Protect;
    ULONG Type;
} RegionInfo;
#define MEMORY_BASIC_INFORMATION_CLASS 0
#define REGION_COMMITTED 0x1000
#define WRITABLE_PROTECTIONS (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)

static struct {
    NtOpenProcessFn OpenProcess;
    NtCloseFn Close;
    NtReadVirtualMemoryFn ReadVirtualMemory;
    NtWriteVirtualMemoryFn WriteVirtualMemory;
    NtCreateSectionFn CreateSection;
    NtMapViewOfSectionFn MapViewOfSection;
    NtUnmapViewOfSectionFn UnmapViewOfSection;
    NtQueryVirtualMemoryFn QueryVirtualMemory;
} Ntdll;

/* 32-bit loader structures, only the fields used here. */
typedef struct LoaderEntry {
    LIST_ENTRY InLoadOrderLinks;
    LIST_ENTRY InMemoryOrderLinks;
    LIST_ENTRY InInitializationOrderLinks;
    PVOID DllBase;
    PVOID EntryPoint;
    ULONG SizeOfImage;
    UNICODE_STRING FullDllName;
    UNICODE_STRING BaseDllName;
} LoaderEntry;

typedef struct LoaderData {
    ULONG Length;
    BOOLEAN Initialized;
    PVOID SsHandle;
    LIST_ENTRY InLoadOrderModuleList;
} LoaderData;

#define PEB_LDR_OFFSET 0x0C
#define TEB_PEB_OFFSET 0x30

static int SameNameIgnoringCase(const UNICODE_STRING* name, const WCHAR* wanted)
{
    USHORT count = (USHORT)(name->Length / sizeof(WCHAR));
    USHORT i;
    for (i = 0; i < count; i++) {
        WCHAR a = name->Buffer[i], b = wanted[i];
        if (b == 0) return 0;
        if (a >= 'A' && a <= 'Z') a = (WCHAR)(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = (WCHAR)(b - 'A' + 'a');
        if (a != b) return 0;
    }
    return wanted[count] == 0;
}

static PUCHAR FindLoadedModule(const WCHAR* baseName)
{
    PUCHAR peb = (PUCHAR)(ULONG_PTR)__readfsdword(TEB_PEB_OFFSET);
    LoaderData* ldr = *(LoaderData**)(peb + PEB_LDR_OFFSET);
    LIST_ENTRY* head = &ldr->InLoadOrderModuleList;
    LIST_ENTRY* link;
    for (link = head->Flink; link != head; link = link->Flink) {
        LoaderEntry* entry = CONTAINING_RECORD(link, LoaderEntry, InLoadOrderLinks);
        if (SameNameIgnoringCase(&entry->BaseDllName, baseName)) return (PUCHAR)entry->DllBase;
    }
    return NULL;
}

static int SameAnsi(const char* a, const char* b)
{
    while (*a && *a == *b) { a++; b++; }
    return *a == *b;
}

static PVOID FindExport(PUCHAR module, const char* name)
{
    PIMAGE_DOS_HEADER dos = (PIMAGE_DOS_HEADER)module;
    PIMAGE_NT_HEADERS nt = (PIMAGE_NT_HEADERS)(module + dos->e_lfanew);
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    PIMAGE_EXPORT_DIRECTORY exports = (PIMAGE_EXPORT_DIRECTORY)(module + dir.VirtualAddress);
    ULONG* names = (ULONG*)(module + exports->AddressOfNames);
    USHORT* ordinals = (USHORT*)(module + exports->AddressOfNameOrdinals);
    ULONG* functions = (ULONG*)(module + exports->AddressOfFunctions);
    ULONG i;
    for (i = 0; i < exports->NumberOfNames; i++) {
        if (SameAnsi((const char*)(module + names[i]), name)) return module + functions[ordinals[i]];
    }
    return NULL;
}

static NTSTATUS ResolveNtdll(void)
{
    PUCHAR ntdll = FindLoadedModule(L"ntdll.dll");
    if (ntdll == NULL) return STATUS_PROCEDURE_NOT_FOUND;
    Ntdll.OpenProcess = (NtOpenProcessFn)FindExport(ntdll, "NtOpenProcess");
    Ntdll.Close = (NtCloseFn)FindExport(ntdll, "NtClose");
    Ntdll.ReadVirtualMemory = (NtReadVirtualMemoryFn)FindExport(ntdll, "NtReadVirtualMemory");
    Ntdll.WriteVirtualMemory = (NtWriteVirtualMemoryFn)FindExport(ntdll, "NtWriteVirtualMemory");
    Ntdll.CreateSection = (NtCreateSectionFn)FindExport(ntdll, "NtCreateSection");
    Ntdll.MapViewOfSection = (NtMapViewOfSectionFn)FindExport(ntdll, "NtMapViewOfSection");
    Ntdll.UnmapViewOfSection = (NtUnmapViewOfSectionFn)FindExport(ntdll, "NtUnmapViewOfSection");
    Ntdll.QueryVirtualMemory = (NtQueryVirtualMemoryFn)FindExport(ntdll, "NtQueryVirtualMemory");
    if (!Ntdll.QueryVirtualMemory || !Ntdll.OpenProcess || !Ntdll.Close || !Ntdll.ReadVirtualMemory || !Ntdll.WriteVirtualMemory ||
        !Ntdll.CreateSection || !Ntdll.MapViewOfSection || !Ntdll.UnmapViewOfSection) {
        return STATUS_PROCEDURE_NOT_FOUND;
    }
    return STATUS_SUCCESS;
}

/* ---- the machine -------------------------------------------------------- */

static VnMachine Machine;
static KSPIN_LOCK MachineLock;
static HANDLE PhysSection;
static PVOID PhysView;
static PDEVICE_OBJECT LatchwireDevice;

#ifndef PROCESS_VM_OPERATION
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_QUERY_INFORMATION 0x0400
#endif

#define CURRENT_PROCESS ((HANDLE)(LONG_PTR)-1)
#define VIEW_UNMAP 2

static NTSTATUS CreatePhysicalMemory(void)
{
    LARGE_INTEGER size;
    SIZE_T viewSize = 0;
    NTSTATUS status;
    size.QuadPart = VN_PHYS_SIZE;
    status = Ntdll.CreateSection(&PhysSection, SECTION_ALL_ACCESS, NULL, &size, PAGE_READWRITE, SEC_COMMIT, NULL);
    if (!NT_SUCCESS(status)) return status;
    status = Ntdll.MapViewOfSection(PhysSection, CURRENT_PROCESS, &PhysView, 0, 0, NULL, &viewSize, VIEW_UNMAP,
                                    0, PAGE_READWRITE);
    if (!NT_SUCCESS(status)) {
        Ntdll.Close(PhysSection);
        PhysSection = NULL;
    }
    return status;
}

static void ReleasePhysicalMemory(void)
{
    if (PhysView) Ntdll.UnmapViewOfSection(CURRENT_PROCESS, PhysView);
    if (PhysSection) Ntdll.Close(PhysSection);
    PhysView = NULL;
    PhysSection = NULL;
}

/* ---- the caller's memory ------------------------------------------------ */

static NTSTATUS OpenCaller(ULONG processId, PHANDLE process)
{
    OBJECT_ATTRIBUTES attributes;
    CLIENT_ID client;
    InitializeObjectAttributes(&attributes, NULL, 0, NULL, NULL);
    client.UniqueProcess = (HANDLE)(ULONG_PTR)processId;
    client.UniqueThread = NULL;
    return Ntdll.OpenProcess(process, PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION,
                             &attributes,
                             &client);
}

static NTSTATUS CopyFromCaller(ULONG processId, ULONG address, void* buffer, ULONG length)
{
    HANDLE process;
    SIZE_T done = 0;
    NTSTATUS status = OpenCaller(processId, &process);
    if (!NT_SUCCESS(status)) return status;
    status = Ntdll.ReadVirtualMemory(process, (PVOID)(ULONG_PTR)address, buffer, length, &done);
    Ntdll.Close(process);
    if (NT_SUCCESS(status) && done != length) status = STATUS_ACCESS_VIOLATION;
    return status;
}

/* Like ProbeForWrite: every page of the range is committed and writable. */
static NTSTATUS ProbeCallerWritable(HANDLE process, ULONG address, ULONG length)
{
    ULONG end = address + length;
    ULONG at = address;
    if (end < address) return STATUS_ACCESS_VIOLATION;
    while (at < end) {
        RegionInfo region;
        SIZE_T size = 0;
        NTSTATUS status = Ntdll.QueryVirtualMemory(process, (PVOID)(ULONG_PTR)at, MEMORY_BASIC_INFORMATION_CLASS,
                                                   &region, sizeof region, &size);
        if (!NT_SUCCESS(status)) return status;
        if (region.State != REGION_COMMITTED || (region.Protect & WRITABLE_PROTECTIONS) == 0 ||
            (region.Protect & PAGE_GUARD) != 0) {
            return STATUS_ACCESS_VIOLATION;
        }
        at = (ULONG)(ULONG_PTR)region.BaseAddress + (ULONG)region.RegionSize;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS CopyToCaller(ULONG processId, ULONG address, const void* buffer, ULONG length)
{
    HANDLE process;
    SIZE_T done = 0;
    NTSTATUS status = OpenCaller(processId, &process);
    if (!NT_SUCCESS(status)) return status;
    status = ProbeCallerWritable(process, address, length);
    if (NT_SUCCESS(status)) status = Ntdll.WriteVirtualMemory(process, (PVOID)(ULONG_PTR)address, buffer, length, &done);
    Ntdll.Close(process);
    if (NT_SUCCESS(status) && done != length) status = STATUS_ACCESS_VIOLATION;
    return status;
}

/* ---- request handlers --------------------------------------------------- */

typedef struct Request {
    ULONG code;
    ULONG processId;
    PVOID buffer;        /* METHOD_BUFFERED system buffer: input, then output */
    ULONG inputLength;
    ULONG outputLength;
    ULONG_PTR returned;  /* bytes reported back to the caller */
} Request;

static ULONG PortWidth(ULONG code)
{
    switch (code) {
    case IOCTL_READ_PORT_UCHAR: case IOCTL_WRITE_PORT_UCHAR: return 1;
    case IOCTL_READ_PORT_USHORT: case IOCTL_WRITE_PORT_USHORT: return 2;
    default: return 4;
    }
}

static NTSTATUS ReadPort(Request* r)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    ULONG width = PortWidth(r->code);
    uint32_t value = 0;
    if (!vn_port_read(&Machine, r->processId, in->Port, width, &value)) return STATUS_IO_DEVICE_ERROR;
    return CopyToCaller(r->processId, in->Data, &value, width);
}

static NTSTATUS WritePort(Request* r)
{
    const PortIoRequest* in = (const PortIoRequest*)r->buffer;
    ULONG width = PortWidth(r->code);
    uint32_t value = 0;
    NTSTATUS status = CopyFromCaller(r->processId, in->Data, &value, width);
    if (!NT_SUCCESS(status)) return status;
    return vn_port_write(&Machine, r->processId, in->Port, width, value) ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
}

#define PCI_CONFIG_BYTES 256u

static NTSTATUS ReadPciConfig(Request* r)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    uint8_t bytes[PCI_CONFIG_BYTES];
    if (in->Length > PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    if (!vn_pci_read(&Machine, in->Bus, in->Device, in->Function, in->Offset, bytes, in->Length)) {
        return STATUS_INVALID_PARAMETER;
    }
    if (in->Length == 0) return STATUS_SUCCESS;
    return CopyToCaller(r->processId, in->Data, bytes, in->Length);
}

static NTSTATUS WritePciConfig(Request* r)
{
    const PciConfigRequest* in = (const PciConfigRequest*)r->buffer;
    uint8_t bytes[PCI_CONFIG_BYTES];
    NTSTATUS status;
    if (in->Length > PCI_CONFIG_BYTES) return STATUS_INVALID_PARAMETER;
    if (in->Length != 0) {
        status = CopyFromCaller(r->processId, in->Data, bytes, in->Length);
        if (!NT_SUCCESS(status)) return status;
    }
    return vn_pci_write(&Machine, in->Bus, in->Device, in->Function, in->Offset, bytes, in->Length)
               ? STATUS_SUCCESS
               : STATUS_INVALID_PARAMETER;
}

/*
 * Maps PhysAddr (and Length bytes after it, 0 meaning one page) of the
 * physical window into the caller; the output word is the linear address.
 */
static NTSTATUS MapPhysical(Request* r)
{
    const PhysMapRequest* in = (const PhysMapRequest*)r->buffer;
    uint32_t phys = in->PhysAddr, length = in->Length;
    HANDLE process;
    PVOID view = NULL;
    SIZE_T viewSize = 0;
    uint32_t linear;
    NTSTATUS status;

    if (!vn_map_check(&Machine, phys, &length)) return STATUS_INVALID_PARAMETER;
    status = OpenCaller(r->processId, &process);
    if (!NT_SUCCESS(status)) return status;
    status = Ntdll.MapViewOfSection(PhysSection, process, &view, 0, 0, NULL, &viewSize, VIEW_UNMAP, 0,
                                    PAGE_READWRITE);
    if (NT_SUCCESS(status)) {
        linear = (uint32_t)(ULONG_PTR)view + (phys - VN_PHYS_BASE);
        if (vn_map_add(&Machine, r->processId, linear, phys, length)) {
            *(uint32_t*)r->buffer = linear;
            r->returned = Machine.mapReturnedLength;
        } else {
            Ntdll.UnmapViewOfSection(process, view);
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    Ntdll.Close(process);
    return status;
}

static NTSTATUS UnmapLinear(Request* r)
{
    uint32_t linear = ((const UnmapRequest*)r->buffer)->LinearAddr;
    HANDLE process;
    NTSTATUS status;
    if (!vn_map_remove(&Machine, r->processId, linear)) return STATUS_INVALID_PARAMETER;
    status = OpenCaller(r->processId, &process);
    if (!NT_SUCCESS(status)) return status;
    status = Ntdll.UnmapViewOfSection(process, (PVOID)(ULONG_PTR)linear);
    Ntdll.Close(process);
    return status;
}

/* EC mailbox: fields as documented in vnotebook_control.h. */
static NTSTATUS RunMailbox(Request* r, int receiving)
{
    const EcIoRequest* in = (const EcIoRequest*)r->buffer;
    uint8_t data[VN_MAILBOX_MAX_DATA];
    uint8_t reply[VN_MAILBOX_MAX_REPLY];
    uint32_t replyCount = receiving ? in->Param5 : 0;

    if (in->Param2 > VN_MAILBOX_MAX_DATA) return STATUS_INVALID_PARAMETER;
    if (receiving && (replyCount > VN_MAILBOX_MAX_REPLY || replyCount > in->Param7)) return STATUS_INVALID_PARAMETER;
    data[0] = in->Param3;
    data[1] = (uint8_t)in->Param4;
    if (replyCount != 0) {
        /* Check the destination before the EC is asked anything. */
        HANDLE process;
        NTSTATUS status = OpenCaller(r->processId, &process);
        if (!NT_SUCCESS(status)) return status;
        status = ProbeCallerWritable(process, in->Param6, replyCount);
        Ntdll.Close(process);
        if (!NT_SUCCESS(status)) return status;
    }
    if (!vn_ec_mailbox(&Machine, r->processId, in->Param1, data, in->Param2, reply, replyCount)) {
        return STATUS_IO_DEVICE_ERROR;
    }
    return replyCount == 0 ? STATUS_SUCCESS : CopyToCaller(r->processId, in->Param6, reply, replyCount);
}

static NTSTATUS SendToEc(Request* r)
{
    return RunMailbox(r, 0);
}

static NTSTATUS ReceiveFromEc(Request* r)
{
    return RunMailbox(r, 1);
}

static NTSTATUS GetState(Request* r)
{
    vn_snapshot(&Machine, (VnSnapshot*)r->buffer);
    r->returned = sizeof(VnSnapshot);
    return STATUS_SUCCESS;
}

static NTSTATUS Configure(Request* r)
{
    const VnConfigRequest* in = (const VnConfigRequest*)r->buffer;
    return vn_configure(&Machine, in->Key, in->Value) ? STATUS_SUCCESS : STATUS_INVALID_PARAMETER;
}

static NTSTATUS Reset(Request* r)
{
    (void)r;
    vn_init(&Machine, (uint8_t*)PhysView, VN_PHYS_SIZE);
    return STATUS_SUCCESS;
}

typedef NTSTATUS (*Handler)(Request*);

typedef struct Route {
    ULONG code;
    ULONG inputLength;
    ULONG outputLength;
    int counted;        /* one of the twelve public codes */
    Handler handler;
} Route;

static const Route Routes[] = {
    { IOCTL_READ_PORT_UCHAR, sizeof(PortIoRequest), 0, 1, ReadPort },
    { IOCTL_WRITE_PORT_UCHAR, sizeof(PortIoRequest), 0, 1, WritePort },
    { IOCTL_MAP_PHYSICAL, sizeof(PhysMapRequest), LATCHWIRE_MAP_OUTPUT_SIZE, 1, MapPhysical },
    { IOCTL_UNMAP_LINEAR, sizeof(UnmapRequest), 0, 1, UnmapLinear },
    { IOCTL_EC_IO_RECEIVE, sizeof(EcIoRequest), 0, 1, ReceiveFromEc },
    { IOCTL_EC_IO_SEND, sizeof(EcIoRequest), 0, 1, SendToEc },
    { IOCTL_READ_PORT_USHORT, sizeof(PortIoRequest), 0, 1, ReadPort },
    { IOCTL_WRITE_PORT_USHORT, sizeof(PortIoRequest), 0, 1, WritePort },
    { IOCTL_READ_PORT_ULONG, sizeof(PortIoRequest), 0, 1, ReadPort },
    { IOCTL_WRITE_PORT_ULONG, sizeof(PortIoRequest), 0, 1, WritePort },
    { IOCTL_PCI_CONFIG_WRITE, sizeof(PciConfigRequest), 0, 1, WritePciConfig },
    { IOCTL_PCI_CONFIG_READ, sizeof(PciConfigRequest), 0, 1, ReadPciConfig },
    { IOCTL_VN_GET_STATE, 0, sizeof(VnSnapshot), 0, GetState },
    { IOCTL_VN_CONFIGURE, sizeof(VnConfigRequest), 0, 0, Configure },
    { IOCTL_VN_RESET, 0, 0, 0, Reset },
};

static const Route* FindRoute(ULONG code)
{
    ULONG i;
    for (i = 0; i < sizeof(Routes) / sizeof(Routes[0]); i++) {
        if (Routes[i].code == code) return &Routes[i];
    }
    return NULL;
}

static NTSTATUS Serve(Request* r)
{
    const Route* route = FindRoute(r->code);
    KIRQL irql;
    NTSTATUS status;

    if (route == NULL) return STATUS_INVALID_DEVICE_REQUEST;
    if (r->inputLength != route->inputLength || r->outputLength != route->outputLength) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (route->inputLength != 0 && r->buffer == NULL) return STATUS_INVALID_PARAMETER;

    KeAcquireSpinLock(&MachineLock, &irql);
    if (route->counted) Machine.requestCount++;
    if (vn_take_request_fault(&Machine, r->code)) {
        status = STATUS_IO_DEVICE_ERROR;
    } else {
        status = route->handler(r);
    }
    KeReleaseSpinLock(&MachineLock, irql);
    return status;
}

/* ---- dispatch ----------------------------------------------------------- */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS WINAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    Request r;
    NTSTATUS status;
    (void)device;

    r.code = stack->Parameters.DeviceIoControl.IoControlCode;
    r.processId = (ULONG)(ULONG_PTR)PsGetCurrentProcessId();
    r.buffer = irp->AssociatedIrp.SystemBuffer;
    r.inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    r.outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    r.returned = 0;
    status = Serve(&r);
    return Complete(irp, status, r.returned);
}

static void WINAPI DriverUnload(PDRIVER_OBJECT driver)
{
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
    IoDeleteSymbolicLink(&link);
    if (LatchwireDevice) IoDeleteDevice(LatchwireDevice);
    LatchwireDevice = NULL;
    ReleasePhysicalMemory();
}

NTSTATUS WINAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING name, link;
    NTSTATUS status;
    (void)registryPath;

    status = ResolveNtdll();
    if (!NT_SUCCESS(status)) return status;
    status = CreatePhysicalMemory();
    if (!NT_SUCCESS(status)) return status;
    KeInitializeSpinLock(&MachineLock);
    vn_init(&Machine, (uint8_t*)PhysView, VN_PHYS_SIZE);

    RtlInitUnicodeString(&name, LATCHWIRE_DEVICE_NAME_W);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &LatchwireDevice);
    if (!NT_SUCCESS(status)) {
        ReleasePhysicalMemory();
        return status;
    }
    RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(LatchwireDevice);
        LatchwireDevice = NULL;
        ReleasePhysicalMemory();
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
