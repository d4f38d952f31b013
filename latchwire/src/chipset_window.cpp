#include "chipset_window.h"

#include "ec_hardware.h"
#include "latchwire.h"
#include "module_state.h"

namespace latchwire {

USHORT IndexBase;
USHORT IndexHighPort;
USHORT IndexLowPort;
USHORT IndexDataPort;

namespace {

USHORT SavedDecodeBase;
UCHAR SavedDecodeControl;

enum class Chipset { None, First, Second };

// Asked afresh by every routine: the first chipset's answer decides first.
Chipset DetectChipset()
{
    if (Chk_PCI_Dev_Manufacturer(LPC_BRIDGE_BUS, FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION,
                                 FIRST_CHIPSET_VENDOR)) {
        return Chipset::First;
    }
    if (Chk_PCI_Dev_Manufacturer(LPC_BRIDGE_BUS, SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION,
                                 SECOND_CHIPSET_VENDOR)) {
        return Chipset::Second;
    }
    return Chipset::None;
}

// Configuration accesses of the detected bridge, through a 32-bit variable
// that is cleared before each read. Their results are not examined: a failed
// access shows later as a window that does not open.
ULONG ReadBridge(ULONG device, ULONG function, ULONG offset, ULONG length)
{
    ULONG value = 0;
    PCI_DeviceReceiveCOMM(1, LPC_BRIDGE_BUS, device, function, offset, reinterpret_cast<UCHAR*>(&value), length);
    return value;
}

void WriteBridge(ULONG device, ULONG function, ULONG offset, ULONG length, ULONG value)
{
    PCI_DeviceWriteCOMM(1, LPC_BRIDGE_BUS, device, function, offset, reinterpret_cast<UCHAR*>(&value), length);
}

ULONG ReadFirst(ULONG offset, ULONG length)
{
    return ReadBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, offset, length);
}

void WriteFirst(ULONG offset, ULONG length, ULONG value)
{
    WriteBridge(FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION, offset, length, value);
}

ULONG ReadSecond(ULONG offset, ULONG length)
{
    return ReadBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, offset, length);
}

void WriteSecond(ULONG offset, ULONG length, ULONG value)
{
    WriteBridge(SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION, offset, length, value);
}

void SetIndexPorts(USHORT base)
{
    IndexBase = base;
    IndexHighPort = static_cast<USHORT>(base + 1);
    IndexLowPort = static_cast<USHORT>(base + 2);
    IndexDataPort = static_cast<USHORT>(base + 3);
}

void TraceWindowClosed(ULONG base, ULONG control)
{
    TraceFormat(TraceText, "DEC_Data:%x DEC_CtlData:%x \n\r", static_cast<unsigned>(base & 0xFFFF),
                static_cast<unsigned>(control));
    TraceLog("Please Re-Enable EC IO Index\n\r");
}

}  // namespace

int Enable_EC_IndexMode()
{
    switch (DetectChipset()) {
    case Chipset::First:
        SetIndexPorts(FIRST_CHIPSET_INDEX_BASE);
        SavedDecodeBase = static_cast<USHORT>(ReadFirst(FIRST_CHIPSET_DECODE_BASE, 2));
        SavedDecodeControl = static_cast<UCHAR>(ReadFirst(FIRST_CHIPSET_DECODE_CTL, 1));
        WriteFirst(FIRST_CHIPSET_DECODE_BASE, 2, FIRST_CHIPSET_INDEX_BASE);
        WriteFirst(FIRST_CHIPSET_DECODE_CTL, 1, SavedDecodeControl | FIRST_CHIPSET_DECODE_BITS);
        return 1;
    case Chipset::Second:
        SetIndexPorts(SECOND_CHIPSET_INDEX_BASE);
        SavedDecodeBase = static_cast<USHORT>(ReadSecond(SECOND_CHIPSET_DECODE_BASE, 2));
        WriteSecond(SECOND_CHIPSET_DECODE_BASE, 2, (IndexBase & 0xFFF0u) | 0x0001u);
        return 1;
    case Chipset::None:
        break;
    }
    TraceLog("Enable_EC_IndexMode-->No support Chipset\n\r");
    return 0;
}

int Chk_EC_IndexMode_Decode()
{
    switch (DetectChipset()) {
    case Chipset::First: {
        ULONG base = ReadFirst(FIRST_CHIPSET_DECODE_BASE, 2) & 0xFFFF;
        ULONG control = ReadFirst(FIRST_CHIPSET_DECODE_CTL, 1) & FIRST_CHIPSET_DECODE_BITS;
        if (base == IndexBase && control == FIRST_CHIPSET_DECODE_BITS) return 1;
        TraceWindowClosed(base, control);
        return 0;
    }
    case Chipset::Second: {
        ULONG base = ReadSecond(SECOND_CHIPSET_DECODE_BASE, 2) & 0xFFFF;
        if (base == SECOND_CHIPSET_OPEN_VALUE) return 1;
        TraceWindowClosed(base, 0);  // this bridge has no control register
        return 0;
    }
    case Chipset::None:
        break;
    }
    return 0;
}

int Disable_EC_IndexMode()
{
    switch (DetectChipset()) {
    case Chipset::First:
        WriteFirst(FIRST_CHIPSET_DECODE_BASE, 2, SavedDecodeBase);
        WriteFirst(FIRST_CHIPSET_DECODE_CTL, 1, SavedDecodeControl);
        return 1;
    case Chipset::Second:
        WriteSecond(SECOND_CHIPSET_DECODE_BASE, 2, SavedDecodeBase);
        return 1;
    case Chipset::None:
        break;
    }
    TraceLog("Disable_EC_IndexMode-->No support Chipset\n\r");
    return 0;
}

}  // namespace latchwire
