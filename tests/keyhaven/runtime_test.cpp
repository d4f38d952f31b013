// The settings dialog's runtime in-process, where the platform does not show
// what happened: the sounds played and the notification-area icons set are
// recorded by replacing PlaySoundA and Shell_NotifyIconA in this program's
// import table. The dialog runs modally on the real template; each test is a
// script that a thread timer plays inside the dialog's modal loop.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
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
};
std::vector<IconCall> g_icons;

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
    }
    ImportHook sound_{GetModuleHandleA(nullptr), "winmm.dll", "PlaySoundA", reinterpret_cast<void*>(RecordPlaySound)};
    ImportHook icon_{GetModuleHandleA(nullptr), "shell32.dll", "Shell_NotifyIconA",
                     reinterpret_cast<void*>(RecordNotifyIcon)};
};

using Sounds = std::vector<std::string>;

TEST_F(DialogRuntime, HooksAreInPlace)
{
    ASSERT_TRUE(sound_.Installed());
    ASSERT_TRUE(icon_.Installed());
}

TEST_F(DialogRuntime, LatchLockReleaseSoundsAndIcons)
{
    RunDialog([](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);  // on, with sounds and lock by double press
        ASSERT_EQ(1u, g_icons.size());
        EXPECT_EQ(static_cast<DWORD>(NIM_ADD), g_icons[0].message);
        EXPECT_EQ(static_cast<UINT>(IDI_FN_OFF), g_icons[0].icon);
        for (int i = 0; i < 3; ++i) SendMessageA(dialog, WM_FN_PRESS, 0, 0);
    });
    EXPECT_EQ((Sounds{"keyTmpLock.wav", "keyLock.wav", "keyUnlock.wav"}), g_sounds);
    ASSERT_EQ(3u, g_icons.size()) << "locking changes no icon";
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), g_icons[1].message);
    EXPECT_EQ(static_cast<UINT>(IDI_FN_ON), g_icons[1].icon);
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), g_icons[2].message);
    EXPECT_EQ(static_cast<UINT>(IDI_FN_OFF), g_icons[2].icon);
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
}

TEST_F(DialogRuntime, PressBeforeAnyApplyLatchesSilently)
{
    RunDialog([](HWND dialog) { SendMessageA(dialog, WM_FN_PRESS, 0, 0); });
    EXPECT_TRUE(g_sounds.empty());
    ASSERT_EQ(1u, g_icons.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), g_icons[0].message);
    EXPECT_EQ(static_cast<UINT>(IDI_FN_ON), g_icons[0].icon);
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
}

TEST_F(DialogRuntime, ApplyWhileLatchedAddsTheReleasedIconAndKeepsTheState)
{
    RunDialog([](HWND dialog) {
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
        g_sounds.clear();
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);  // latched -> locked: the state survived the apply
    });
    ASSERT_EQ(2u, g_icons.size());
    EXPECT_EQ(static_cast<DWORD>(NIM_ADD), g_icons[1].message);
    EXPECT_EQ(static_cast<UINT>(IDI_FN_OFF), g_icons[1].icon);
    EXPECT_EQ(Sounds{"keyLock.wav"}, g_sounds);
    EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
}

TEST_F(DialogRuntime, AutoResetPlaysTheResetSoundOfTheUnappliedBox)
{
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnUnStick", 1);
    WriteSetting("FnResetSound", 0);
    WriteTextSetting("FnResetTime", "9");  // no selection: limit 0 seconds
    RunDialog([](HWND dialog) {
        Click(dialog, IDC_APPLY);
        Click(dialog, IDC_SOUND_RESET);  // checked in the dialog, not applied
        SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);
    });
    EXPECT_EQ(Sounds{"Disable.wav"}, g_sounds);
    ASSERT_FALSE(g_icons.empty());
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), g_icons.back().message);
    EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
    DWORD enabled = 1;
    EXPECT_TRUE(ReadSetting("FnKeyEnable", &enabled));
    EXPECT_EQ(0u, enabled);
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

TEST_F(DialogRuntime, FnMessagesResetTheIdleCount)
{
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnUnStick", 1);
    WriteTextSetting("FnResetTime", "1");  // 60 seconds
    RunDialog([](HWND dialog) {
        Click(dialog, IDC_APPLY);
        for (int tick = 0; tick < 11; ++tick) SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);  // 55 s
        SendMessageA(dialog, WM_FN_UNLATCH1, 0, 0);
        for (int tick = 0; tick < 11; ++tick) SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);
        EXPECT_EQ(1u, VirtualNotebook::State().stickyMode) << "55 s since the last Fn message";
        SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);
        EXPECT_EQ(0u, VirtualNotebook::State().stickyMode) << "60 s: reset";
    });
}

}  // namespace
