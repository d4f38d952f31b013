// EC index-mode exchanges: register access through the index window, the
// flag handshake, and the two exports that each run one exchange.
#include "ec_exchange.h"

#include "ec_hardware.h"
#include "latchwire.h"

namespace latchwire {
namespace {

constexpr int kFlagPolls = 0x500;
constexpr int kIdleChecks = 10;
constexpr DWORD kIdleCheckPauseMs = 100;
constexpr DWORD kDecodePauseMs = 50;

// A NUL would end the trace line early; everything else is shown as is.
int Printable(UCHAR byte)
{
    return byte == 0 ? '.' : byte;
}

UCHAR HighByte(USHORT address)
{
    return static_cast<UCHAR>((address >> 8) & 0xFF);
}

UCHAR LowByte(USHORT address)
{
    return static_cast<UCHAR>(address & 0xFF);
}

}  // namespace

EcExchange::EcExchange(const char* enableFailTrace)
{
    const ExchangeLock::Outcome lock = lock_.Acquire();
    if (lock == ExchangeLock::LOCK_BUSY) return;
    // A holder that died left its handshake where it stopped, whatever its
    // record says: the exchange ends it as that holder's clean-up would have.
    recovered_ = lock == ExchangeLock::LOCK_TAKEN_FROM_DEAD_HOLDER;
    if (lock != ExchangeLock::LOCK_UNAVAILABLE) record_.Claim(recovered_);
    TakeSemaphore();
    RestoreWhatADeadHolderFound();
    if (!window_.Enable_EC_IndexMode(record_)) {
        TraceLog(enableFailTrace);
        return;
    }
    started_ = true;
}

// A count that a holder that died took is this exchange's now; otherwise the
// semaphore is waited for, 600 ms at most: only a program outside this
// library can hold it while the lock is held, and such a program cannot be
// told from a dead one, so on a timeout the exchange goes on regardless.
void EcExchange::TakeSemaphore()
{
    semaphore_.Open_Utility_Semaphore(kUtilitySemaphoreName, kUtilitySemaphoreCount);
    record_.KeepSemaphoreAlive(semaphore_.Handle());
    if (record_.InheritsSemaphoreCount()) {
        semaphore_.AdoptFromDeadHolder();
    } else if (semaphore_.Wait_Utility_Semaphore(kUtilitySemaphoreWaitMs)) {
        record_.NoteSemaphoreHeld();
    }
}

// The found registers go back first, so that this exchange finds (and later
// restores) the bridge as that holder found it.
void EcExchange::RestoreWhatADeadHolderFound()
{
    const FoundDecode& abandoned = record_.AbandonedDecode();
    if (abandoned.chipset == CHIPSET_NONE) return;
    RestoreFoundDecode(abandoned);
}

EcExchange::~EcExchange()
{
    CloseWindow();
    record_.NoteRestored();
    if (semaphore_.State() == UtilitySemaphore::SEM_HELD) record_.NoteSemaphoreGivenBack();
    semaphore_.Release_Utility_Semaphore();
    record_.Leave();
    lock_.Release();
}

void EcExchange::CloseWindow()
{
    if (!started_ || windowClosed_) return;
    windowClosed_ = true;
    Clear_IndexMode();
    window_.Disable_EC_IndexMode();
}

int EcExchange::EC_Index_Write_UCHAR(USHORT address, UCHAR value)
{
    const IndexPorts& ports = window_.Ports();
    return IO_Port_Write_UCHAR(ports.high, HighByte(address)) && IO_Port_Write_UCHAR(ports.low, LowByte(address)) &&
           IO_Port_Write_UCHAR(ports.data, value);
}

int EcExchange::EC_Index_Read_UCHAR(USHORT address, UCHAR* value)
{
    const IndexPorts& ports = window_.Ports();
    UCHAR byte = 0;
    if (!IO_Port_Write_UCHAR(ports.high, HighByte(address)) || !IO_Port_Write_UCHAR(ports.low, LowByte(address)) ||
        !IO_Port_Read_UCHAR(ports.data, &byte)) {
        return 0;
    }
    *value = byte;
    return 1;
}

int EcExchange::Chk_IndexMode_Flag(UCHAR expected)
{
    UCHAR last = expected;
    for (int poll = 0; poll < kFlagPolls; ++poll) {
        UCHAR flag = 0;
        if (!EC_Index_Read_UCHAR(EC_FLAG_REG, &flag)) break;
        last = flag;
        if (flag == expected) return 1;
    }
    TraceFormat(traceText_, "Chk_IndexMode_Flag:%x (%x) Timeout\n\r", static_cast<unsigned>(expected),
                static_cast<unsigned>(last));
    return 0;
}

int EcExchange::Set_IndexMode_Byte(USHORT reg, UCHAR value)
{
    if (reg != EC_CMD_REG && reg != EC_DATA_REG) return 0;
    return EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_READY) && EC_Index_Write_UCHAR(reg, value) &&
           EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_POSTED) && Chk_IndexMode_Flag(FLAG_READY);
}

