/*
 * The real hardware behind the Latchwire device: I/O ports through the HAL,
 * PCI configuration space through HalGet/SetBusDataByOffset, physical memory
 * mapped into the caller, and the EC mailbox run on the EC's index window.
 */
#ifndef REAL_HARDWARE_H
#define REAL_HARDWARE_H

#include "lw_dispatch.h"

extern const LwHardware RealHardware;

#endif
