// The settings dialog in-process, where the platform does not show what
// happened: the sounds played, the notification-area icons set and the
// message boxes are recorded by replacing PlaySoundA, Shell_NotifyIconA and
// MessageBoxA in this program's import table. The dialog runs modally on the
// real template and the virtual notebook; each test is a script that a thread
// timer plays inside the dialog's modal loop.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "driver_environment.h"
#include "ec_hardware.h"
#include "import_hook.h"
#include "keyhaven_dlg.h"
#include "keyhaven_process.h"
#include "resource.h"

using namespace testsupport;
using namespace keyhavenremote;

namespace {

const bool kDriverInstalled = (InstallVirtualNotebookForTests(), true);

std::vector<std::string> g_sounds;
struct IconCall {
    DWORD message;
    UINT icon;  // resource id, or 0 when none of the program's icons
    bool operator==(const IconCall& other) const { return message == other.message && icon == other.icon; }
};
std::ostream& operator<<(std::ostream& out, const IconCall& call)
{
    return out << "message " << call.message << " icon " << call.icon;
}
std::vector<IconCall> g_icons;

// The boxes shown; g_answerBox runs while a box is "open".
using Boxes = std::vector<std::string>;
Boxes g_boxes;
std::function<void()> g_answerBox;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_boxes.push_back(text);
    if (g_answerBox) g_answerBox();
    return IDOK;
}

UINT IconId(HICON icon)
{
    for (UINT id : {IDI_FN_ON, IDI_FN_OFF}) {
        if (icon == LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id))) return id;
    }
    return 0;
}

BOOL WINAPI RecordPlaySound(LPCSTR sound, HMODULE, DWORD flags)
{
    EXPECT_EQ(static_cast<DWORD>(SND_FILENAME), flags) << "synchronous, by file name";
    g_sounds.push_back(sound);
    return TRUE;
}

BOOL WINAPI RecordNotifyIcon(DWORD message, PNOTIFYICONDATAA data)
{
    EXPECT_EQ(488u, data->cbSize);
    EXPECT_EQ(1u, data->uID);
    EXPECT_EQ(static_cast<UINT>(WM_TRAY_NOTIFY), data->uCallbackMessage);
    g_icons.push_back({message, IconId(data->hIcon)});
    return TRUE;
}

struct HelpCall {
    HWND window;
    std::string file;
    UINT command;
    std::vector<DWORD> pairs;
};
std::vector<HelpCall> g_help;

BOOL WINAPI RecordWinHelp(HWND window, LPCSTR file, UINT command, ULONG_PTR data)
{
    HelpCall call{window, file ? file : "<null>", command, {}};
    for (const DWORD* pair = reinterpret_cast<const DWORD*>(data); pair[0] != 0 || pair[1] != 0; pair += 2) {
        call.pairs.push_back(pair[0]);
        call.pairs.push_back(pair[1]);
    }
    g_help.push_back(call);
    return TRUE;
}

// Runs the dialog modally and plays `script` inside its loop; the script ends
// the loop by returning.
const std::function<void(HWND)>* g_script = nullptr;

void CALLBACK PlayScript(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND window = FindWindowA(nullptr, kKeyhavenTitle);
    (*g_script)(window);
    PostMessageA(window, WM_QUIT, 0, 0);
}

void RunDialog(const std::function<void(HWND)>& script)
{
    g_script = &script;
    CKeyhavenDlg dialog;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, PlayScript);
    ASSERT_NE(0u, timer);
    dialog.DoModal();
    // The modal loop hands a WM_QUIT on to enclosing loops: there are none here.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

class DialogRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(VirtualNotebook::Reset());
        DeleteSettings();
        g_sounds.clear();
        g_icons.clear();
        g_boxes.clear();
        g_answerBox = nullptr;
    }
    ImportHook sound_{GetModuleHandleA(nullptr), "winmm.dll", "PlaySoundA", reinterpret_cast<void*>(RecordPlaySound)};
    ImportHook icon_{GetModuleHandleA(nullptr), "shell32.dll", "Shell_NotifyIconA",
                     reinterpret_cast<void*>(RecordNotifyIcon)};
    ImportHook box_{GetModuleHandleA(nullptr), "user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordMessageBox)};
};

using Sounds = std::vector<std::string>;

TEST_F(DialogRuntime, HooksAreInPlace)
{
    ASSERT_TRUE(sound_.Installed());
    ASSERT_TRUE(icon_.Installed());
    ASSERT_TRUE(box_.Installed());
}

TEST_F(DialogRuntime, InstantAndPressReachIconSoundAndController)
{
    RunDialog([](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);  // on, with sounds and the icon
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
    });
    EXPECT_EQ(Sounds{"keyTmpLock.wav"}, g_sounds);
    ASSERT_LE(2u, g_icons.size());
    EXPECT_EQ((IconCall{NIM_ADD, IDI_FN_OFF}), g_icons[0]);
    EXPECT_EQ((IconCall{NIM_MODIFY, IDI_FN_ON}), g_icons[1]);
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
}

