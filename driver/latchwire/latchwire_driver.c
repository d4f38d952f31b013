/*
 * latchwire.sys: the Latchwire device on a real 32-bit Windows notebook.
 *
 * Creates \Device\Latchwire with the link \DosDevices\Latchwire and serves the
 * twelve control codes through the shared dispatch core on the real hardware
 * (real_hardware.c). As the top driver of its device it is called in the
 * requesting thread at PASSIVE_LEVEL, so the caller's memory is the current
 * process's user space. Administrators and SYSTEM (by the effective token)
 * get every code; standard users what the access policy grants. A process's
 * physical mappings hold a reference to it and are released when it ends.
 */
#include <ntifs.h>

#include "latchwire_device.h"
#include "lw_dispatch.h"
#include "lw_guard.h"
#include "real_hardware.h"

/* ZwQueryVirtualMemory, which Windows XP's kernel does not export: looked up at load time. */
typedef NTSTATUS(NTAPI* QueryVirtualMemoryFn)(HANDLE process, PVOID address, ULONG informationClass,
                                              PVOID information, SIZE_T length, PSIZE_T returned);
static QueryVirtualMemoryFn QueryVirtualMemory;

#define REGION_COMMITTED 0x1000u
#define PAGE_BYTES 0x1000u

static PDEVICE_OBJECT LatchwireDevice;
static BOOLEAN WatchingProcesses;

/* ---- the caller's memory: the current process ------------------------------ */

static BOOLEAN InCallersContext(const LwCaller* caller)
{
    return AddressSpaceOwner() == caller->processId;
}

/* Below the end of user space, and below 4 GB (what a record can name). */
static BOOLEAN InUserSpace(ULONG address, ULONG length)
{
    ULONGLONG limit = (ULONGLONG)MmUserProbeAddress;
    if (limit > LW_RECORD_ADDRESS_LIMIT) limit = LW_RECORD_ADDRESS_LIMIT;
    return (ULONGLONG)address + length <= limit && address < limit;
}

/* Without the query: one page, described by what it can be secured for. */
static void DescribePageBySecuring(ULONG address, LwRegion* region)
{
    PVOID page = (PVOID)(ULONG_PTR)(address & ~(PAGE_BYTES - 1));
    HANDLE secured;
    region->base = (ULONG)(ULONG_PTR)page;
    region->size = PAGE_BYTES;
    region->state = REGION_COMMITTED;
    region->protect = PAGE_NOACCESS;
    secured = MmSecureVirtualMemory(page, PAGE_BYTES, PAGE_READWRITE);
    if (secured != NULL) {
        region->protect = PAGE_READWRITE;
    } else {
        secured = MmSecureVirtualMemory(page, PAGE_BYTES, PAGE_READONLY);
        if (secured != NULL) region->protect = PAGE_READONLY;
    }
    if (secured != NULL) MmUnsecureVirtualMemory(secured);
}

static NTSTATUS QueryCallerRegion(const LwCaller* caller, ULONG address, LwRegion* region)
{
    LwMemoryBasicInformation info;
    SIZE_T size = 0;
    NTSTATUS status;
    if (!InCallersContext(caller)) return STATUS_ACCESS_DENIED;
    if (!InUserSpace(address, 1)) return STATUS_ACCESS_VIOLATION;
    if (QueryVirtualMemory == NULL) {
        DescribePageBySecuring(address, region);
        return STATUS_SUCCESS;
    }
    status = QueryVirtualMemory(NtCurrentProcess(), (PVOID)(ULONG_PTR)address, MEMORY_BASIC_INFORMATION_CLASS, &info,
                                sizeof info, &size);
    if (!NT_SUCCESS(status)) return status;
    return LwRegionFromQuery(&info, region);
}

typedef struct CallerCopy {
    PVOID user;
    PVOID kernel;
    ULONG length;
    BOOLEAN toCaller;
} CallerCopy;

