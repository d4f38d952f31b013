#include "trace_log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace latchwire {

void TraceLog(const char* message)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[kTraceLineSize];
    std::snprintf(line, sizeof line, "\n\r%04d/%02d/%02d %02d:%02d:%02d.%03d : %s", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds, message);
    OutputDebugStringA(line);
}

void TraceFormat(char (&text)[kTraceLineSize], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    TraceLog(text);
}

}  // namespace latchwire
