#include "dbwin_listener.h"

#include <cstring>

namespace debugoutput {

DbwinListener::~DbwinListener()
{
    if (buffer_) UnmapViewOfFile(buffer_);
    if (mapping_) CloseHandle(mapping_);
    if (dataReady_) CloseHandle(dataReady_);
    if (bufferReady_) CloseHandle(bufferReady_);
}

bool DbwinListener::Attach(std::string* reason)
{
    bufferReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    if (bufferReady_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        *reason = "another debug-output listener is attached";
        return false;
    }
    dataReady_ = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Buffer), "DBWIN_BUFFER");
    buffer_ = mapping_ ? static_cast<Buffer*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    if (!bufferReady_ || !dataReady_ || !buffer_) {
        *reason = "cannot create the debug-output buffer";
        return false;
    }
    SetEvent(bufferReady_);
    return true;
}

bool DbwinListener::Receive(DWORD milliseconds, const LineHandler& handler)
{
    if (WaitForSingleObject(dataReady_, milliseconds) != WAIT_OBJECT_0) return false;
    char text[sizeof buffer_->text + 1];
    std::memcpy(text, buffer_->text, sizeof buffer_->text);
    text[sizeof buffer_->text] = '\0';
    DWORD processId = buffer_->processId;
    SetEvent(bufferReady_);
    handler(processId, text);
    return true;
}

std::string Visible(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out;
}

}  // namespace debugoutput
