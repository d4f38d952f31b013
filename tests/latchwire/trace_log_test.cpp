// The trace line: stamp, prefix, buffer bound and message handling.
#include <gtest/gtest.h>

#include "debug_output_capture.h"
#include "import_hook.h"
#include "trace_log.h"

using debugoutput::TraceCapture;

namespace {

SYSTEMTIME g_fixedTime;
void WINAPI FixedLocalTime(SYSTEMTIME* time)
{
    *time = g_fixedTime;
}

std::string Only(const TraceCapture& capture)
{
    auto lines = capture.Lines();
    EXPECT_EQ(1u, lines.size());
    return lines.empty() ? std::string() : lines[0];
}

TEST(TraceLine, StampIsTheZeroPaddedLocalTimeAndTheMessageIsNeverAFormat)
{
    g_fixedTime = SYSTEMTIME{2004, 3, 0, 7, 9, 5, 2, 41};
    testsupport::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "GetLocalTime",
                                 reinterpret_cast<void*>(FixedLocalTime));
    ASSERT_TRUE(hook.Installed());
    TraceCapture capture;
    latchwire::TraceLog("Driver is not exist\n\r");
    EXPECT_EQ("\n\r2004/03/07 09:05:02.041 : Driver is not exist\n\r", Only(capture));
    capture.Clear();
    latchwire::TraceLog("100% %s %d %n done\n\r");
    EXPECT_EQ("\n\r2004/03/07 09:05:02.041 : 100% %s %d %n done\n\r", Only(capture));
}

TEST(TraceLine, MessagesFillTheBufferAndLongerOnesAreCutAtItsEnd)
{
    for (size_t extra : {0u, 500u}) {
        TraceCapture capture;
        const std::string message = std::string(231, 'a') + std::string(extra, 'b');
        latchwire::TraceLog(message.c_str());
        std::string line = Only(capture);
        EXPECT_EQ(259u, line.size()) << "28 characters of prefix and 231 of message";
        EXPECT_EQ(std::string(231, 'a'), line.substr(28));
    }
    TraceCapture capture;
    char text[latchwire::kTraceLineSize];
    latchwire::TraceFormat(text, "Default Addr error(%x) %s\n\r", 0xF433u, std::string(400, 'w').c_str());
    EXPECT_EQ(0, std::string(text).compare(0, 24, "Default Addr error(f433)"));
    EXPECT_EQ(259u, std::string(text).size());
    EXPECT_EQ(259u, Only(capture).size());
}

}  // namespace