TEST_F(DialogRuntime, AutoResetPlaysTheResetSoundOfTheUnappliedBoxAndReleasesFn)
{
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnUnStick", 1);
    WriteSetting("FnResetSound", 0);
    RunDialog([](HWND dialog) {
        Click(dialog, IDC_APPLY);
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        Click(dialog, IDC_SOUND_RESET);  // checked in the dialog, not applied
        for (int tick = 0; tick < 12; ++tick) SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);  // one minute
    });
    EXPECT_EQ((Sounds{"Disable.wav"}), g_sounds);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), g_icons.back().message);
    EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
    DWORD enabled = 1;
    EXPECT_TRUE(ReadSetting("FnKeyEnable", &enabled));
    EXPECT_EQ(0u, enabled);
}

TEST_F(DialogRuntime, NoIconOutlivesAFailedEnableAndAShellRestartAddsItAgain)
{
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    RunDialog([&](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        SendMessageA(dialog, taskbarCreated, 0, 0);
        EXPECT_EQ((IconCall{NIM_ADD, IDI_FN_ON}), g_icons.back());
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
        g_answerBox = [] {};
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);  // the enable fails: the program ends
    });
    EXPECT_EQ(Boxes{"Enable StickyKey fail!"}, g_boxes);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), g_icons.back().message);
}

TEST_F(DialogRuntime, CloseDuringAFailureBoxSavesNothingAndLeavesNoIcon)
{
    RunDialog([](HWND dialog) {
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
        g_answerBox = [dialog] { SendMessageA(dialog, WM_KEYHAVEN_CLOSE, 0, 0); };
        Click(dialog, IDC_USE_FNSTICKY);
        Click(dialog, IDC_APPLY);
    });
    EXPECT_EQ(Boxes{"Enable StickyKey fail!"}, g_boxes);
    DWORD enabled = 1;
    EXPECT_TRUE(ReadSetting("FnKeyEnable", &enabled));
    EXPECT_EQ(0u, enabled) << "nothing saved after the close";
    for (const IconCall& call : g_icons) EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), call.message);
}

TEST_F(DialogRuntime, SuspendStoresTheAppliedSettingsAndAResumeRestoresOnce)
{
    RunDialog([](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
        Click(dialog, IDC_LOCK_TWICE);  // an edit, not applied
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        DWORD lock = 0, state = 0;
        EXPECT_TRUE(ReadSetting("FnKeyLock", &lock) && ReadSetting("FnKeyStatus", &state));
        EXPECT_EQ(1u, lock);
        EXPECT_EQ(static_cast<DWORD>(FN_LATCHED), state);
        ASSERT_TRUE(VirtualNotebook::Reset());  // the controller forgot everything
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
        const uint32_t bytes = VirtualNotebook::State().ecLogCount;
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        EXPECT_EQ(bytes, VirtualNotebook::State().ecLogCount) << "one resume, one restore";
    });
}

TEST_F(DialogRuntime, ContextHelpOpensTheHelpFileWithTheControlsOwnIds)
{
    ImportHook help(GetModuleHandleA(nullptr), "user32.dll", "WinHelpA", reinterpret_cast<void*>(RecordWinHelp));
    ASSERT_TRUE(help.Installed());
    g_help.clear();
    HWND frame = nullptr;
    RunDialog([&](HWND dialog) {
        frame = GetDlgItem(dialog, IDC_GROUP_OPTIONS);  // not in the table: passed on all the same
        HELPINFO info{sizeof info, HELPINFO_WINDOW, IDC_GROUP_OPTIONS, frame, 0, {0, 0}};
        SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    });
    ASSERT_EQ(1u, g_help.size());
    EXPECT_EQ(frame, g_help[0].window);
    EXPECT_EQ(static_cast<UINT>(HELP_WM_HELP), g_help[0].command);
    char programFiles[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    EXPECT_EQ(std::string(programFiles) + "\\ORVENTA\\Accessibility\\KEYHAVEN.HLP", g_help[0].file);
    const std::vector<DWORD> pairs = {1000, 1000, 1002, 1002, 1003, 1003, 1004, 1004, 1005, 1005,
                                      1006, 1006, 1007, 1007, 1009, 1009, 1, 1, 2, 2};
    EXPECT_EQ(pairs, g_help[0].pairs);
}

TEST_F(DialogRuntime, SystemMenuEndsWithTheAboutItem)
{
    std::string item;
    UINT id = 0;
    RunDialog([&](HWND dialog) {
        HMENU menu = GetSystemMenu(dialog, FALSE);
        const int count = GetMenuItemCount(menu);
        id = GetMenuItemID(menu, count - 1);
        char text[128] = "";
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        item = text;
        EXPECT_EQ(static_cast<UINT>(MF_SEPARATOR), GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    });
    EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), id);
    char expected[128] = "";
    LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, expected, sizeof expected);
    EXPECT_FALSE(item.empty());
    EXPECT_EQ(std::string(expected), item);
}

}  // namespace
