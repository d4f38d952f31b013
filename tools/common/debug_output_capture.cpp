#include "debug_output_capture.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

namespace debugoutput {
namespace {

constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C

std::mutex g_mutex;
std::vector<std::string> g_lines;
PVOID g_handler = nullptr;

LONG CALLBACK RecordDebugString(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != kDebugPrintException || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    // Parameter 0 is the length including the NUL, parameter 1 the text.
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    size_t length = static_cast<size_t>(record->ExceptionInformation[0]);
    std::string line(text, length > 0 ? length - 1 : 0);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.push_back(line);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

TraceCapture::TraceCapture()
{
    Clear();
    g_handler = AddVectoredExceptionHandler(1, RecordDebugString);
}

TraceCapture::~TraceCapture()
{
    RemoveVectoredExceptionHandler(g_handler);
    g_handler = nullptr;
}

std::vector<std::string> TraceCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_lines;
}

std::vector<std::string> TraceCapture::Messages() const
{
    std::vector<std::string> messages;
    for (const std::string& line : Lines()) {
        TraceStamp stamp;
        std::string message;
        messages.push_back(ParseTraceLine(line, &stamp, &message) ? message : "<malformed>" + line);
    }
    return messages;
}

void TraceCapture::Clear()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.clear();
}

bool ParseTraceLine(const std::string& line, TraceStamp* s, std::string* message)
{
    constexpr size_t kPrefix = 28;
    if (line.size() < kPrefix || line.compare(0, 2, "\n\r") != 0 || line.compare(25, 3, " : ") != 0) return false;
    const std::string stamp = line.substr(2, 23);
    const char* shape = "dddd/dd/dd dd:dd:dd.ddd";
    for (size_t i = 0; i < stamp.size(); ++i) {
        bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if ((shape[i] == 'd') != digit || (!digit && shape[i] != stamp[i])) return false;
    }
    std::sscanf(stamp.c_str(), "%4d/%2d/%2d %2d:%2d:%2d.%3d", &s->year, &s->month, &s->day, &s->hour, &s->minute,
                &s->second, &s->millisecond);
    *message = line.substr(kPrefix);
    return true;
}

}  // namespace debugoutput
