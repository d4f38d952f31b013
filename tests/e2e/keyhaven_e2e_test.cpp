// Keyhaven.exe end to end on the virtual notebook: started, clicked and fed
// Fn events as a person and the keyboard component would; checked through its
// controls, its boxes, the registry and the EC's state. The runtime's rules
// are tested in-process (tests/keyhaven); these prove the wiring and what only
// whole processes show.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver_environment.h"
#include "ec_hardware.h"
#include "keyhaven_messages.h"
#include "keyhaven_process.h"
#include "latchwire_device.h"
#include "resource.h"
#include "settings_key_lock.h"

using namespace testsupport;
using namespace keyhavenremote;

namespace {

const bool kDriverInstalled = (InstallVirtualNotebookForTests(), true);

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

    static bool CloseRunningInstance()
    {
        KeyhavenProcess closer;
        return closer.Start("Close") && closer.WaitForExit();
    }
};

// The six boxes, Use first, as '1' (checked) and '0'.
std::string Boxes(HWND dialog)
{
    std::string boxes;
    for (int id :
         {IDC_USE_FNSTICKY, IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_SOUND_RESET})
        boxes += IsChecked(dialog, id) ? '1' : '0';
    return boxes;
}

const char kDefaultBoxes[] = "011101";  // a new key's
const char kStoredBoxes[] = "100010";   // as StoreDistinctSettings leaves them
const char kInstantBoxes[] = "111101";  // the fixed defaults of an instant start
const char kBlankBoxes[] = "000000";    // the template's, never loaded

TEST_F(Keyhaven, FirstStartShowsTheDefaultsUnappliedAndOkWithTheFeatureOffEndsIt)
{
    KeyhavenProcess process;
    HWND dialog = Launch(process);
    ASSERT_TRUE(WaitForVisibility(dialog, true));
    EXPECT_EQ(kDefaultBoxes, Boxes(dialog));
    for (int id : {IDC_LOCK_TWICE, IDC_SOUND_PRESS, IDC_SHOW_STATUS, IDC_UNSTICK_IDLE, IDC_SOUND_RESET, IDC_APPLY})
        EXPECT_FALSE(IsEnabled(dialog, id)) << id;
    EXPECT_EQ(0, ListSelection(dialog, IDC_IDLE_MINUTES));
    EXPECT_EQ(0u, VirtualNotebook::State().ecLogCount) << "nothing is applied at start-up";

    Click(dialog, IDC_USE_FNSTICKY);
    Click(dialog, IDC_UNSTICK_IDLE);
    EXPECT_TRUE(IsEnabled(dialog, IDC_IDLE_MINUTES) && IsEnabled(dialog, IDC_APPLY));
    Click(dialog, IDC_USE_FNSTICKY);
    EXPECT_FALSE(IsEnabled(dialog, IDC_IDLE_MINUTES) || IsEnabled(dialog, IDC_UNSTICK_IDLE));
    Click(dialog, IDOK);
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(1u, Setting("FnUnStick")) << "OK saves the controls";
}

TEST_F(Keyhaven, ResidentInstanceCancelPutsTheAppliedOptionsBackOkOffReleasesFn)
{
    KeyhavenProcess process;
    HWND dialog = LaunchResident(process);
    EXPECT_EQ(1u, VirtualNotebook::State().stickyMode);

    ShowWindow(dialog, SW_SHOW);  // as a second start does
    Click(dialog, IDC_LOCK_TWICE);
    Click(dialog, IDC_USE_FNSTICKY);
    SelectListItem(dialog, IDC_IDLE_MINUTES, 3);
    Click(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForVisibility(dialog, false));
    EXPECT_TRUE(IsChecked(dialog, IDC_USE_FNSTICKY) && IsChecked(dialog, IDC_LOCK_TWICE));
    EXPECT_EQ(3, ListSelection(dialog, IDC_IDLE_MINUTES)) << "the list keeps the new choice";
    ASSERT_TRUE(process.IsRunning());

    // OK with the feature off releases a held Fn before the program ends.
    ASSERT_TRUE(Deliver(dialog, WM_FN_PRESS)) << "the Fn press was not handled within 10 s";
    ASSERT_EQ(1u, VirtualNotebook::State().fnDown);
    ShowWindow(dialog, SW_SHOW);
    Click(dialog, IDC_USE_FNSTICKY);
    Click(dialog, IDOK);
    EXPECT_TRUE(process.WaitForExit());
    EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
    EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
    EXPECT_EQ(0u, Setting("FnKeyEnable"));
}

