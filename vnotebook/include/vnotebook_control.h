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

/*
 * The EC mailbox codes (IOCTL_EC_IO_SEND, IOCTL_EC_IO_RECEIVE) as this driver
 * reads an EcIoRequest. The dispatch core runs the whole exchange through the
 * EC's index window, over the same emulated ports the library uses, and
 * refuses it (busy) unless the window is idle: the idle address in the index
 * ports and the flag free.
 *
 *   Param1   command byte
 *   Param2   number of data bytes to send, 0 to VN_MAILBOX_MAX_DATA
 *   Param3   first data byte
 *   Param4   second data byte (low 8 bits)
 *   Param5   receive: number of bytes to receive, 0 to VN_MAILBOX_MAX_REPLY
 *   Param6   receive: address in the caller's memory that receives them
 *   Param7   receive: size of that buffer in bytes (at least Param5)
 *
 * The send ignores Param5 to Param7; both ignore the padding byte. A request
 * outside these ranges fails without touching the EC.
 */
#define VN_MAILBOX_MAX_DATA  2u
#define VN_MAILBOX_MAX_REPLY 8u

/* Name of the simulation driver's file, placed beside the programs. */
#define VNOTEBOOK_DRIVER_FILE "vnotebook.sys"

#endif
