#include "ec_index_mode.h"

#include "chipset_window.h"
#include "ec_hardware.h"
#include "latchwire.h"
#include "module_state.h"

namespace latchwire {

char TraceText[kTraceLineSize];

namespace {

constexpr char kSemaphoreName[] = "Quorin Utility Semaphore Object";
constexpr LONG kSemaphoreCount = 1;
constexpr DWORD kSemaphoreWaitMs = 600;
constexpr int kFlagPolls = 0x500;
constexpr int kIdleChecks = 10;
constexpr DWORD kIdleCheckPauseMs = 100;
constexpr DWORD kDecodePauseMs = 50;

HANDLE SemaphoreHandle;
int SemaphoreState = SEM_NONE;

// A NUL would end the trace line early; everything else is shown as is.
int Printable(UCHAR byte)
{
    return byte == 0 ? '.' : byte;
}

int EC_Index_Write_UCHAR(USHORT address, UCHAR value)
{
    return IO_Port_Write_UCHAR(IndexHighPort, static_cast<UCHAR>((address >> 8) & 0xFF)) &&
           IO_Port_Write_UCHAR(IndexLowPort, static_cast<UCHAR>(address & 0xFF)) &&
           IO_Port_Write_UCHAR(IndexDataPort, value);
}

int EC_Index_Read_UCHAR(USHORT address, UCHAR* value)
{
    UCHAR byte = 0;
    if (!IO_Port_Write_UCHAR(IndexHighPort, static_cast<UCHAR>((address >> 8) & 0xFF)) ||
        !IO_Port_Write_UCHAR(IndexLowPort, static_cast<UCHAR>(address & 0xFF)) ||
        !IO_Port_Read_UCHAR(IndexDataPort, &byte)) {
        return 0;
    }
    *value = byte;
    return 1;
}

int Chk_IndexMode_Flag(UCHAR expected)
{
    UCHAR last = expected;
    for (int poll = 0; poll < kFlagPolls; ++poll) {
        UCHAR flag = 0;
        if (!EC_Index_Read_UCHAR(EC_FLAG_REG, &flag)) break;
        last = flag;
        if (flag == expected) return 1;
    }
    TraceFormat(TraceText, "Chk_IndexMode_Flag:%x (%x) Timeout\n\r", static_cast<unsigned>(expected),
                static_cast<unsigned>(last));
    return 0;
}

// Reads the last byte taken from EC_DATA_REG by this exchange into *taken.
int Get_IndexMode_Byte(UCHAR* out, UCHAR* taken)
{
    UCHAR byte = 0;
    if (!EC_Index_Read_UCHAR(EC_DATA_REG, &byte)) return 0;
    *out = byte;
    *taken = byte;
    return EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_POSTED) && Chk_IndexMode_Flag(FLAG_READY);
}

int Chk_Default_Addr()
{
    USHORT address = 0;
    for (int attempt = 0; attempt < kIdleChecks; ++attempt) {
        UCHAR high = 0, low = 0;
        if (!IO_Port_Read_UCHAR(IndexHighPort, &high) || !IO_Port_Read_UCHAR(IndexLowPort, &low)) return 0;
        address = static_cast<USHORT>((high << 8) | low);
        if (address == EC_DEFAULT_ADDR) break;
        Sleep(kIdleCheckPauseMs);
    }
    if (address == EC_DEFAULT_ADDR) return Chk_IndexMode_Flag(FLAG_FREE);
    TraceFormat(TraceText, "Default Addr error(%x)\n\r", static_cast<unsigned>(address));
    return 0;
}

int Set_EC_Command(int command, int count, const UCHAR* data)
{
    if (!Chk_Default_Addr()) return 0;
    UCHAR commandByte = static_cast<UCHAR>(command & 0xFF);
    if (!Set_IndexMode_Byte(EC_CMD_REG, commandByte)) {
        TraceFormat(TraceText, "Set EC CMD(%x) fail\n\r", static_cast<unsigned>(commandByte));
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        if (!Set_IndexMode_Byte(EC_DATA_REG, data[i])) {
            TraceFormat(TraceText, "Set EC Data :Index( %d ) Data:%x( %c ) fail\n\r", i + 1,
                        static_cast<unsigned>(data[i]), Printable(data[i]));
            return 0;
        }
    }
    return 1;
}

int Clear_IndexMode()
{
    if (!EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_FREE)) {
        TraceLog("Clear index mode to free status fail! \n\r");
        return 0;
    }
    if (!IO_Port_Write_UCHAR(IndexHighPort, (EC_DEFAULT_ADDR >> 8) & 0xFF) ||
        !IO_Port_Write_UCHAR(IndexLowPort, EC_DEFAULT_ADDR & 0xFF)) {
        TraceLog("Restore EC Default Flash Address fail! \n\r");
        return 0;
    }
    return 1;
}

