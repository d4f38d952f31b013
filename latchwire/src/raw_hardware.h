// Internal helpers of the raw hardware exports.
#pragma once

#include <windows.h>

namespace latchwire {

// Configuration mechanism 1 address: Enable in bit 31, Bus << 16, Device << 11,
// Function << 8, Offset added unshifted, no field masked; bits 0 and 1 cleared.
ULONG MakePciAddress(ULONG enable, ULONG bus, ULONG device, ULONG function, ULONG offset);

}  // namespace latchwire