/* Runs inside an exception frame: the probes raise, and so does a copy that meets a page gone bad. */
static long ProbeAndCopy(void* context)
{
    const CallerCopy* copy = (const CallerCopy*)context;
    if (copy->toCaller) {
        ProbeForWrite(copy->user, copy->length, 1);
        RtlCopyMemory(copy->user, copy->kernel, copy->length);
    } else {
        ProbeForRead(copy->user, copy->length, 1);
        RtlCopyMemory(copy->kernel, copy->user, copy->length);
    }
    return STATUS_SUCCESS;
}

/*
 * The range was checked by the core; securing it keeps another thread of the
 * caller from freeing it or taking its access away while it is copied. Securing
 * does not stop every exception (an in-page error from a mapped view, say), so
 * the copy itself runs in an exception frame that turns one into its status.
 */
static NTSTATUS CopyWithCaller(const LwCaller* caller, ULONG address, void* kernel, ULONG length, BOOLEAN toCaller)
{
    CallerCopy copy;
    HANDLE secured;
    NTSTATUS status;
    if (!InCallersContext(caller)) return STATUS_ACCESS_DENIED;
    if (!InUserSpace(address, length)) return STATUS_ACCESS_VIOLATION;
    copy.user = (PVOID)(ULONG_PTR)address;
    copy.kernel = kernel;
    copy.length = length;
    copy.toCaller = toCaller;
    secured = MmSecureVirtualMemory(copy.user, length, toCaller ? PAGE_READWRITE : PAGE_READONLY);
    if (secured == NULL) return STATUS_ACCESS_VIOLATION;
    status = LwGuardedCall(ProbeAndCopy, &copy);
    MmUnsecureVirtualMemory(secured);
    return status;
}

static NTSTATUS ReadCaller(const LwCaller* caller, ULONG address, void* buffer, ULONG length)
{
    return CopyWithCaller(caller, address, buffer, length, FALSE);
}

static NTSTATUS WriteCaller(const LwCaller* caller, ULONG address, const void* buffer, ULONG length)
{
    return CopyWithCaller(caller, address, (void*)buffer, length, TRUE);
}

/* The caller is the current process: a mapping keeps it referenced. */
static PVOID ReferenceCaller(const LwCaller* caller)
{
    PEPROCESS process;
    if (!InCallersContext(caller)) return NULL;
    process = PsGetCurrentProcess();
    ObReferenceObject(process);
    return process;
}

static void DereferenceCaller(PVOID process)
{
    ObDereferenceObject(process);
}

/* Ended processes are reported by the process notification, not looked for. */
static const LwCallerMemory CallerContextMemory = {
    QueryCallerRegion, ReadCaller, WriteCaller, ReferenceCaller, DereferenceCaller, NULL,
};

/* ---- who is calling ---------------------------------------------------------- */

#define TOKEN_TAG 0x6B6F544Cu /* 'LTok' */
#ifndef SE_GROUP_ENABLED
#define SE_GROUP_ENABLED 0x00000004L
#define SE_GROUP_USE_FOR_DENY_ONLY 0x00000010L
#endif

/* BUILTIN\Administrators, S-1-5-32-544. */
typedef struct AdministratorsSid {
    UCHAR Revision;
    UCHAR SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    ULONG SubAuthority[2];
} AdministratorsSid;

static const AdministratorsSid Administrators = { 1, 2, { { 0, 0, 0, 0, 0, 5 } }, { 32, 544 } };