// Gives the semaphore back and closes this exchange's handle to it, so no
// handle outlives the exchange.
void EndSemaphoreUse()
{
    Release_Utility_Semaphore();
    if (SemaphoreHandle != nullptr) {
        CloseHandle(SemaphoreHandle);
        SemaphoreHandle = nullptr;
    }
}

void CheckDecodePausingIfClosed()
{
    if (!Chk_EC_IndexMode_Decode()) Sleep(kDecodePauseMs);
}

// Steps shared by both exports: semaphore, window, command and data bytes.
// Returns 1 when the bytes went through; on 0, *opened tells whether the
// window was opened (and so must be cleaned up).
int BeginExchange(int command, int count, const UCHAR* data, const char* enableFailTrace, bool* opened)
{
    *opened = false;
    Open_Utility_Semaphore(kSemaphoreName, kSemaphoreCount);
    Wait_Utility_Semaphore(kSemaphoreWaitMs);  // on a timeout the exchange goes on regardless
    if (!Enable_EC_IndexMode()) {
        TraceLog(enableFailTrace);
        return 0;
    }
    *opened = true;
    CheckDecodePausingIfClosed();
    if (Set_EC_Command(command, count, data)) return 1;
    CheckDecodePausingIfClosed();
    return 0;
}

void CloseWindow()
{
    Clear_IndexMode();
    Disable_EC_IndexMode();
}

}  // namespace

void Open_Utility_Semaphore(const char* name, LONG count)
{
    SemaphoreState = SEM_OPEN;
    SemaphoreHandle = CreateSemaphoreA(nullptr, count, count, name);
}

int Wait_Utility_Semaphore(DWORD milliseconds)
{
    if (SemaphoreState == SEM_NONE) return 0;
    if (SemaphoreState == SEM_HELD) return 1;
    switch (WaitForSingleObject(SemaphoreHandle, milliseconds)) {
    case WAIT_OBJECT_0:
        SemaphoreState = SEM_HELD;
        return 1;
    case WAIT_ABANDONED:
    case WAIT_TIMEOUT:
        return 0;
    default:
        GetLastError();
        return 0;
    }
}

int Release_Utility_Semaphore()
{
    if (SemaphoreState == SEM_NONE) return 0;
    if (SemaphoreState == SEM_OPEN) return 1;
    if (!ReleaseSemaphore(SemaphoreHandle, 1, nullptr)) return 0;
    SemaphoreState = SEM_OPEN;
    return 1;
}

int UtilitySemaphoreState()
{
    return SemaphoreState;
}

int Set_IndexMode_Byte(ULONG reg, UCHAR value)
{
    USHORT address = static_cast<USHORT>(reg & 0xFFFF);
    if (address != EC_CMD_REG && address != EC_DATA_REG) return 0;
    return EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_READY) && EC_Index_Write_UCHAR(address, value) &&
           EC_Index_Write_UCHAR(EC_FLAG_REG, FLAG_POSTED) && Chk_IndexMode_Flag(FLAG_READY);
}

}  // namespace latchwire

using namespace latchwire;

extern "C" {

int EC_IndexMode_WriteCOMM(int Command, int Count, UCHAR* Data)
{
    bool opened = false;
    int sent = BeginExchange(Command, Count, Data, "(EC_IndexMode_WriteCOMM) Enable_EC_IndexMode fail! \n\r",
                             &opened);
    if (opened) CloseWindow();
    EndSemaphoreUse();
    return sent;
}

int EC_IndexMode_ReceiveCOMM(int Command, int Count, UCHAR* Data, int ReceiveCount, UCHAR* ReceiveBuffer)
{
    bool opened = false;
    if (!BeginExchange(Command, Count, Data, "(EC_IndexMode_ReceiveCOMM) Enable_EC_IndexMode fail! \n\r",
                       &opened)) {
        if (opened) CloseWindow();
        EndSemaphoreUse();
        return 0;
    }
    UCHAR taken = 0;  // shown when no byte could be read in this call
    for (int i = 0; i < ReceiveCount; ++i) {
        UCHAR byte = 0;
        if (!Get_IndexMode_Byte(&byte, &taken)) {
            CloseWindow();
            TraceFormat(TraceText, "Get EC Data :Index( %d ) Data:%x( %c )\n\r", i + 1,
                        static_cast<unsigned>(taken), Printable(taken));
            EndSemaphoreUse();
            return 0;
        }
        ReceiveBuffer[i] = byte;
    }
    CloseWindow();
    EndSemaphoreUse();
    return 1;
}

}  // extern "C"
