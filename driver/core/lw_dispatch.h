/*
 * The Latchwire device's dispatch core, shared by every driver that serves
 * "\\.\Latchwire": it knows the control codes, checks sizes and the caller's
 * pointers, reads the request records, applies the access policy, keeps the
 * physical mappings of each process, runs the EC mailbox over the hardware
 * layer's ports, and serialises requests.
 *
 * Around it a driver supplies two thin layers:
 * - LwCallerMemory: how the caller's memory is reached (the driver's host
 *   process may or may not be the caller's);
 * - LwHardware: the ports, configuration space, physical memory and EC that
 *   the requests act on.
 *
 * Every routine here runs at PASSIVE_LEVEL. Two fast mutexes, each held in a
 * critical region (never a spin lock), and never one inside the other:
 * - the hardware lock orders the requests' port, configuration and EC work;
 *   the caller's memory is never touched while it is held;
 * - the mapping lock guards the mapping table, and is all that a process's
 *   end waits for (and only when the table holds mappings at all).
 * The caller's memory is touched only inside an exception frame (lw_guard.h).
 */
#ifndef LW_DISPATCH_H
#define LW_DISPATCH_H

#include <ntddk.h>

#include "latchwire_device.h"

#define LW_MAX_MAPPINGS 16u
#define LW_PCI_CONFIG_BYTES 256u
#define LW_MAILBOX_MAX_DATA 2u
#define LW_MAILBOX_MAX_REPLY 8u
/* Flag polls before the EC counts as silent in a mailbox exchange. */
#define LW_EC_FLAG_POLLS 20000u

/* The process a request comes from, as the hosting driver found it. */
typedef struct LwCaller {
    ULONG processId;  /* trustworthy as a key only while a reference to the process is held */
    BOOLEAN isAdmin;
    PVOID host;  /* the hosting driver's own per-request data (a handle to the caller, say) */
} LwCaller;

/*
 * Addresses in the request records are 32-bit words, as the 32-bit library
 * writes them: every address the driver takes from a caller or hands back lies
 * below 4 GB. A WOW64 caller has nothing above; a 64-bit caller's request that
 * would need an address above 4 GB is refused.
 */
#define LW_RECORD_ADDRESS_LIMIT 0x100000000ULL

/* TRUE when [address, address + length) can be named by a record's 32-bit word. */
static __inline BOOLEAN LwFitsRecord(ULONG_PTR address, SIZE_T length)
{
    return (ULONGLONG)address + (ULONGLONG)length <= LW_RECORD_ADDRESS_LIMIT;
}

/* One region of the caller's address space (MEMORY_BASIC_INFORMATION's fields). */
typedef struct LwRegion {
    ULONG base;
    ULONG size;
    ULONG state;
    ULONG protect;
} LwRegion;

typedef struct LwCallerMemory {
    /* Describes the region that contains address; fails for addresses outside user space. */
    NTSTATUS (*QueryRegion)(const LwCaller* caller, ULONG address, LwRegion* region);
    /* Copies after the core has checked the whole range. */
    NTSTATUS (*Read)(const LwCaller* caller, ULONG address, void* buffer, ULONG length);
    NTSTATUS (*Write)(const LwCaller* caller, ULONG address, const void* buffer, ULONG length);
    /* A reference to the caller's process that a mapping keeps: the process object
       (and with it the process id) lives as long as the reference. NULL on failure. */
    PVOID (*ReferenceProcess)(const LwCaller* caller);
    void (*DereferenceProcess)(PVOID process);
    /* Optional: TRUE once the referenced process has ended (its mappings can then be dropped). */
    BOOLEAN (*ProcessEnded)(PVOID process);
} LwCallerMemory;

/* A live physical mapping; host is the hardware layer's own bookkeeping. */
typedef struct LwMapping {
    BOOLEAN inUse;
    ULONG processId;
    PVOID process;  /* the reference that LwCallerMemory.ReferenceProcess gave */
    ULONG linear;
    ULONG phys;
    ULONG length;
    PVOID host;
} LwMapping;

typedef struct LwHardware {
    NTSTATUS (*ReadPort)(const LwCaller* caller, ULONG port, ULONG width, ULONG* value);
    NTSTATUS (*WritePort)(const LwCaller* caller, ULONG port, ULONG width, ULONG value);
    NTSTATUS (*ReadConfig)(const PciConfigRequest* request, UCHAR* bytes);
    NTSTATUS (*WriteConfig)(const PciConfigRequest* request, const UCHAR* bytes);
    /* Maps mapping->phys / ->length into the caller; sets ->linear and ->host. */
    NTSTATUS (*Map)(const LwCaller* caller, LwMapping* mapping);
    /* Releases a mapping; processEnded: its process is gone, only the record's resources remain. */
    void (*Unmap)(LwMapping* mapping, BOOLEAN processEnded);
    /* Optional: called for each public request before it is carried out; a failure refuses it. */
    NTSTATUS (*Admit)(ULONG code);
    /* Optional: the byte count a map reports (4 when absent). */
    ULONG (*MapReportedLength)(void);
} LwHardware;

/* One METHOD_BUFFERED request: the system buffer holds the input, then the output. */
typedef struct LwRequest {
    ULONG code;
    LwCaller caller;
    PVOID buffer;
    ULONG inputLength;
    ULONG outputLength;
    ULONG_PTR returned;  /* bytes reported back */
} LwRequest;

void LwInitialize(const LwCallerMemory* memory, const LwHardware* hardware);

/* The hardware lock, for a host's own codes that touch the hardware. */
void LwLock(void);
void LwUnlock(void);

/* Reads the bridges' decode registers again as "found at start", for a host
   whose hardware changed under the driver (the virtual notebook's chipset);
   call with the hardware lock held. */
void LwRereadDecodeRegisters(void);

/* TRUE if code is one of the twelve public codes. */
BOOLEAN LwIsPublicCode(ULONG code);

/* Serves one public request (takes the lock itself). */
NTSTATUS LwServe(LwRequest* request);

/* Mappings: release those of one ending process (quick when it has none), of
   every ended process, or all. */
void LwReleaseProcessMappings(ULONG processId);
void LwReleaseEndedProcessMappings(void);
void LwReleaseAllMappings(void);
ULONG LwLiveMappings(void);

/* A device-control IRP's code, caller, buffer and lengths as a request, nothing
   returned yet; the caller's rights and host data are the hosting driver's to set. */
void LwRequestFromIrp(PIRP irp, BOOLEAN callerIsAdmin, LwRequest* request);

/* MEMORY_BASIC_INFORMATION as the memory queries of the driver's own width return
   it for their information class 0 (of a WOW64 process too). */
#define MEMORY_BASIC_INFORMATION_CLASS 0
typedef struct LwMemoryBasicInformation {
    PVOID BaseAddress;
    PVOID AllocationBase;
    ULONG AllocationProtect;
    SIZE_T RegionSize;
    ULONG State;
    ULONG Protect;
    ULONG Type;
} LwMemoryBasicInformation;

/* A region as the query found it, as far as it lies below 4 GB: a region that
   reaches past that ends there (the size wraps to the end of the 32-bit space).
   Fails for a region that starts above. */
NTSTATUS LwRegionFromQuery(const LwMemoryBasicInformation* info, LwRegion* region);

/* Completes an IRP with its status; a failed request reports no bytes. */
NTSTATUS LwCompleteIrp(PIRP irp, NTSTATUS status, ULONG_PTR information);

#endif