static BOOLEAN HoldsEnabledAdministrators(const TOKEN_GROUPS* groups)
{
    ULONG i;
    for (i = 0; i < groups->GroupCount; i++) {
        const SID_AND_ATTRIBUTES* group = &groups->Groups[i];
        /* A filtered (deny-only) Administrators group does not count. */
        if ((group->Attributes & SE_GROUP_ENABLED) != 0 && (group->Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 &&
            RtlEqualSid(group->Sid, (PSID)&Administrators)) {
            return TRUE;
        }
    }
    return FALSE;
}

/*
 * The token the caller acts with: the thread's impersonation token when it has
 * one (a service serving a client), else its process's primary token. An
 * impersonation below SecurityImpersonation (identification only) gives no
 * token to act with.
 */
static NTSTATUS OpenEffectiveToken(HANDLE* token, BOOLEAN* impersonating)
{
    NTSTATUS status = ZwOpenThreadTokenEx(NtCurrentThread(), TOKEN_QUERY, TRUE, OBJ_KERNEL_HANDLE, token);
    *impersonating = NT_SUCCESS(status);
    if (status == STATUS_NO_TOKEN) status = ZwOpenProcessTokenEx(NtCurrentProcess(), TOKEN_QUERY, OBJ_KERNEL_HANDLE, token);
    return status;
}

static BOOLEAN MayActAs(HANDLE token, BOOLEAN impersonating)
{
    SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
    ULONG size = 0;
    if (!impersonating) return TRUE;
    if (!NT_SUCCESS(ZwQueryInformationToken(token, TokenImpersonationLevel, &level, sizeof level, &size))) return FALSE;
    return level >= SecurityImpersonation;
}

static BOOLEAN TokenHoldsAdministrators(HANDLE token)
{
    ULONG size = 0;
    TOKEN_GROUPS* groups;
    BOOLEAN admin = FALSE;
    ZwQueryInformationToken(token, TokenGroups, NULL, 0, &size);
    groups = size ? (TOKEN_GROUPS*)ExAllocatePoolWithTag(PagedPool, size, TOKEN_TAG) : NULL;
    if (groups != NULL) {
        if (NT_SUCCESS(ZwQueryInformationToken(token, TokenGroups, groups, size, &size))) {
            admin = HoldsEnabledAdministrators(groups);
        }
        ExFreePoolWithTag(groups, TOKEN_TAG);
    }
    return admin;
}

/* Administrators and SYSTEM (whose token holds the Administrators group), by the effective token. */
static BOOLEAN CallerIsAdmin(void)
{
    HANDLE token;
    BOOLEAN impersonating = FALSE, admin;
    if (!NT_SUCCESS(OpenEffectiveToken(&token, &impersonating))) return FALSE;
    admin = MayActAs(token, impersonating) && TokenHoldsAdministrators(token);
    ZwClose(token);
    return admin;
}

/* Called in the context of a process's last thread as it ends: its mappings still exist and are removed. */
static VOID NTAPI OnProcessNotify(HANDLE parentId, HANDLE processId, BOOLEAN create)
{
    (void)parentId;
    if (!create) LwReleaseProcessMappings((ULONG)(ULONG_PTR)processId);
}

/* ---- dispatch ---------------------------------------------------------------- */

static NTSTATUS WINAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    return LwCompleteIrp(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS WINAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    LwRequest r;
    NTSTATUS status;
    (void)device;

    LwRequestFromIrp(irp, CallerIsAdmin(), &r);
    status = LwServe(&r);
    return LwCompleteIrp(irp, status, r.returned);
}

static void RemoveDevice(void)
{
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(LatchwireDevice);
    LatchwireDevice = NULL;
}

/* Mappings go first, while their processes' ends are still reported; then the notification. */
static void WINAPI DriverUnload(PDRIVER_OBJECT driver)
{
    (void)driver;
    LwReleaseAllMappings();
    if (WatchingProcesses) PsSetCreateProcessNotifyRoutine(OnProcessNotify, TRUE);
    WatchingProcesses = FALSE;
    RemoveDevice();
}

NTSTATUS WINAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    UNICODE_STRING name, link;
    NTSTATUS status;
    (void)registryPath;

    RtlInitUnicodeString(&name, L"ZwQueryVirtualMemory");
    QueryVirtualMemory = (QueryVirtualMemoryFn)MmGetSystemRoutineAddress(&name);
    LwInitialize(&CallerContextMemory, &RealHardware);
    RtlInitUnicodeString(&name, LATCHWIRE_DEVICE_NAME_W);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN, FALSE, &LatchwireDevice);
    if (!NT_SUCCESS(status)) return status;
    RtlInitUnicodeString(&link, LATCHWIRE_LINK_NAME_W);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(LatchwireDevice);
        LatchwireDevice = NULL;
        return status;
    }
    /* Without the notification a process's mappings could not be given back: refuse to run. */
    status = PsSetCreateProcessNotifyRoutine(OnProcessNotify, FALSE);
    if (!NT_SUCCESS(status)) {
        RemoveDevice();
        return status;
    }
    WatchingProcesses = TRUE;

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
