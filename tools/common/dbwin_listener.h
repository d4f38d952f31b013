// Listens to the debugger output of other processes through the platform's
// debug-output buffer protocol (DBWIN_BUFFER, DBWIN_BUFFER_READY,
// DBWIN_DATA_READY), as a debug-output viewer does. Only one listener can be
// attached on a machine at a time.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace debugoutput {

class DbwinListener {
public:
    using LineHandler = std::function<void(DWORD processId, const std::string& text)>;

    DbwinListener() = default;
    ~DbwinListener();
    DbwinListener(const DbwinListener&) = delete;
    DbwinListener& operator=(const DbwinListener&) = delete;

    // Creates the buffer and its events; false (with a reason) when another
    // listener is attached or the objects cannot be made.
    bool Attach(std::string* reason);
    // Waits up to `milliseconds` for one line and hands it to `handler`;
    // false when none came.
    bool Receive(DWORD milliseconds, const LineHandler& handler);

private:
    struct Buffer {
        DWORD processId;
        char text[4096 - sizeof(DWORD)];
    };
    HANDLE bufferReady_ = nullptr;
    HANDLE dataReady_ = nullptr;
    HANDLE mapping_ = nullptr;
    Buffer* buffer_ = nullptr;
};

// The text with line feeds and carriage returns shown as \n and \r.
std::string Visible(const std::string& text);

}  // namespace debugoutput
