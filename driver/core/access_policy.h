/*
 * Who may do what through the Latchwire device.
 *
 * Administrators (and SYSTEM, whose token holds the Administrators group) get
 * the whole raw interface. A standard user gets exactly what the sticky-key
 * exchange needs: byte accesses to the EC index window's ports of either
 * chipset, reads of the two LPC bridges' vendor IDs, reads and writes of their
 * decode registers, and the sticky-key command through the EC mailbox.
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

/* The fields of one request that the policy looks at; unused ones stay 0. */
typedef struct LwAccess {
    uint32_t code;
    uint32_t port;        /* port codes */
    uint32_t bus;         /* configuration codes */
    uint32_t device;
    uint32_t function;
    uint32_t offset;
    uint32_t length;
    uint32_t ecCommand;   /* mailbox codes */
    uint32_t ecDataCount;
    uint32_t ecData;      /* first data byte */
} LwAccess;

/* 1 if the request may be carried out for this caller, 0 if it is refused. */
int lw_access_allowed(const LwAccess* request, int callerIsAdmin);

#ifdef __cplusplus
}
#endif

#endif