TEST_F(Keyhaven, InstantStartsAtOnceLeaveOneInstanceThatCloseEnds)
{
    std::unique_ptr<KeyhavenProcess> starts[4];
    for (auto& start : starts) {
        start.reset(new KeyhavenProcess);
        ASSERT_TRUE(start->StartHeld("instant"));
    }
    for (auto& start : starts) start->Resume();
    ASSERT_TRUE(WaitForSetting("FnKeyEnable", 1)) << "one instance applied the fixed defaults";
    int resident = 0;
    for (auto& start : starts) resident += !start->WaitForExit(5000);
    EXPECT_EQ(1, resident);
    EXPECT_EQ(1u, VirtualNotebook::State().stickyMode);
    EXPECT_TRUE(CloseRunningInstance());
    for (auto& start : starts) EXPECT_TRUE(start->WaitForExit());
}

TEST_F(Keyhaven, CloseOrFlagWordsWithNothingRunningChangeNothing)
{
    EXPECT_TRUE(CloseRunningInstance());
    KeyhavenProcess process;
    HWND dialog = Launch(process, "/Instant");
    WriteSetting("FnKeyLock", 7);
    PostMessageA(dialog, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0);  // handled after anything posted before
    ASSERT_TRUE(WaitForSetting("FnKeyLock", 1));
    EXPECT_TRUE(WaitForVisibility(dialog, true)) << "a word given as a flag is a normal start";
    EXPECT_EQ(0u, VirtualNotebook::State().ecLogCount);
}

TEST_F(Keyhaven, CloseEndsTheProcessWhileAFailureBoxOrTheAboutBoxIsOpen)
{
    for (bool aboutBox : {false, true}) {
        SetUp();
        KeyhavenProcess process;
        HWND dialog = LaunchResident(process);
        ASSERT_TRUE(Deliver(dialog, WM_FN_PRESS)) << "the Fn press was not handled within 10 s";
        if (aboutBox) {
            PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            ASSERT_NE(nullptr, WaitForDialog(process.ProcessId(), IDC_VERSION_TEXT));
        } else {
            // Every exchange fails while Apply runs: the driver rejects its configuration reads.
            ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE, IOCTL_PCI_CONFIG_READ));
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_APPLY, BN_CLICKED), 0);
            HWND box = nullptr;
            ASSERT_EQ("Enable StickyKey fail!", WaitForMessageBox(process.ProcessId(), &box));
            ASSERT_TRUE(VirtualNotebook::Configure(VN_CFG_FAIL_CODE, 0));
        }
        WriteSetting("FnKeyEnable", 7);  // a marker: nothing saves after the close
        EXPECT_TRUE(CloseRunningInstance());
        EXPECT_TRUE(process.WaitForExit()) << (aboutBox ? "About box" : "failure box");
        EXPECT_EQ(0u, VirtualNotebook::State().stickyMode);
        EXPECT_EQ(0u, VirtualNotebook::State().fnDown);
        EXPECT_EQ(7u, Setting("FnKeyEnable"));
    }
}

// Stored settings that differ in every box from the fixed defaults, idle time 3.
void StoreDistinctSettings()
{
    const struct {
        const char* name;
        DWORD value;
    } values[] = {{"FnKeyEnable", 1}, {"FnKeyLock", 0}, {"FnMakeSound", 0}, {"FnShowStatus", 0},
                  {"FnUnStick", 1},   {"FnResetSound", 0}};
    for (const auto& value : values) WriteSetting(value.name, value.value);
    WriteTextSetting("FnResetTime", "3");
}

