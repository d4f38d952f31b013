/*
 * The notebook's EC and chipset as the host sees them: the EC's index-window
 * registers and handshake values, the sticky-key command, and the two LPC
 * bridges whose decode range opens the EC's ports. Shared by the library and
 * by the virtual notebook that plays the hardware; plain C.
 */
#ifndef EC_HARDWARE_H
#define EC_HARDWARE_H

/* EC registers in the EC's own 16-bit space, reached through the index window. */
#define EC_FLAG_REG      0xFBFCu
#define EC_CMD_REG       0xFBFDu
#define EC_DATA_REG      0xFBFEu
#define EC_DEFAULT_ADDR  0xF432u /* stands in the index ports between exchanges */

/* Handshake flag values. */
#define FLAG_FREE   0u
#define FLAG_POSTED 1u
#define FLAG_READY  2u

/* The sticky-key command and its data bytes. */
#define STICKY_CMD          0x59u
#define STICKY_DATA_ON      0x60u
#define STICKY_DATA_OFF     0x61u
#define STICKY_DATA_FN_DOWN 0x62u
#define STICKY_DATA_FN_UP   0x63u

/* First chipset: LPC bridge at bus 0, device 0x14, function 3. */
#define FIRST_CHIPSET_VENDOR        0x1002u
#define FIRST_CHIPSET_DEVICE        0x14u
#define FIRST_CHIPSET_FUNCTION      3u
#define FIRST_CHIPSET_DECODE_BASE   0x64u /* 2 bytes */
#define FIRST_CHIPSET_DECODE_CTL    0x48u /* 1 byte */
#define FIRST_CHIPSET_DECODE_BITS   0x05u /* bits 0 and 2 of the control register */
#define FIRST_CHIPSET_INDEX_BASE    0xE02Cu

/* Second chipset: LPC bridge at bus 0, device 0x1F, function 0. */
#define SECOND_CHIPSET_VENDOR       0x8086u
#define SECOND_CHIPSET_DEVICE       0x1Fu
#define SECOND_CHIPSET_FUNCTION     0u
#define SECOND_CHIPSET_DECODE_BASE  0x84u /* 2 bytes */
#define SECOND_CHIPSET_INDEX_BASE   0xFF2Cu
#define SECOND_CHIPSET_OPEN_VALUE   0xFF01u /* what the register reads once the window is open */
/* What is written to open it: the window's base with the low nibble 1. */
#define SECOND_CHIPSET_DECODE_OPEN  ((SECOND_CHIPSET_INDEX_BASE & 0xFFF0u) | 0x0001u)

#define LPC_BRIDGE_BUS 0u

#endif