int EcExchange::Get_IndexMode_Byte(UCHAR* out)
{
    UCHAR byte = 0;
    if (!EC_Index_Read_UCHAR(EC_DATA_REG, &byte)) return 0;
    *out = byte;
    lastTaken_ = byte;
    return EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_POSTED) && Chk_IndexMode_Flag(FLAG_READY);
}

int EcExchange::Chk_Default_Addr()
{
    const IndexPorts& ports = window_.Ports();
    USHORT address = 0;
    for (int attempt = 0; attempt < kIdleChecks; ++attempt) {
        UCHAR high = 0, low = 0;
        if (!IO_Port_Read_UCHAR(ports.high, &high) || !IO_Port_Read_UCHAR(ports.low, &low)) return 0;
        address = static_cast<USHORT>((high << 8) | low);
        if (address == EC_DEFAULT_ADDR) break;
        Sleep(kIdleCheckPauseMs);
    }
    if (address == EC_DEFAULT_ADDR) return Chk_IndexMode_Flag(FLAG_FREE);
    TraceFormat(traceText_, "Default Addr error(%x)\n\r", static_cast<unsigned>(address));
    return 0;
}

int EcExchange::Set_EC_Command(int command, int count, const UCHAR* data)
{
    if (!Chk_Default_Addr()) return 0;
    const UCHAR commandByte = static_cast<UCHAR>(command & 0xFF);
    if (!Set_IndexMode_Byte(EC_CMD_REG, commandByte)) {
        TraceFormat(traceText_, "Set EC CMD(%x) fail\n\r", static_cast<unsigned>(commandByte));
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        if (!Set_IndexMode_Byte(EC_DATA_REG, data[i])) {
            TraceFormat(traceText_, "Set EC Data :Index( %d ) Data:%x( %c ) fail\n\r", i + 1,
                        static_cast<unsigned>(data[i]), Printable(data[i]));
            return 0;
        }
    }
    return 1;
}

int EcExchange::Clear_IndexMode()
{
    if (!EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_FREE)) {
        TraceLog("Clear index mode to free status fail! \n\r");
        return 0;
    }
    const IndexPorts& ports = window_.Ports();
    if (!IO_Port_Write_UCHAR(ports.high, HighByte(EC_DEFAULT_ADDR)) ||
        !IO_Port_Write_UCHAR(ports.low, LowByte(EC_DEFAULT_ADDR))) {
        TraceLog("Restore EC Default Flash Address fail! \n\r");
        return 0;
    }
    return 1;
}

void EcExchange::CheckDecodePausingIfClosed()
{
    if (!window_.Chk_EC_IndexMode_Decode(traceText_)) Sleep(kDecodePauseMs);
}

int EcExchange::SendCommand(int command, int count, const UCHAR* data)
{
    if (!started_) return 0;
    CheckDecodePausingIfClosed();
    if (recovered_) Clear_IndexMode();
    if (Set_EC_Command(command, count, data)) return 1;
    CheckDecodePausingIfClosed();
    return 0;
}

int EcExchange::ReceiveBytes(int count, UCHAR* buffer)
{
    for (int i = 0; i < count; ++i) {
        UCHAR byte = 0;
        if (!Get_IndexMode_Byte(&byte)) {
            CloseWindow();
            TraceFormat(traceText_, "Get EC Data :Index( %d ) Data:%x( %c )\n\r", i + 1,
                        static_cast<unsigned>(lastTaken_), Printable(lastTaken_));
            return 0;
        }
        buffer[i] = byte;
    }
    return 1;
}

}  // namespace latchwire

using latchwire::EcExchange;

extern "C" {

int EC_IndexMode_WriteCOMM(int Command, int Count, UCHAR* Data)
{
    EcExchange exchange("(EC_IndexMode_WriteCOMM) Enable_EC_IndexMode fail! \n\r");
    return exchange.SendCommand(Command, Count, Data);
}

int EC_IndexMode_ReceiveCOMM(int Command, int Count, UCHAR* Data, int ReceiveCount, UCHAR* ReceiveBuffer)
{
    EcExchange exchange("(EC_IndexMode_ReceiveCOMM) Enable_EC_IndexMode fail! \n\r");
    if (!exchange.SendCommand(Command, Count, Data)) return 0;
    return exchange.ReceiveBytes(ReceiveCount, ReceiveBuffer);
}

}  // extern "C"
