// The helper programs as a person runs them: the trace listener captures
// another process's trace lines, the Fn-event sender reaches the running
// program, and the control tool configures the virtual notebook.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver_environment.h"
#include "keyhaven_process.h"
#include "resource.h"

using namespace keyhavenremote;
using testsupport::VirtualNotebook;

namespace {

const bool kDriverInstalled = (testsupport::InstallVirtualNotebookForTests(), true);

// Runs a program beside this one and returns its exit code (or -1).
int RunTool(const std::string& commandLine, DWORD* pid = nullptr, bool wait = true, HANDLE* process = nullptr)
{
    std::string command = "\"" + ProgramFolder() + commandLine;
    command.insert(command.find(".exe") + 4, "\"");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    if (pid) *pid = info.dwProcessId;
    CloseHandle(info.hThread);
    if (!wait) {
        *process = info.hProcess;
        return 0;
    }
    if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << commandLine << " did not end in 30 s";
        TerminateProcess(info.hProcess, 1);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

std::string TempPath(const char* name)
{
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + name;
}

TEST(Tools, TraceListenerCapturesTheLinesOfAnotherProcess)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    const std::string out = TempPath("trace_listener_test.txt"), ready = TempPath("trace_listener_test.ready");
    DeleteFileA(out.c_str());
    DeleteFileA(ready.c_str());
    HANDLE listener = nullptr;
    ASSERT_EQ(0, RunTool("trace_listener.exe --seconds 8 --out \"" + out + "\" --ready-file \"" + ready + "\"", nullptr,
                     false, &listener));
    for (int wait = 0; wait < 100 && GetFileAttributesA(ready.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait) Sleep(50);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ready.c_str())) << "the listener was not ready in 5 s";

    DWORD worker = 0;
    EXPECT_EQ(0, RunTool("ec_exchange_worker.exe 1", &worker));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(listener, 20000)) << "the listener did not end in 20 s";
    CloseHandle(listener);

    std::stringstream text;
    text << std::ifstream(out, std::ios::binary).rdbuf();
    const std::string captured = text.str();
    const std::string prefix = "[" + std::to_string(worker) + "] \\n\\r";
    EXPECT_NE(std::string::npos, captured.find(prefix)) << captured;
    EXPECT_NE(std::string::npos, captured.find(" : Call function -->FnKeyDown\\n\\r\n")) << captured;
    EXPECT_NE(std::string::npos, captured.find(" : FnKeyDown process completed\\n\\n\\r\n")) << captured;
}

TEST(Tools, FnEventSenderReachesTheRunningProgram)
{
    ASSERT_TRUE(WaitForNoKeyhavenWindow());
    ASSERT_TRUE(VirtualNotebook::Reset());
    EXPECT_EQ(1, RunTool("fn_event.exe press")) << "no program running yet";

    DeleteSettings();
    KeyhavenProcess program;
    ASSERT_TRUE(program.Start("Instant"));
    ASSERT_NE(nullptr, FindKeyhavenWindow(15000, program.ProcessId()));
    ASSERT_TRUE(WaitForSetting("FnKeyEnable", 1));
    EXPECT_EQ(0, RunTool("fn_event.exe press"));
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
    EXPECT_EQ(0, RunTool("fn_event.exe unlatch2"));
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
    EXPECT_EQ(2, RunTool("fn_event.exe hold")) << "unknown event";
}

TEST(Tools, ControlToolConfiguresTheVirtualNotebook)
{
    ASSERT_TRUE(VirtualNotebook::Reset());
    EXPECT_EQ(0, RunTool("vnctl.exe set chipset 1"));
    EXPECT_EQ(static_cast<uint32_t>(VN_CHIPSET_FIRST), VirtualNotebook::State().chipset);
    EXPECT_EQ(0, RunTool("vnctl.exe set fail-code-count unlimited"));
    EXPECT_EQ(0, RunTool("vnctl.exe state"));
    EXPECT_EQ(2, RunTool("vnctl.exe set chipsets 1")) << "unknown setting";
    EXPECT_EQ(2, RunTool("vnctl.exe set chipset one")) << "not a number";
    EXPECT_EQ(1, RunTool("vnctl.exe set chipset 7")) << "refused by the driver";
    EXPECT_EQ(0, RunTool("vnctl.exe reset"));
    EXPECT_EQ(static_cast<uint32_t>(VN_CHIPSET_SECOND), VirtualNotebook::State().chipset);
}

}  // namespace
