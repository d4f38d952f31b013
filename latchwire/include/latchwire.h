/*
 * Latchwire: raw hardware access through the Latchwire kernel driver.
 *
 * Flat C exports, undecorated, C calling convention. Every export returns 1
 * for success and 0 for failure, and writes time-stamped trace lines to the
 * debugger output when something fails.
 */
#ifndef LATCHWIRE_H
#define LATCHWIRE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Port I/O: Data receives the value read. */
int IO_Port_Read_UCHAR(ULONG Port, UCHAR* Data);
int IO_Port_Write_UCHAR(ULONG Port, UCHAR Data);
int IO_Port_Read_USHORT(ULONG Port, USHORT* Data);
int IO_Port_Write_USHORT(ULONG Port, USHORT Data);
int IO_Port_Read_ULONG(ULONG Port, ULONG* Data);
int IO_Port_Write_ULONG(ULONG Port, ULONG Data);

/* PCI configuration space: Length bytes from Offset, into or out of Data. */
int PCI_DeviceReceiveCOMM(ULONG Enable, ULONG Bus, ULONG Device, ULONG Function, ULONG Offset, UCHAR* Data,
                          ULONG Length);
int PCI_DeviceWriteCOMM(ULONG Enable, ULONG Bus, ULONG Device, ULONG Function, ULONG Offset, UCHAR* Data,
                        ULONG Length);

/* 1 if the function's vendor ID equals the low 16 bits of VendorId. */
int Chk_PCI_Dev_Manufacturer(ULONG Bus, ULONG Device, ULONG Function, ULONG VendorId);

/* Physical memory: map PhysAddr into this process (Length is the driver's second word), and release it. */
int Phy_Mapp_Lin(ULONG PhysAddr, ULONG Length, ULONG* LinearAddr);
int UnMapp_LinADD(ULONG LinearAddr);

/* EC mailbox carried by the driver: the fields' meaning is the driver's. */
int EC_IO_ReceiveCOMM(UCHAR Param1, UCHAR Param2, UCHAR Param3, ULONG Param4, ULONG Param5, ULONG Param6,
                      ULONG Param7);
int EC_IO_SendCOMM(UCHAR Param1, UCHAR Param2, UCHAR Param3, ULONG Param4, ULONG Param5);

/* Driver service: install (create, start, switch to system start) where it is
 * missing, and stop and delete. */
int Check_Driver(const char* ServiceName, const char* DriverPath);
int UnloadDriver(const char* ServiceName);

/* EC index mode: one mailbox exchange of a command byte and Count data bytes
 * (and, for the receive, ReceiveCount bytes back), serialised across processes. */
int EC_IndexMode_WriteCOMM(int Command, int Count, UCHAR* Data);
int EC_IndexMode_ReceiveCOMM(int Command, int Count, UCHAR* Data, int ReceiveCount, UCHAR* ReceiveBuffer);

/* Sticky-key commands: non-zero on success. */
int Enable_StickyKey(void);
int Disable_StickyKey(void);
int FnKeyDown(void);
int FnKeyUP(void);

#ifdef __cplusplus
}
#endif

#endif
