// The chipset's decode window for the EC's index ports: detection of the
// LPC bridge, opening the window, checking it and restoring the bridge.
#pragma once

namespace latchwire {

// Sets the port variables, saves the decode registers and opens the window;
// 1 if a supported chipset was found.
int Enable_EC_IndexMode();

// 1 if the window reads back as open; traces the registers if it does not.
int Chk_EC_IndexMode_Decode();

// Writes the saved decode registers back; 1 if a supported chipset was found.
int Disable_EC_IndexMode();

}  // namespace latchwire
