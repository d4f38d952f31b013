// Captures this process's debugger-output lines, as a debugger would see
// them, by catching the exception that OutputDebugStringA raises.
#pragma once

#include <string>
#include <vector>

namespace debugoutput {

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // Every line written since construction or the last Clear, in order.
    std::vector<std::string> Lines() const;
    // The message part of each line (the text after the 28-character stamp).
    std::vector<std::string> Messages() const;
    void Clear();
};

// Splits a trace line into its stamp fields; false if the line is not
// "\n\r" + "yyyy/mm/dd hh:mm:ss.mmm" + " : " + message.
struct TraceStamp {
    int year, month, day, hour, minute, second, millisecond;
};
bool ParseTraceLine(const std::string& line, TraceStamp* stamp, std::string* message);

}  // namespace debugoutput
