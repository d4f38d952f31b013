/*
 * Hosting under Wine: the driver runs in its own user process
 * (winedevice.exe), so the caller's memory is reached through ntdll on a
 * handle to the calling process. ntdll cannot be imported by a driver; its
 * exports are looked up at run time from the loader list of the process
 * environment block.
 */
#ifndef WINE_HOST_H
#define WINE_HOST_H

#include <ntddk.h>

#include "lw_dispatch.h"

NTSTATUS WineHostStart(void);

/* Reaching the caller: LwCallerMemory over NtQuery/Read/WriteVirtualMemory on the
 * handle that WineOpenCaller puts in caller->host for the request's duration. */
extern const LwCallerMemory WineCallerMemory;
NTSTATUS WineOpenCaller(LwCaller* caller);
void WineCloseCaller(LwCaller* caller);

/* A section of size bytes, with a view in the host process. */
NTSTATUS WineCreateSection(ULONG size, HANDLE* section, PVOID* view);
void WineDeleteSection(HANDLE section, PVOID view);

/* Maps a whole section into the caller's process (read/write); *view is its base there. */
NTSTATUS WineMapIntoCaller(ULONG processId, HANDLE section, PVOID* view);
/* Unmaps a view from a process (a handle that a mapping holds) that may have ended meanwhile. */
void WineUnmapFromProcess(HANDLE process, PVOID view);

#endif