// Every start mode, with and without a running instance, on a key that may
// be read but not written and on one that may not be read. Hand-overs and
// "Close" never need the settings; what is shown or applied comes from the
// key where it can be read; nothing is ever written.
TEST_F(Keyhaven, StartModesOnAKeyThatMayNotBeWrittenOrNotBeRead)
{
    const struct {
        REGSAM denied;
        const char* word;
        bool running;
        bool startStays;  // this start is left running
        bool featureOn;
        const char* boxes;  // of the start that stays
        int list;
        bool visible;  // the start that stays, or the running instance
    } rows[] = {
        {kDenyWrite, "", false, true, false, kStoredBoxes, 2, true},
        {kDenyWrite, "Instant", false, true, true, kInstantBoxes, 2, false},
        {kDenyWrite, "Close", false, false, false, "", 0, false},
        {kDenyWrite, "", true, false, true, "", 0, true},
        {kDenyWrite, "Instant", true, false, true, "", 0, false},
        {kDenyWrite, "Close", true, false, false, "", 0, false},
        {kDenyRead, "", false, true, false, kBlankBoxes, CB_ERR, true},
        {kDenyRead, "Instant", false, true, false, kBlankBoxes, CB_ERR, true},
        {kDenyRead, "Close", false, false, false, "", 0, false},
        {kDenyRead, "", true, false, true, "", 0, true},
        {kDenyRead, "Instant", true, false, true, "", 0, false},
        {kDenyRead, "Close", true, false, false, "", 0, false},
    };
    for (const auto& row : rows) {
        SetUp();
        const bool readable = row.denied == kDenyWrite;
        SCOPED_TRACE(std::string(readable ? "read-only key, " : "unreadable key, ") + "start \"" + row.word + "\"" +
                     (row.running ? " with an instance running" : ""));
        KeyhavenProcess resident;
        HWND residentDialog = row.running ? LaunchResident(resident) : nullptr;
        StoreDistinctSettings();
        SettingsKeyLock lock(row.denied);
        ASSERT_TRUE(lock.Locked());
        const std::string stored = lock.Values();

        KeyhavenProcess start;
        ASSERT_TRUE(start.Start(row.word));
        if (!readable) EXPECT_EQ("Missing registry!", AnswerMessageBox(start.ProcessId()));
        if (row.startStays) {
            HWND dialog = FindKeyhavenWindow(15000, start.ProcessId());
            ASSERT_NE(nullptr, dialog);
            // An instant start applies and hides once its initialisation has ended.
            EXPECT_TRUE(WaitUntil(
                [&] { return (IsWindowVisible(dialog) != 0) == row.visible && Boxes(dialog) == row.boxes; }))
                << "the dialog shows " << Boxes(dialog) << (IsWindowVisible(dialog) ? ", visible" : ", hidden");
            EXPECT_EQ(row.list, ListSelection(dialog, IDC_IDLE_MINUTES));
            HWND box = nullptr;
            if (readable) EXPECT_EQ("", WaitForMessageBox(start.ProcessId(), &box, 500));
        } else {
            EXPECT_TRUE(start.WaitForExit()) << "this start did not end";
        }
        if (row.running && row.word == std::string("Close")) {
            EXPECT_TRUE(resident.WaitForExit()) << "the running instance was not closed";
        } else if (row.running) {
            EXPECT_TRUE(resident.IsRunning());
            EXPECT_TRUE(WaitForVisibility(residentDialog, row.visible));
        }
        EXPECT_EQ(row.featureOn ? 1u : 0u, VirtualNotebook::State().stickyMode);
        EXPECT_EQ(stored, lock.Values()) << "the key was written";
    }
}

}  // namespace
