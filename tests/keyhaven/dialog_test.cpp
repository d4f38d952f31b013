// The settings dialog in-process, on the real template and the virtual
// notebook. What the platform does not show is recorded by replacing
// PlaySoundA, Shell_NotifyIconA, MessageBoxA and WinHelpA in this program's
// import table. Each test is a script that a thread timer plays inside the
// dialog's modal loop.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "driver_environment.h"
#include "import_hook.h"
#include "keyhaven_dlg.h"
#include "keyhaven_process.h"
#include "latchwire_device.h"
#include "resource.h"
#include "settings_key_lock.h"

using namespace testsupport;
using namespace keyhavenremote;

namespace {

const bool kDriverInstalled = (InstallVirtualNotebookForTests(), true);

using Texts = std::vector<std::string>;
Texts g_sounds, g_icons, g_boxes, g_help;
HWND g_helpWindow = nullptr;

std::string Icon(DWORD message, UINT icon)
{
    return std::to_string(message) + " " + std::to_string(icon);
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
    UINT icon = 0;
    for (UINT id : {IDI_FN_ON, IDI_FN_OFF}) {
        if (data->hIcon == LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id))) icon = id;
    }
    g_icons.push_back(Icon(message, icon));
    return TRUE;
}

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR, UINT)
{
    g_boxes.push_back(text);
    return IDOK;
}

// The file, the command and the id pairs up to (0, 0).
BOOL WINAPI RecordWinHelp(HWND window, LPCSTR file, UINT command, ULONG_PTR data)
{
    g_helpWindow = window;
    std::string call = std::string(file) + " " + std::to_string(command) + ":";
    for (const DWORD* pair = reinterpret_cast<const DWORD*>(data); pair[0] != 0 || pair[1] != 0; pair += 2)
        call += " " + std::to_string(pair[0]) + "=" + std::to_string(pair[1]);
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
    ASSERT_NE(0u, SetTimer(nullptr, 0, 50, PlayScript));
    dialog.DoModal();
    // The modal loop hands a WM_QUIT on to enclosing loops: there are none here.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

class Dialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sound_.Installed() && icon_.Installed() && box_.Installed() && help_.Installed());
        ASSERT_TRUE(VirtualNotebook::Reset());
        DeleteSettings();
        for (Texts* texts : {&g_sounds, &g_icons, &g_boxes, &g_help}) texts->clear();
    }
    HMODULE self_ = GetModuleHandleA(nullptr);
    ImportHook sound_{self_, "winmm.dll", "PlaySoundA", reinterpret_cast<void*>(RecordPlaySound)};
    ImportHook icon_{self_, "shell32.dll", "Shell_NotifyIconA", reinterpret_cast<void*>(RecordNotifyIcon)};
    ImportHook box_{self_, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(RecordMessageBox)};
    ImportHook help_{self_, "user32.dll", "WinHelpA", reinterpret_cast<void*>(RecordWinHelp)};
};

TEST_F(Dialog, AutoResetPlaysTheResetSoundOfTheUnappliedBoxAndReleasesFn)
{
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnUnStick", 1);
    WriteSetting("FnResetSound", 0);
    WriteSetting("FnShowStatus", 1);
    RunDialog([](HWND dialog) {
        Click(dialog, IDC_APPLY);
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        Click(dialog, IDC_SOUND_RESET);  // checked in the dialog, not applied
        for (int tick = 0; tick < 12; ++tick) SendMessageA(dialog, WM_TIMER, IDT_AUTORESET, 0);  // one minute
    });
    EXPECT_EQ(Texts{"Disable.wav"}, g_sounds);
    EXPECT_EQ((Texts{Icon(NIM_ADD, IDI_FN_OFF), Icon(NIM_MODIFY, IDI_FN_ON), Icon(NIM_DELETE, IDI_FN_ON)}), g_icons)
        << "added, latched, removed by the reset and not again at the end";
    EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
    EXPECT_EQ(0u, Setting("FnKeyEnable"));
}

TEST_F(Dialog, NoIconOutlivesAFailedEnableAndAShellRestartAddsItAgain)
{
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    RunDialog([&](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        SendMessageA(dialog, taskbarCreated, 0, 0);
        EXPECT_EQ(Icon(NIM_ADD, IDI_FN_ON), g_icons.back());
        // Every exchange now fails at its first configuration read: the enable fails and the program ends.
        ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE, IOCTL_PCI_CONFIG_READ));
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
    });
    EXPECT_EQ(Texts{"Enable StickyKey fail!"}, g_boxes);
    EXPECT_EQ(Icon(NIM_ADD, IDI_FN_OFF), g_icons.at(g_icons.size() - 2));
    EXPECT_EQ(Icon(NIM_DELETE, IDI_FN_OFF), g_icons.back());
}

TEST_F(Dialog, SuspendStoresTheAppliedSettingsAndAResumeRestoresOnce)
{
    RunDialog([](HWND dialog) {
        SendMessageA(dialog, WM_KEYHAVEN_INSTANT, 0, 0);
        Click(dialog, IDC_LOCK_TWICE);  // an edit, not applied
        SendMessageA(dialog, WM_FN_PRESS, 0, 0);
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        EXPECT_EQ(1u, Setting("FnKeyLock"));
        EXPECT_EQ(static_cast<DWORD>(FN_LATCHED), Setting("FnKeyStatus"));
        ASSERT_TRUE(VirtualNotebook::Reset());  // the controller forgot everything
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        EXPECT_EQ(1u, VirtualNotebook::State().fnDown);
        const uint32_t bytes = VirtualNotebook::State().ecLogCount;
        SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        EXPECT_EQ(bytes, VirtualNotebook::State().ecLogCount) << "one resume, one restore";
    });
}

TEST_F(Dialog, ContextHelpUsesTheControlsOwnIdsAndTheSystemMenuEndsWithAbout)
{
    std::string about;
    HWND frame = nullptr;
    RunDialog([&](HWND dialog) {
        frame = GetDlgItem(dialog, IDC_GROUP_OPTIONS);  // not in the table: passed on all the same
        HELPINFO info{sizeof info, HELPINFO_WINDOW, IDC_GROUP_OPTIONS, frame, 0, {0, 0}};
        SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        HMENU menu = GetSystemMenu(dialog, FALSE);
        const int count = GetMenuItemCount(menu);
        EXPECT_EQ(static_cast<UINT>(IDM_ABOUTBOX), GetMenuItemID(menu, count - 1));
        EXPECT_NE(0u, GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
        char text[128] = "";
        GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
        about = text;
    });
    char programFiles[MAX_PATH], expected[128] = "";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programFiles)));
    EXPECT_EQ(Texts{std::string(programFiles) + "\\ORVENTA\\Accessibility\\KEYHAVEN.HLP 12: 1000=1000 1002=1002 "
                    "1003=1003 1004=1004 1005=1005 1006=1006 1007=1007 1009=1009 1=1 2=2"},
              g_help);
    EXPECT_EQ(frame, g_helpWindow);
    LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, expected, sizeof expected);
    EXPECT_EQ(std::string(expected), about);
}

}  // namespace
