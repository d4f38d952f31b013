#include "wine_host.h"

#include <ntimage.h>
#include <intrin.h>

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
typedef NTSTATUS(NTAPI* NtWaitForSingleObjectFn)(HANDLE, BOOLEAN, PLARGE_INTEGER);
typedef NTSTATUS(NTAPI* NtWaitForMultipleObjectsFn)(ULONG, const HANDLE*, ULONG, BOOLEAN, PLARGE_INTEGER);
typedef NTSTATUS(NTAPI* NtCreateEventFn)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, EVENT_TYPE, BOOLEAN);
typedef NTSTATUS(NTAPI* NtSetEventFn)(HANDLE, PLONG);

static struct {
    NtOpenProcessFn OpenProcess;
    NtCloseFn Close;
    NtReadVirtualMemoryFn ReadVirtualMemory;
    NtWriteVirtualMemoryFn WriteVirtualMemory;
    NtCreateSectionFn CreateSection;
    NtMapViewOfSectionFn MapViewOfSection;
    NtUnmapViewOfSectionFn UnmapViewOfSection;
    NtQueryVirtualMemoryFn QueryVirtualMemory;
    NtWaitForSingleObjectFn WaitForSingleObject;
    NtWaitForMultipleObjectsFn WaitForMultipleObjects;
    NtCreateEventFn CreateEvent;
    NtSetEventFn SetEvent;
} Ntdll;

static FAST_MUTEX QueryAgentMutex;

/* ---- ntdll, found at run time ------------------------------------------ */

/* The loader's structures, only the fields used here (their layout follows the pointer size). */
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

/* The loader data's place in the PEB, and the PEB's in the TEB (fs: on i686, gs: on x64). */
#ifdef _WIN64
#define PEB_LDR_OFFSET 0x18
static PUCHAR CurrentPeb(void)
{
    PUCHAR peb;
    __asm__("movq %%gs:0x60, %0" : "=r"(peb));
    return peb;
}
#else
#define PEB_LDR_OFFSET 0x0C
#define CurrentPeb() ((PUCHAR)(ULONG_PTR)__readfsdword(0x30))
#endif

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
    PUCHAR peb = CurrentPeb();
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

NTSTATUS WineHostStart(void)
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
    Ntdll.WaitForSingleObject = (NtWaitForSingleObjectFn)FindExport(ntdll, "NtWaitForSingleObject");
    Ntdll.WaitForMultipleObjects = (NtWaitForMultipleObjectsFn)FindExport(ntdll, "NtWaitForMultipleObjects");
    Ntdll.CreateEvent = (NtCreateEventFn)FindExport(ntdll, "NtCreateEvent");
    Ntdll.SetEvent = (NtSetEventFn)FindExport(ntdll, "NtSetEvent");
    ExInitializeFastMutex(&QueryAgentMutex);
    if (!Ntdll.OpenProcess || !Ntdll.Close || !Ntdll.ReadVirtualMemory || !Ntdll.WriteVirtualMemory ||
        !Ntdll.CreateSection || !Ntdll.MapViewOfSection || !Ntdll.UnmapViewOfSection || !Ntdll.QueryVirtualMemory ||
        !Ntdll.WaitForSingleObject || !Ntdll.WaitForMultipleObjects || !Ntdll.CreateEvent || !Ntdll.SetEvent) {
        return STATUS_PROCEDURE_NOT_FOUND;
    }
    return STATUS_SUCCESS;
}

/* ---- the caller's process ------------------------------------------------ */

#ifndef PROCESS_VM_OPERATION
#define PROCESS_VM_OPERATION 0x0008
#define PROCESS_VM_READ 0x0010
#define PROCESS_VM_WRITE 0x0020
#define PROCESS_QUERY_INFORMATION 0x0400
#endif
#define PROCESS_SYNCHRONIZE 0x00100000

#define CURRENT_PROCESS ((HANDLE)(LONG_PTR)-1)
#define VIEW_UNMAP 2

static NTSTATUS OpenProcessById(ULONG processId, ACCESS_MASK access, PHANDLE process)
{
    OBJECT_ATTRIBUTES attributes;
    CLIENT_ID client;
    InitializeObjectAttributes(&attributes, NULL, 0, NULL, NULL);
    client.UniqueProcess = (HANDLE)(ULONG_PTR)processId;
    client.UniqueThread = NULL;
    return Ntdll.OpenProcess(process, access, &attributes, &client);
}

