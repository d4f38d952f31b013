// Keyhaven.exe end to end on the virtual notebook: started, clicked and fed
// Fn events as a person and the keyboard component would; checked through its
// controls, the registry and the EC's state.
#include <gtest/gtest.h>

#include <string>

#include "driver_environment.h"
#include "ec_hardware.h"
#include "keyhaven_messages.h"
#include "keyhaven_process.h"
#include "resource.h"

using namespace testsupport;
using namespace keyhavenremote;

namespace {

const bool kDriverInstalled = (InstallVirtualNotebookForTests(), true);

DWORD Setting(const char* name)
{
    DWORD value = 0xDEAD;
    EXPECT_TRUE(ReadSetting(name, &value)) << name;
    return value;
}

VnSnapshot Ec()
{
    return VirtualNotebook::State();
}

// The last command the EC took, as its data byte (0 if none).
uint8_t LastStickyData()
{
    VnSnapshot s = Ec();
    if (s.ecLogCount == 0) return 0;
    const VnEcLogEntry& e = s.ecLog[(s.ecLogCount < VN_EC_LOG_SIZE ? s.ecLogCount : VN_EC_LOG_SIZE) - 1];
    return e.isCommand ? 0 : e.value;
}

void SendFn(HWND dialog, UINT message)
{
    SendMessageA(dialog, message, 0, 0);
}

class Keyhaven : public ::testing::Test {
protected:
    void SetUp() override
    {
        // An instance of the test before must be gone, or a start would find it.
        ASSERT_TRUE(WaitForNoKeyhavenWindow());
        ASSERT_TRUE(VirtualNotebook::Reset());
        DeleteSettings();
    }

    // Starts the program and waits for its dialog.
    HWND Launch(KeyhavenProcess& process, const std::string& arguments = std::string())
    {
        EXPECT_TRUE(process.Start(arguments));
        HWND dialog = FindKeyhavenWindow(15000, process.ProcessId());
        EXPECT_NE(nullptr, dialog);
        return dialog;
    }

    // A running instance with the feature applied through the dialog, then hidden by OK.
    HWND LaunchResident(KeyhavenProcess& process)
    {
        HWND dialog = Launch(process);
        if (!IsChecked(dialog, IDC_USE_FNSTICKY)) Click(dialog, IDC_USE_FNSTICKY);
        Click(dialog, IDOK);
        EXPECT_TRUE(WaitForVisibility(dialog, false));
        return dialog;
    }

    // Makes the program save its settings now, as before a suspend.
    static void SaveNow(HWND dialog) { SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0); }
};

TEST_F(Keyhaven, FirstStartCreatesDefaultsAndShowsThemUnapplied)
{
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    ASSERT_TRUE(WaitForVisibility(dialog, true));

    EXPECT_EQ(0u, Setting("FnKeyEnable"));
    EXPECT_EQ(0u, Setting("FnKeyStatus"));
    EXPECT_EQ(1u, Setting("FnKeyLock"));
    EXPECT_EQ(1u, Setting("FnMakeSound"));
    EXPECT_EQ(1u, Setting("FnShowStatus"));
    EXPECT_EQ(0u, Setting("FnUnStick"));
    EXPECT_EQ(1u, Setting("FnResetSound"));
    EXPECT_EQ("1", ReadTextSetting("FnResetTime"));

    EXPECT_FALSE(IsChecked(dialog, IDC_USE_FNSTICKY));
    EXPECT_TRUE(IsChecked(dialog, IDC_LOCK_TWICE));
    EXPECT_TRUE(IsChecked(dialog, IDC_SOUND_PRESS));
    EXPECT_TRUE(IsChecked(dialog, IDC_SHOW_STATUS));
    EXPECT_FALSE(IsChecked(dialog, IDC_UNSTICK_IDLE));
    EXPECT_TRUE(IsChecked(dialog, IDC_SOUND_RESET));
    EXPECT_EQ(0, ListSelection(dialog, IDC_IDLE_MINUTES));
    for (int id : {IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_IDLE_MINUTES,
                   IDC_MINUTES_LABEL, IDC_SOUND_RESET, IDC_APPLY}) {
        EXPECT_FALSE(IsEnabled(dialog, id)) << id;
    }
    EXPECT_EQ(0u, Ec().ecLogCount) << "nothing is applied at start-up";

    // OK with the feature off ends the program, switching the controller off.
    Click(dialog, IDOK);
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(STICKY_DATA_OFF, LastStickyData());
    EXPECT_EQ(0u, Setting("FnKeyEnable"));
}

