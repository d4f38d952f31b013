// The library's one diagnostic channel: time-stamped lines on the debugger output.
#pragma once

namespace latchwire {

// Size of the buffer a trace line is composed in, terminating NUL included.
constexpr int kTraceLineSize = 260;

// Writes "\n\r<yyyy/mm/dd hh:mm:ss.mmm> : <message>" with OutputDebugStringA.
// The message is an argument, never a format; a message too long for the
// line is cut at the buffer's end.
void TraceLog(const char* message);

// TraceLog of a message built from a format and its arguments, composed in
// the caller's 260-byte text buffer (cut safely if it does not fit).
void TraceFormat(char (&text)[kTraceLineSize], const char* format, ...);

}  // namespace latchwire
