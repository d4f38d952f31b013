// The chipset's decode window for the EC's index ports: detection of the
// LPC bridge, opening the window, checking it and restoring the bridge.
// One ChipsetWindow belongs to one exchange; nothing is kept between calls.
#pragma once

#include <windows.h>

#include "trace_log.h"

namespace latchwire {

enum Chipset { CHIPSET_NONE = 0, CHIPSET_FIRST = 1, CHIPSET_SECOND = 2 };

// The decode registers as an exchange found them. A register whose read
// failed is marked not saved: its value is unknown, so it is never written.
struct FoundDecode {
    LONG chipset;  // CHIPSET_NONE: nothing found (yet)
    LONG baseSaved;
    LONG controlSaved;
    USHORT base;
    UCHAR control;
};

// Told the found values after they are read and before the window is opened.
class FoundDecodeListener {
public:
    virtual void NoteFound(const FoundDecode& found) = 0;

protected:
    ~FoundDecodeListener() = default;
};

struct IndexPorts {
    USHORT base;  // written to the chipset and compared, never used as a port
    USHORT high;
    USHORT low;
    USHORT data;
};

class ChipsetWindow {
public:
    // Sets the ports, saves the decode registers and opens the window;
    // 1 if a supported chipset was found.
    int Enable_EC_IndexMode(FoundDecodeListener& listener);

    // 1 if the window reads back as open; traces the registers in text if not.
    int Chk_EC_IndexMode_Decode(char (&text)[kTraceLineSize]) const;

    // Writes the saved decode registers back; 1 if a supported chipset was found.
    int Disable_EC_IndexMode() const;

    const IndexPorts& Ports() const { return ports_; }

private:
    IndexPorts ports_{};
    FoundDecode found_{};
};

// The vendor ID the chipset's bridge is detected by.
ULONG ChipsetVendor(Chipset chipset);

// The registers were found on the chipset that this notebook has now.
bool FoundDecodeFitsNotebook(const FoundDecode& found);

// Writes back the registers an exchange found (those it could read), on the
// bridge of the chipset it found them on.
void RestoreFoundDecode(const FoundDecode& found);

}  // namespace latchwire