TEST_F(Keyhaven, EnablingRulesFollowTheUseAndUnstickBoxes)
{
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    Click(dialog, IDC_USE_FNSTICKY);
    for (int id : {IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_SOUND_RESET, IDC_APPLY}) {
        EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    }
    EXPECT_FALSE(IsEnabled(dialog, IDC_IDLE_MINUTES)) << "follows the un-stick box, which is clear";
    Click(dialog, IDC_UNSTICK_IDLE);
    EXPECT_TRUE(IsEnabled(dialog, IDC_IDLE_MINUTES));
    EXPECT_TRUE(IsEnabled(dialog, IDC_MINUTES_LABEL));
    Click(dialog, IDC_USE_FNSTICKY);
    EXPECT_FALSE(IsEnabled(dialog, IDC_IDLE_MINUTES));
    EXPECT_FALSE(IsEnabled(dialog, IDC_UNSTICK_IDLE));
    Click(dialog, IDC_USE_FNSTICKY);
    EXPECT_TRUE(IsEnabled(dialog, IDC_IDLE_MINUTES)) << "un-stick is still checked";
}

TEST_F(Keyhaven, ApplyAndOkSwitchTheFeatureOnAndStayResident)
{
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    Click(dialog, IDC_USE_FNSTICKY);
    Click(dialog, IDC_APPLY);
    EXPECT_EQ(1u, Ec().stickyMode);
    EXPECT_EQ(1u, Setting("FnKeyEnable"));
    EXPECT_FALSE(IsEnabled(dialog, IDC_APPLY));
    EXPECT_TRUE(IsWindowVisible(dialog)) << "Apply keeps the dialog open";

    Click(dialog, IDOK);
    EXPECT_TRUE(WaitForVisibility(dialog, false));
    EXPECT_TRUE(process.IsRunning());
    EXPECT_EQ(1u, Ec().stickyMode);
}

TEST_F(Keyhaven, FnPressesLatchLockAndReleaseWithLockByDoublePress)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(1u, Ec().fnDown);
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_LATCHED), Setting("FnKeyStatus"));

    uint32_t bytes = Ec().ecLogCount;
    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(bytes, Ec().ecLogCount) << "locking sends no command";
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_LOCKED), Setting("FnKeyStatus"));

    SendFn(dialog, WM_FN_UNLATCH1);
    EXPECT_EQ(1u, Ec().fnDown) << "an unlatch message leaves a locked Fn alone";

    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(0u, Ec().fnDown);
    EXPECT_EQ(STICKY_DATA_FN_UP, LastStickyData());
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_RELEASED), Setting("FnKeyStatus"));
}

TEST_F(Keyhaven, WithoutLockASecondPressReleasesAndUnlatchReleases)
{
    WriteSetting("FnKeyLock", 0);
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    ASSERT_FALSE(IsChecked(dialog, IDC_LOCK_TWICE));
    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(1u, Ec().fnDown);
    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(0u, Ec().fnDown);

    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(1u, Ec().fnDown);
    SendFn(dialog, WM_FN_UNLATCH2);
    EXPECT_EQ(0u, Ec().fnDown);
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_RELEASED), Setting("FnKeyStatus"));
}

TEST_F(Keyhaven, CancelPutsTheAppliedOptionsBack)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    ShowWindow(dialog, SW_SHOW);  // as a second start would
    Click(dialog, IDC_LOCK_TWICE);
    Click(dialog, IDC_UNSTICK_IDLE);
    Click(dialog, IDC_USE_FNSTICKY);
    SelectListItem(dialog, IDC_IDLE_MINUTES, 3);
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForVisibility(dialog, false));
    EXPECT_TRUE(IsChecked(dialog, IDC_USE_FNSTICKY));
    EXPECT_TRUE(IsChecked(dialog, IDC_LOCK_TWICE));
    EXPECT_FALSE(IsChecked(dialog, IDC_UNSTICK_IDLE));
    EXPECT_FALSE(IsEnabled(dialog, IDC_IDLE_MINUTES));
    for (int id : {IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_SOUND_RESET}) {
        EXPECT_TRUE(IsEnabled(dialog, id)) << id;
    }
    EXPECT_EQ(3, ListSelection(dialog, IDC_IDLE_MINUTES)) << "the list keeps the new choice";
    EXPECT_EQ(1u, Setting("FnKeyLock")) << "Cancel saves nothing";
    EXPECT_TRUE(process.IsRunning());
}