NTSTATUS WineOpenCaller(LwCaller* caller)
{
    HANDLE process = NULL;
    NTSTATUS status = OpenProcessById(caller->processId,
                                      PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
                                          PROCESS_QUERY_INFORMATION | PROCESS_SYNCHRONIZE,
                                      &process);
    caller->host = NT_SUCCESS(status) ? process : NULL;
    return status;
}

void WineCloseCaller(LwCaller* caller)
{
    if (caller->host) Ntdll.Close((HANDLE)caller->host);
    caller->host = NULL;
}

/*
 * Under Wine a query of another process's memory is carried out by that
 * process (an APC that its thread runs). If the process is killed while it
 * runs the query, the query never returns. So queries go through an agent
 * thread, and the request waits for the agent or for the caller's end,
 * whichever comes first. An agent left behind in a dead caller's query is
 * abandoned (its few bytes and its thread stay, stuck) and a new one serves
 * from then on.
 */
typedef struct QueryAgent {
    HANDLE posted;   /* a query is waiting */
    HANDLE answered; /* its answer is there */
    HANDLE process;
    ULONG address;
    LwMemoryBasicInformation info;
    NTSTATUS status;
} QueryAgent;

#define QUERY_AGENT_TAG 0x4C717741u /* 'Awql' */

static QueryAgent* Agent;

