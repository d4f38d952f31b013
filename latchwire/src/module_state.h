// Module state of the EC index-mode exchange, one set per process, all zero
// at load and set afresh by each exchange. Not guarded: the exports that use
// it are called from one thread at a time.
#pragma once

#include <windows.h>

#include "trace_log.h"

namespace latchwire {

// The EC's index window, set by Enable_EC_IndexMode at every exchange.
extern USHORT IndexBase;
extern USHORT IndexHighPort;
extern USHORT IndexLowPort;
extern USHORT IndexDataPort;

// Text buffer for trace lines that carry values.
extern char TraceText[kTraceLineSize];

}  // namespace latchwire
