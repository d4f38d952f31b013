/*
 * The real hardware behind the Latchwire device: I/O ports through the HAL,
 * PCI configuration space through HalGet/SetBusDataByOffset, and physical
 * memory mapped into the caller.
 */
#ifndef REAL_HARDWARE_H
#define REAL_HARDWARE_H

#include <ntifs.h>

#include "lw_dispatch.h"

extern const LwHardware RealHardware;

/*
 * Id of the process whose address space the current thread runs in. The
 * caller's pointers, and mappings into the caller, are usable only when this
 * is the requesting process; a host that serves requests from another process
 * (as Wine's winedevice does) gets such requests refused instead of touching
 * its own memory. 0 if it cannot be told.
 */
ULONG AddressSpaceOwner(void);

#endif