static VOID NTAPI QueryAgentMain(PVOID context)
{
    QueryAgent* agent = (QueryAgent*)context;
    for (;;) {
        SIZE_T size = 0;
        if (Ntdll.WaitForSingleObject(agent->posted, FALSE, NULL) != STATUS_WAIT_0) break;
        agent->status = Ntdll.QueryVirtualMemory(agent->process, (PVOID)(ULONG_PTR)agent->address,
                                                 MEMORY_BASIC_INFORMATION_CLASS, &agent->info, sizeof agent->info,
                                                 &size);
        Ntdll.SetEvent(agent->answered, NULL);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

static QueryAgent* StartQueryAgent(void)
{
    QueryAgent* agent = (QueryAgent*)ExAllocatePoolWithTag(NonPagedPool, sizeof *agent, QUERY_AGENT_TAG);
    HANDLE thread = NULL;
    if (agent == NULL) return NULL;
    RtlZeroMemory(agent, sizeof *agent);
    if (NT_SUCCESS(Ntdll.CreateEvent(&agent->posted, EVENT_ALL_ACCESS, NULL, SynchronizationEvent, FALSE)) &&
        NT_SUCCESS(Ntdll.CreateEvent(&agent->answered, EVENT_ALL_ACCESS, NULL, SynchronizationEvent, FALSE)) &&
        NT_SUCCESS(PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, QueryAgentMain, agent))) {
        Ntdll.Close(thread);
        return agent;
    }
    if (agent->posted) Ntdll.Close(agent->posted);
    if (agent->answered) Ntdll.Close(agent->answered);
    ExFreePoolWithTag(agent, QUERY_AGENT_TAG);
    return NULL;
}

#define WAIT_ANY 1

static NTSTATUS AskAgent(HANDLE process, ULONG address, LwMemoryBasicInformation* info)
{
    HANDLE waits[2];
    NTSTATUS status;
    if (Agent == NULL) Agent = StartQueryAgent();
    if (Agent == NULL) return STATUS_INSUFFICIENT_RESOURCES;
    Agent->process = process;
    Agent->address = address;
    Ntdll.SetEvent(Agent->posted, NULL);
    waits[0] = Agent->answered;
    waits[1] = process;
    status = Ntdll.WaitForMultipleObjects(2, waits, WAIT_ANY, FALSE, NULL);
    if (status != STATUS_WAIT_0) {
        Agent = NULL; /* stuck in the ended caller: abandoned */
        return STATUS_PROCESS_IS_TERMINATING;
    }
    *info = Agent->info;
    return Agent->status;
}

static NTSTATUS QueryCallerRegion(const LwCaller* caller, ULONG address, LwRegion* region)
{
    LwMemoryBasicInformation info;
    NTSTATUS status;
    if (caller->host == NULL) return STATUS_INVALID_HANDLE;
    KeEnterCriticalRegion();
    ExAcquireFastMutexUnsafe(&QueryAgentMutex);
    status = AskAgent((HANDLE)caller->host, address, &info);
    ExReleaseFastMutexUnsafe(&QueryAgentMutex);
    KeLeaveCriticalRegion();
    if (!NT_SUCCESS(status)) return status;
    return LwRegionFromQuery(&info, region);
}

static NTSTATUS ReadCaller(const LwCaller* caller, ULONG address, void* buffer, ULONG length)
{
    SIZE_T done = 0;
    NTSTATUS status;
    if (caller->host == NULL) return STATUS_INVALID_HANDLE;
    status = Ntdll.ReadVirtualMemory((HANDLE)caller->host, (PVOID)(ULONG_PTR)address, buffer, length, &done);
    if (NT_SUCCESS(status) && done != length) status = STATUS_ACCESS_VIOLATION;
    return status;
}

static NTSTATUS WriteCaller(const LwCaller* caller, ULONG address, const void* buffer, ULONG length)
{
    SIZE_T done = 0;
    NTSTATUS status;
    if (caller->host == NULL) return STATUS_INVALID_HANDLE;
    status = Ntdll.WriteVirtualMemory((HANDLE)caller->host, (PVOID)(ULONG_PTR)address, buffer, length, &done);
    if (NT_SUCCESS(status) && done != length) status = STATUS_ACCESS_VIOLATION;
    return status;
}

/* A handle of the mapping's own: it keeps the process object, and with it the id, from going away. */
static PVOID ReferenceCaller(const LwCaller* caller)
{
    HANDLE process = NULL;
    if (!NT_SUCCESS(OpenProcessById(caller->processId, PROCESS_SYNCHRONIZE | PROCESS_VM_OPERATION, &process))) {
        return NULL;
    }
    return process;
}

static void DereferenceCaller(PVOID process)
{
    Ntdll.Close((HANDLE)process);
}

/* Ended: the held handle is signalled. */
static BOOLEAN ProcessEnded(PVOID process)
{
    LARGE_INTEGER now;
    now.QuadPart = 0;
    return Ntdll.WaitForSingleObject((HANDLE)process, FALSE, &now) == STATUS_WAIT_0;
}

const LwCallerMemory WineCallerMemory = {
    QueryCallerRegion, ReadCaller, WriteCaller, ReferenceCaller, DereferenceCaller, ProcessEnded,
};

/* ---- sections ------------------------------------------------------------ */

NTSTATUS WineCreateSection(ULONG size, HANDLE* section, PVOID* view)
{
    LARGE_INTEGER sectionSize;
    SIZE_T viewSize = 0;
    NTSTATUS status;
    sectionSize.QuadPart = size;
    *view = NULL;
    status = Ntdll.CreateSection(section, SECTION_ALL_ACCESS, NULL, &sectionSize, PAGE_READWRITE, SEC_COMMIT, NULL);
    if (!NT_SUCCESS(status)) return status;
    status = Ntdll.MapViewOfSection(*section, CURRENT_PROCESS, view, 0, 0, NULL, &viewSize, VIEW_UNMAP, 0,
                                    PAGE_READWRITE);
    if (!NT_SUCCESS(status)) {
        Ntdll.Close(*section);
        *section = NULL;
    }
    return status;
}

void WineDeleteSection(HANDLE section, PVOID view)
{
    if (view) Ntdll.UnmapViewOfSection(CURRENT_PROCESS, view);
    if (section) Ntdll.Close(section);
}

NTSTATUS WineMapIntoCaller(ULONG processId, HANDLE section, PVOID* view)
{
    HANDLE process;
    SIZE_T viewSize = 0;
    NTSTATUS status = OpenProcessById(processId, PROCESS_VM_OPERATION | PROCESS_QUERY_INFORMATION, &process);
    if (!NT_SUCCESS(status)) return status;
    *view = NULL;
    status = Ntdll.MapViewOfSection(section, process, view, 0, 0, NULL, &viewSize, VIEW_UNMAP, 0, PAGE_READWRITE);
    Ntdll.Close(process);
    return status;
}

void WineUnmapFromProcess(HANDLE process, PVOID view)
{
    Ntdll.UnmapViewOfSection(process, view);
}
