// The four sticky-key commands: each is one complete EC index-mode exchange
// of the sticky-key command and one data byte.
#include "ec_hardware.h"
#include "latchwire.h"
#include "trace_log.h"

namespace {

struct StickyCommand {
    UCHAR data;
    const char* entryLine;
    const char* completionLine;
    const char* failureLine;
};

int Send(const StickyCommand& command)
{
    latchwire::TraceLog(command.entryLine);
    UCHAR data = command.data;
    if (EC_IndexMode_WriteCOMM(STICKY_CMD, 1, &data)) {
        latchwire::TraceLog(command.completionLine);
        return 1;
    }
    latchwire::TraceLog(command.failureLine);
    return 0;
}

}  // namespace

extern "C" {

int Enable_StickyKey()
{
    return Send({STICKY_DATA_ON, "Call function -->Enable_StickyKey\n\r", "Enable_StickyKey process completed\n\n\r",
                 "Enable_StickyKey Fail\n\r"});
}

int Disable_StickyKey()
{
    return Send({STICKY_DATA_OFF, "Call function -->Disable_StickyKey\n\r",
                 "Disable_StickyKey process completed\n\n\r", "Disable_StickyKey Fail\n\r"});
}

int FnKeyDown()
{
    return Send({STICKY_DATA_FN_DOWN, "Call function -->FnKeyDown\n\r", "FnKeyDown process completed\n\n\r",
                 "FnKeyDown Fail\n\r"});
}

int FnKeyUP()
{
    return Send({STICKY_DATA_FN_UP, "Call function -->FnKeyUP\n\r", "FnKeyUP process completed\n\n\r",
                 "FnKeyUP Fail\n\r"});
}

}  // extern "C"
