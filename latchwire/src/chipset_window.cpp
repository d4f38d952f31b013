#include "chipset_window.h"

#include "ec_hardware.h"
#include "latchwire.h"

namespace latchwire {
namespace {

// Asked afresh by every routine: the first chipset's answer decides first.
Chipset DetectChipset()
{
    if (Chk_PCI_Dev_Manufacturer(LPC_BRIDGE_BUS, FIRST_CHIPSET_DEVICE, FIRST_CHIPSET_FUNCTION,
                                 FIRST_CHIPSET_VENDOR)) {
        return CHIPSET_FIRST;
    }
    if (Chk_PCI_Dev_Manufacturer(LPC_BRIDGE_BUS, SECOND_CHIPSET_DEVICE, SECOND_CHIPSET_FUNCTION,
                                 SECOND_CHIPSET_VENDOR)) {
        return CHIPSET_SECOND;
    }
    return CHIPSET_NONE;
}

ULONG BridgeDevice(Chipset chipset)
{
    return chipset == CHIPSET_FIRST ? FIRST_CHIPSET_DEVICE : SECOND_CHIPSET_DEVICE;
}

ULONG BridgeFunction(Chipset chipset)
{
    return chipset == CHIPSET_FIRST ? FIRST_CHIPSET_FUNCTION : SECOND_CHIPSET_FUNCTION;
}

ULONG DecodeBaseOffset(Chipset chipset)
{
    return chipset == CHIPSET_FIRST ? FIRST_CHIPSET_DECODE_BASE : SECOND_CHIPSET_DECODE_BASE;
}

// Configuration accesses of the bridge through a 32-bit variable that is
// cleared before each read. A read reports whether it succeeded; a failed
// access is traced by the export and shows later as a window that does not
// open.
bool ReadBridge(Chipset chipset, ULONG offset, ULONG length, ULONG* value)
{
    *value = 0;
    return PCI_DeviceReceiveCOMM(1, LPC_BRIDGE_BUS, BridgeDevice(chipset), BridgeFunction(chipset), offset,
                                 reinterpret_cast<UCHAR*>(value), length) != 0;
}

ULONG ReadBridgeValue(Chipset chipset, ULONG offset, ULONG length)
{
    ULONG value = 0;
    ReadBridge(chipset, offset, length, &value);
    return value;
}

void WriteBridge(Chipset chipset, ULONG offset, ULONG length, ULONG value)
{
    PCI_DeviceWriteCOMM(1, LPC_BRIDGE_BUS, BridgeDevice(chipset), BridgeFunction(chipset), offset,
                        reinterpret_cast<UCHAR*>(&value), length);
}

IndexPorts PortsAt(USHORT base)
{
    return IndexPorts{base, static_cast<USHORT>(base + 1), static_cast<USHORT>(base + 2),
                      static_cast<USHORT>(base + 3)};
}

FoundDecode ReadFoundDecode(Chipset chipset)
{
    FoundDecode found{};
    ULONG value = 0;
    found.baseSaved = ReadBridge(chipset, DecodeBaseOffset(chipset), 2, &value);
    found.base = static_cast<USHORT>(value);
    if (chipset == CHIPSET_FIRST) {
        found.controlSaved = ReadBridge(chipset, FIRST_CHIPSET_DECODE_CTL, 1, &value);
        found.control = static_cast<UCHAR>(value);
    }
    found.chipset = chipset;
    return found;
}

void TraceWindowClosed(char (&text)[kTraceLineSize], ULONG base, ULONG control)
{
    TraceFormat(text, "DEC_Data:%x DEC_CtlData:%x \n\r", static_cast<unsigned>(base & 0xFFFF),
                static_cast<unsigned>(control));
    TraceLog("Please Re-Enable EC IO Index\n\r");
}

}  // namespace

int ChipsetWindow::Enable_EC_IndexMode(FoundDecodeListener& listener)
{
    const Chipset chipset = DetectChipset();
    if (chipset == CHIPSET_NONE) {
        TraceLog("Enable_EC_IndexMode-->No support Chipset\n\r");
        return 0;
    }
    ports_ = PortsAt(chipset == CHIPSET_FIRST ? FIRST_CHIPSET_INDEX_BASE : SECOND_CHIPSET_INDEX_BASE);
    found_ = ReadFoundDecode(chipset);
    listener.NoteFound(found_);
    // A register that could not be read is left alone: opening it would
    // leave a value behind that nothing can put back.
    if (chipset == CHIPSET_FIRST) {
        if (found_.baseSaved) WriteBridge(chipset, FIRST_CHIPSET_DECODE_BASE, 2, ports_.base);
        if (found_.controlSaved) {
            WriteBridge(chipset, FIRST_CHIPSET_DECODE_CTL, 1, found_.control | FIRST_CHIPSET_DECODE_BITS);
        }
    } else if (found_.baseSaved) {
        WriteBridge(chipset, SECOND_CHIPSET_DECODE_BASE, 2, (ports_.base & 0xFFF0u) | 0x0001u);
    }
    return 1;
}

int ChipsetWindow::Chk_EC_IndexMode_Decode(char (&text)[kTraceLineSize]) const
{
    switch (DetectChipset()) {
    case CHIPSET_FIRST: {
        ULONG base = ReadBridgeValue(CHIPSET_FIRST, FIRST_CHIPSET_DECODE_BASE, 2) & 0xFFFF;
        ULONG control = ReadBridgeValue(CHIPSET_FIRST, FIRST_CHIPSET_DECODE_CTL, 1) & FIRST_CHIPSET_DECODE_BITS;
        if (base == ports_.base && control == FIRST_CHIPSET_DECODE_BITS) return 1;
        TraceWindowClosed(text, base, control);
        return 0;
    }
    case CHIPSET_SECOND: {
        ULONG base = ReadBridgeValue(CHIPSET_SECOND, SECOND_CHIPSET_DECODE_BASE, 2) & 0xFFFF;
        if (base == SECOND_CHIPSET_OPEN_VALUE) return 1;
        TraceWindowClosed(text, base, 0);  // this bridge has no control register
        return 0;
    }
    default:
        return 0;
    }
}

int ChipsetWindow::Disable_EC_IndexMode() const
{
    const Chipset chipset = DetectChipset();
    if (chipset == CHIPSET_NONE) {
        TraceLog("Disable_EC_IndexMode-->No support Chipset\n\r");
        return 0;
    }
    // Values read from one bridge are never written into another's.
    if (chipset == found_.chipset) RestoreFoundDecode(found_);
    return 1;
}

ULONG ChipsetVendor(Chipset chipset)
{
    switch (chipset) {
    case CHIPSET_FIRST:
        return FIRST_CHIPSET_VENDOR;
    case CHIPSET_SECOND:
        return SECOND_CHIPSET_VENDOR;
    default:
        return 0;
    }
}

bool FoundDecodeFitsNotebook(const FoundDecode& found)
{
    return found.chipset != CHIPSET_NONE && found.chipset == DetectChipset();
}

void RestoreFoundDecode(const FoundDecode& found)
{
    const Chipset chipset = static_cast<Chipset>(found.chipset);
    if (chipset == CHIPSET_NONE) return;
    if (found.baseSaved) WriteBridge(chipset, DecodeBaseOffset(chipset), 2, found.base);
    if (chipset == CHIPSET_FIRST && found.controlSaved) {
        WriteBridge(chipset, FIRST_CHIPSET_DECODE_CTL, 1, found.control);
    }
}

}  // namespace latchwire
