// EC index-mode exchanges: register access through the index window, the
// flag handshake, and the named semaphore that orders exchanges across
// processes.
#pragma once

#include <windows.h>

namespace latchwire {

// Semaphore states.
enum { SEM_NONE = 0, SEM_OPEN = 1, SEM_HELD = 2 };

void Open_Utility_Semaphore(const char* name, LONG count);
int Wait_Utility_Semaphore(DWORD milliseconds);
int Release_Utility_Semaphore();
int UtilitySemaphoreState();

// One byte to EC_CMD_REG or EC_DATA_REG with the handshake; any other
// register fails at once without I/O.
int Set_IndexMode_Byte(ULONG reg, UCHAR value);

}  // namespace latchwire
