/*
 * The virtual notebook's private control codes, served by the simulation
 * driver beside the twelve public codes of the Latchwire device. Tests and
 * the control tool use them to read the emulator's state and inject faults.
 *
 * Function numbers lie outside the public range 0x800..0x80B.
 */
#ifndef VNOTEBOOK_CONTROL_H
#define VNOTEBOOK_CONTROL_H

#include <stdint.h>
#include "latchwire_device.h"
#include "vn_core.h"

/* Output: one VnSnapshot. No input. */
#define IOCTL_VN_GET_STATE  LATCHWIRE_CTL_CODE(0x900, LATCHWIRE_ACCESS_WRITE)
/* Input: one VnConfigRequest (a VnConfigKey and its value). No output. */
#define IOCTL_VN_CONFIGURE  LATCHWIRE_CTL_CODE(0x901, LATCHWIRE_ACCESS_WRITE)
/* No input, no output: the machine returns to its power-on state. */
#define IOCTL_VN_RESET      LATCHWIRE_CTL_CODE(0x902, LATCHWIRE_ACCESS_WRITE)

typedef struct VnConfigRequest {
    uint32_t Key;
    uint32_t Value;
} VnConfigRequest;

/* Name of the simulation driver's file, placed beside the programs. */
#define VNOTEBOOK_DRIVER_FILE "vnotebook.sys"

#endif
