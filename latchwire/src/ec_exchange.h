// One EC index-mode exchange. The object owns everything the exchange uses:
// its hold on the exchange lock and the semaphore, the chipset window with
// the found decode registers, the index ports and the trace text.
// Construction takes the lock and the semaphore, takes over what a holder
// that died left, and opens the window; destruction closes the window,
// restores the bridge and gives the semaphore and the lock back, on every
// path. Only the lock's record is shared between calls and threads.
#pragma once

#include <windows.h>

#include "chipset_window.h"
#include "exchange_lock.h"
#include "exchange_record.h"
#include "trace_log.h"
#include "utility_semaphore.h"

namespace latchwire {

class EcExchange {
public:
    // enableFailTrace is traced when no supported chipset is found.
    explicit EcExchange(const char* enableFailTrace);
    ~EcExchange();
    EcExchange(const EcExchange&) = delete;
    EcExchange& operator=(const EcExchange&) = delete;

    // The window was opened; without it the exchange has failed.
    bool Started() const { return started_; }

    // Sends the command byte and count data bytes; 1 when the EC took them.
    int SendCommand(int command, int count, const UCHAR* data);

    // Takes count bytes into buffer; on a failure the bytes before it are
    // kept, the window is closed and the failure traced.
    int ReceiveBytes(int count, UCHAR* buffer);

private:
    int EC_Index_Write_UCHAR(USHORT address, UCHAR value);
    int EC_Index_Read_UCHAR(USHORT address, UCHAR* value);
    int Chk_IndexMode_Flag(UCHAR expected);
    int Set_IndexMode_Byte(USHORT reg, UCHAR value);
    int Get_IndexMode_Byte(UCHAR* out);
    int Chk_Default_Addr();
    int Set_EC_Command(int command, int count, const UCHAR* data);
    int Clear_IndexMode();
    void CheckDecodePausingIfClosed();
    void TakeSemaphore();
    void RestoreWhatADeadHolderFound();
    void CloseWindow();

    ExchangeLock lock_;
    ExchangeRecord record_;
    UtilitySemaphore semaphore_;
    ChipsetWindow window_;
    bool recovered_ = false;   // the lock came from a holder that died
    bool started_ = false;
    bool windowClosed_ = false;
    UCHAR lastTaken_ = 0;      // last byte read from EC_DATA_REG in this exchange
    char traceText_[kTraceLineSize] = {};
};

}  // namespace latchwire