TEST_F(Keyhaven, IdleResetWithNoSelectionSwitchesOffAtTheFirstTick)
{
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnUnStick", 1);
    WriteSetting("FnResetSound", 1);
    WriteTextSetting("FnResetTime", "abc");
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    EXPECT_EQ(-1, ListSelection(dialog, IDC_IDLE_MINUTES));
    const DWORD applied = GetTickCount();
    Click(dialog, IDOK);
    EXPECT_EQ(1u, Ec().stickyMode);
    ASSERT_TRUE(process.WaitForExit(12000));
    const DWORD elapsed = GetTickCount() - applied;
    EXPECT_GE(elapsed, 4500u);
    EXPECT_LT(elapsed, 9000u);
    EXPECT_EQ(0u, Ec().stickyMode);
    EXPECT_EQ(0u, Setting("FnKeyEnable"));
    EXPECT_EQ("0", ReadTextSetting("FnResetTime")) << "no selection is saved as 0";
}

TEST_F(Keyhaven, ResumeRestoresALockedFnFromTheRegistry)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    ASSERT_TRUE(VirtualNotebook::Reset());  // the controller forgot everything while suspended
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnKeyStatus", FN_LOCKED);
    SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(1u, Ec().stickyMode);
    EXPECT_EQ(1u, Ec().fnDown);
    SendFn(dialog, WM_FN_PRESS);
    EXPECT_EQ(0u, Ec().fnDown) << "the next press releases the locked Fn";

    WriteSetting("FnKeyEnable", 0);
    SendMessageA(dialog, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    EXPECT_EQ(0u, Ec().stickyMode);
    EXPECT_TRUE(process.IsRunning());
}

TEST_F(Keyhaven, SecondStartWithoutAWordShowsTheHiddenInstance)
{
    KeyhavenProcess first;
    HWND dialog = LaunchResident(first);
    KeyhavenProcess second;
    ASSERT_TRUE(second.Start());
    EXPECT_TRUE(second.WaitForExit());
    EXPECT_TRUE(WaitForVisibility(dialog, true));
    EXPECT_TRUE(first.IsRunning());
}

TEST_F(Keyhaven, InstantStartSwitchesOnWithFixedDefaults)
{
    WriteSetting("FnKeyLock", 0);
    WriteSetting("FnUnStick", 1);
    KeyhavenProcess process;
    HWND dialog = Launch(process, "instant");
    ASSERT_TRUE(WaitForSetting("FnKeyEnable", 1)) << "the posted instant request was applied";
    EXPECT_TRUE(WaitForVisibility(dialog, false));
    EXPECT_EQ(1u, Ec().stickyMode);
    EXPECT_EQ(1u, Setting("FnKeyEnable"));
    EXPECT_EQ(1u, Setting("FnKeyLock"));
    EXPECT_EQ(0u, Setting("FnUnStick"));
    EXPECT_TRUE(IsChecked(dialog, IDC_LOCK_TWICE));

    // "Instant" while an instance runs changes nothing and ends the new process.
    WriteSetting("FnKeyLock", 0);
    KeyhavenProcess second;
    ASSERT_TRUE(second.Start("INSTANT"));
    EXPECT_TRUE(second.WaitForExit());
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(0u, Setting("FnKeyLock"));
}

TEST_F(Keyhaven, CloseStartEndsTheRunningInstanceAndReleasesFn)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    SendFn(dialog, WM_FN_PRESS);
    ASSERT_EQ(1u, Ec().fnDown);
    const DWORD lockBefore = Setting("FnKeyLock");
    WriteSetting("FnKeyStatus", 7);  // a marker: nothing may write the key now

    KeyhavenProcess closer;
    ASSERT_TRUE(closer.Start("Close"));
    EXPECT_TRUE(closer.WaitForExit());
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(0u, Ec().fnDown);
    EXPECT_EQ(0u, Ec().stickyMode);
    EXPECT_EQ(7u, Setting("FnKeyStatus"));
    EXPECT_EQ(lockBefore, Setting("FnKeyLock"));
}

TEST_F(Keyhaven, CloseWithNothingRunningEndsAtOnce)
{
    KeyhavenProcess closer;
    ASSERT_TRUE(closer.Start("close"));
    EXPECT_TRUE(closer.WaitForExit());
    EXPECT_EQ(0u, Ec().ecLogCount);
}

TEST_F(Keyhaven, WordsGivenAsFlagsAreNotRecognised)
{
    KeyhavenProcess process;
    HWND dialog = Launch(process, "/Instant");
    Sleep(500);
    EXPECT_TRUE(IsWindowVisible(dialog)) << "a normal start";
    EXPECT_EQ(0u, Ec().ecLogCount);
}

