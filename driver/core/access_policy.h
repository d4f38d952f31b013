/*
 * Who may do what through the Latchwire device.
 *
 * Administrators (and SYSTEM) get the whole raw interface. A standard user gets
 * exactly what the sticky-key exchange needs, judged by what a request writes
 * and not only where, since the EC's index window reaches every EC register:
 * - byte reads of the EC index window's ports of either chipset; through the
 *   data port only the handshake flag;
 * - byte writes to the index ports of the bytes an exchange writes there (the
 *   addresses of the flag, command and data registers, and the idle address);
 * - byte writes to the data port checked against the register the index
 *   ports select: handshake values to the flag, the sticky-key command to the
 *   command register, one of its four data bytes to the data register;
 * - reads of the two LPC bridges' vendor IDs and decode registers, and writes
 *   of a whole decode register with the value that opens the EC window or the
 *   value the driver found there when it started;
 * - the sticky-key command through the EC mailbox.
 * Everything else is refused.
 *
 * Pure C with no kernel headers, so it builds natively for its unit tests.
 */
#ifndef ACCESS_POLICY_H
#define ACCESS_POLICY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LW_NO_EC_REGISTER 0xFFFFFFFFu

/* The fields of one request that the policy looks at; unused ones stay 0. */
typedef struct LwAccess {
    uint32_t code;
    uint32_t port;        /* port codes */
    uint32_t value;       /* port and configuration writes: the value written (little-endian) */
    uint32_t ecRegister;  /* accesses of an EC data port: the register the index ports select,
                             read back from them; LW_NO_EC_REGISTER when unknown */
    uint32_t bus;         /* configuration codes */
    uint32_t device;
    uint32_t function;
    uint32_t offset;
    uint32_t length;
    uint32_t ecCommand;   /* mailbox codes */
    uint32_t ecDataCount;
    uint32_t ecData;      /* first data byte */
} LwAccess;

/* The bridges' decode registers as the driver found them when it started. */
typedef struct LwDecodeFound {
    uint32_t firstBase;
    uint32_t firstControl;
    uint32_t secondBase;
} LwDecodeFound;

/* 1 if the request may be carried out for this caller, 0 if it is refused. */
int lw_access_allowed(const LwAccess* request, int callerIsAdmin, const LwDecodeFound* found);

/* 1 if a standard user's access of this port needs ecRegister: a data port of an EC index window. */
int lw_access_needs_ec_register(uint32_t code, uint32_t port);

/* The index window base of the chipset whose data port this is (0 if none). */
uint32_t lw_index_base_of_data_port(uint32_t port);

#ifdef __cplusplus
}
#endif

#endif
