// The trace line: stamp, prefix, buffer bound and message handling.
#include <gtest/gtest.h>

#include <string>

#include "import_hook.h"
#include "debug_output_capture.h"
#include "trace_log.h"

using latchwire::TraceLog;
using testsupport::ImportHook;
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

TEST(TraceLine, StampIsZeroPaddedLocalTime)
{
    g_fixedTime = SYSTEMTIME{2004, 3, 0, 7, 9, 5, 2, 41};
    ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "GetLocalTime",
                    reinterpret_cast<void*>(FixedLocalTime));
    ASSERT_TRUE(hook.Installed());
    TraceCapture capture;
    TraceLog("Driver is not exist\n\r");
    EXPECT_EQ("\n\r2004/03/07 09:05:02.041 : Driver is not exist\n\r", Only(capture));
}

TEST(TraceLine, StampIsTheTimeOfTheCall)
{
    TraceCapture capture;
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    TraceLog("x");
    GetLocalTime(&after);
    debugoutput::TraceStamp stamp;
    std::string message;
    ASSERT_TRUE(debugoutput::ParseTraceLine(Only(capture), &stamp, &message));
    EXPECT_EQ("x", message);
    auto ms = [](int h, int m, int s, int milli) { return ((h * 60 + m) * 60 + s) * 1000 + milli; };
    int at = ms(stamp.hour, stamp.minute, stamp.second, stamp.millisecond);
    EXPECT_EQ(before.wYear, stamp.year);
    EXPECT_LE(ms(before.wHour, before.wMinute, before.wSecond, before.wMilliseconds), at);
    EXPECT_GE(ms(after.wHour, after.wMinute, after.wSecond, after.wMilliseconds), at);
}

TEST(TraceLine, PercentSignsInAMessageAreWrittenUnchanged)
{
    TraceCapture capture;
    TraceLog("100% %s %d %n done\n\r");
    std::string line = Only(capture);
    EXPECT_EQ("100% %s %d %n done\n\r", line.substr(28));
}

TEST(TraceLine, LongestMessageExactlyFillsTheBuffer)
{
    TraceCapture capture;
    const std::string message(231, 'm');
    TraceLog(message.c_str());
    std::string line = Only(capture);
    EXPECT_EQ(259u, line.size());
    EXPECT_EQ(message, line.substr(28));
}

TEST(TraceLine, LongerMessageIsCutAtTheBufferEnd)
{
    TraceCapture capture;
    std::string message(231, 'a');
    message += std::string(500, 'b');
    TraceLog(message.c_str());
    std::string line = Only(capture);
    EXPECT_EQ(259u, line.size());
    EXPECT_EQ(std::string(231, 'a'), line.substr(28));
}

TEST(TraceLine, FormattedTextIsCutSafelyInItsBuffer)
{
    TraceCapture capture;
    char text[latchwire::kTraceLineSize];
    const std::string word(400, 'w');
    latchwire::TraceFormat(text, "Default Addr error(%x) %s\n\r", 0xF433u, word.c_str());
    EXPECT_EQ(259u, std::string(text).size());
    EXPECT_EQ(0, std::string(text).compare(0, 24, "Default Addr error(f433)"));
    EXPECT_EQ(259u, Only(capture).size());
}

}  // namespace