TEST_F(Keyhaven, EnableFailureIsReportedAndEndsTheProgramAfterSaving)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    Click(dialog, IDC_USE_FNSTICKY);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    ASSERT_EQ("Enable StickyKey fail!", AnswerMessageBox(process.ProcessId()));
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(1u, Setting("FnKeyEnable")) << "saved as switched on before the end";
}

TEST_F(Keyhaven, FnPressWithASilentControllerReportsAndStaysLatched)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    PostMessageA(dialog, WM_FN_PRESS, 0, 0);
    ASSERT_EQ("Fn key down error", AnswerMessageBox(process.ProcessId()));
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_LATCHED), Setting("FnKeyStatus"));
    EXPECT_TRUE(process.IsRunning());
}

TEST_F(Keyhaven, DisableFailureOnApplyIsReportedAndEndsTheProgram)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    ShowWindow(dialog, SW_SHOW);
    Click(dialog, IDC_USE_FNSTICKY);
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
    ASSERT_EQ("Disable StickyKey fail!", AnswerMessageBox(process.ProcessId()));
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(0u, Setting("FnKeyEnable"));
}

TEST_F(Keyhaven, DisableFailureOnOkWithTheFeatureOffIsReportedAndTheProgramEnds)
{
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ("Disable StickyKey fail!", AnswerMessageBox(process.ProcessId()));
    EXPECT_TRUE(process.WaitForExit());
}

TEST_F(Keyhaven, FnReleaseWithASilentControllerReportsAndStaysReleased)
{
    WriteSetting("FnKeyLock", 0);
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    SendFn(dialog, WM_FN_PRESS);
    ASSERT_EQ(1u, Ec().fnDown);
    ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_EC_ANSWER_BUDGET, 0));
    PostMessageA(dialog, WM_FN_UNLATCH1, 0, 0);
    ASSERT_EQ("Fn key up error", AnswerMessageBox(process.ProcessId()));
    SaveNow(dialog);
    EXPECT_EQ(static_cast<DWORD>(FN_RELEASED), Setting("FnKeyStatus"));
}

TEST_F(Keyhaven, BurstOfFnPressesLeavesProgramAndControllerAgreeing)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    constexpr int kPresses = 1000;
    constexpr DWORD kNotYetSaved = 99;
    WriteSetting("FnKeyStatus", kNotYetSaved);
    for (int i = 0; i < kPresses; ++i) PostMessageA(dialog, WM_FN_PRESS, 0, 0);
    // Posted behind the presses, the save marks the moment the last one was handled.
    PostMessageA(dialog, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0);
    DWORD state = kNotYetSaved;
    for (int wait = 0; wait < 600 && state == kNotYetSaved; ++wait) {
        Sleep(100);
        ReadSetting("FnKeyStatus", &state);
    }
    EXPECT_EQ(static_cast<DWORD>(kPresses % 3), state) << "released, latched, locked, released, ...";
    EXPECT_EQ(state != FN_RELEASED ? 1u : 0u, Ec().fnDown);
    VnSnapshot s = Ec();
    EXPECT_EQ(0u, s.violationNoReady + s.violationOverlap + s.violationInterleave);
}

TEST_F(Keyhaven, MistypedAndOversizedValuesReadAsOff)
{
    WriteTextSetting("FnKeyEnable", "1");
    const unsigned char eight[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    WriteRawSetting("FnKeyLock", REG_BINARY, eight, sizeof eight);
    WriteSetting("FnUnStick", 5);
    const char noTerminator[12] = {'3', '3', '3', '3', '3', '3', '3', '3', '3', '3', '3', '3'};
    WriteRawSetting("FnResetTime", REG_SZ, noTerminator, sizeof noTerminator);
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    EXPECT_TRUE(IsChecked(dialog, IDC_USE_FNSTICKY)) << "two bytes \"1\\0\" fit in four: non-zero";
    EXPECT_FALSE(IsChecked(dialog, IDC_LOCK_TWICE)) << "eight bytes do not fit: 0";
    EXPECT_TRUE(IsChecked(dialog, IDC_UNSTICK_IDLE)) << "5 counts as checked";
    EXPECT_EQ(-1, ListSelection(dialog, IDC_IDLE_MINUTES)) << "unreadable text: no selection";
    SaveNow(dialog);
    EXPECT_EQ(1u, Setting("FnUnStick")) << "stored as 1 after the next save";
}

}  // namespace
