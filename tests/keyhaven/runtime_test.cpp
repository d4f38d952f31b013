// The sticky-key runtime against a recording fake of its effects: the rows of
// the Fn state machine, applying, the idle reset, resume, and what happens
// while a failure box is open (the fake's box can run other handlers, as a
// message box's loop does).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sticky_runtime.h"

namespace {

using Log = std::vector<std::string>;

class Recorder : public StickyEffects {
public:
    int enableResult = 1, disableResult = 1, downResult = 1, upResult = 1;
    std::function<void()> whileBoxOpen;
    Log log;

    int EnableStickyKey() override { return Command("enable", enableResult); }
    int DisableStickyKey() override { return Command("disable", disableResult); }
    int FnKeyDown() override { return Command("down", downResult); }
    int FnKeyUp() override { return Command("up", upResult); }
    void PlaySound(const char* file) override { log.push_back(std::string("sound ") + file); }
    void ShowIcon(DWORD message, FnIcon icon) override
    {
        log.push_back(std::string(message == NIM_ADD ? "add " : "modify ") + (icon == FN_ICON_ON ? "on" : "off"));
    }
    void RemoveIcon() override { log.push_back("delete"); }
    void StartIdleTimer() override { log.push_back("timer"); }
    void StopIdleTimer() override { log.push_back("kill"); }
    void ReportError(const char* text) override
    {
        log.push_back(std::string("box ") + text);
        if (whileBoxOpen) whileBoxOpen();
    }
    void Quit() override { log.push_back("quit"); }

private:
    int Command(const char* name, int result)
    {
        log.push_back(name);
        return result;
    }
};

KeyhavenSettings Options(bool lockTwice = true, bool unstick = false, int minutes = 1, bool showStatus = true)
{
    KeyhavenSettings options;
    options.enabled = true;
    options.lockTwice = lockTwice;
    options.unstick = unstick;
    options.resetMinutes = minutes;
    options.showStatus = showStatus;
    return options;
}

const KeyhavenSettings kOff;  // the defaults: the feature off

// A runtime with its recorder: applies the options, plays the events
// ('p' press, 'u' unlatch), then forgets the log.
struct Rig {
    Recorder fx;
    StickyRuntime rt{fx};
    Rig(const KeyhavenSettings& options, const std::string& events)
    {
        rt.Apply(options);
        for (char event : events) event == 'p' ? rt.FnPress() : rt.FnUnlatch();
        fx.log.clear();
    }
    int TicksUntilReset(bool sound = true)
    {
        for (int tick = 1; tick <= 100; ++tick) {
            if (rt.IdleTick(sound)) return tick;
        }
        return 0;
    }
};

const Log kRelease = {"modify off", "up", "sound keyUnlock.wav"};
const Log kReset = {"kill", "up", "disable", "delete", "sound Disable.wav"};

TEST(Runtime, FnStateMachineRows)
{
    const struct {
        bool lockTwice;
        const char* before;  // events that lead to the state before
        char event;
        Log actions;
        int after;
    } rows[] = {
        {true, "", 'p', {"sound keyTmpLock.wav", "modify on", "down"}, FN_LATCHED},
        {true, "p", 'p', {"sound keyLock.wav"}, FN_LOCKED},
        {false, "p", 'p', kRelease, FN_RELEASED},
        {true, "pp", 'p', kRelease, FN_RELEASED},
        {true, "p", 'u', kRelease, FN_RELEASED},
        {true, "pp", 'u', {}, FN_LOCKED},
        {true, "", 'u', {}, FN_RELEASED},
    };
    for (const auto& row : rows) {
        Rig rig(Options(row.lockTwice), row.before);
        row.event == 'p' ? rig.rt.FnPress() : rig.rt.FnUnlatch();
        SCOPED_TRACE(std::string(row.before) + " then " + row.event);
        EXPECT_EQ(row.actions, rig.fx.log);
        EXPECT_EQ(row.after, rig.rt.FnState());
    }
}

TEST(Runtime, ApplyRowsKeepTheFnState)
{
    const struct {
        KeyhavenSettings options;
        int enableResult, disableResult;
        Log actions;
    } rows[] = {
        {Options(true, true), 1, 1, {"enable", "add off", "timer"}},
        {Options(true, false, 1, false), 1, 1, {"enable", "kill"}},
        {kOff, 1, 1, {"kill", "up", "disable"}},
        {Options(), 0, 1, {"enable", "box Enable StickyKey fail!", "quit", "add off", "kill"}},
        {kOff, 1, 0, {"kill", "up", "disable", "box Disable StickyKey fail!", "quit"}},
    };
    for (const auto& row : rows) {
        Recorder fx;
        fx.enableResult = row.enableResult;
        fx.disableResult = row.disableResult;
        StickyRuntime rt(fx);
        rt.FnPress();
        EXPECT_EQ((Log{"modify on", "down"}), fx.log) << "a press before any apply latches silently";
        fx.log.clear();
        rt.Apply(row.options);
        EXPECT_EQ(row.actions, fx.log);
        EXPECT_EQ(FN_LATCHED, rt.FnState());
        EXPECT_EQ(row.options.enabled, rt.Applied().enabled);
    }
}

TEST(Runtime, IdleResetAfterTheChosenMinutesSinceTheLastFnEvent)
{
    // Minutes outside 1 to 5 count as one minute.
    const struct {
        int minutes, ticks;
    } rows[] = {{1, 12}, {5, 60}, {0, 12}, {9, 12}, {-1, 12}};
    for (const auto& row : rows) EXPECT_EQ(row.ticks, Rig(Options(true, true, row.minutes), "").TicksUntilReset());

    Rig rig(Options(true, true, 1), "pp");
    for (int tick = 0; tick < 11; ++tick) EXPECT_FALSE(rig.rt.IdleTick(true));
    rig.rt.FnUnlatch();  // any Fn event starts the count again
    EXPECT_EQ(12, rig.TicksUntilReset());
    EXPECT_EQ(kReset, rig.fx.log) << "a held Fn is released before the feature goes off";
    EXPECT_EQ(FN_LOCKED, rig.rt.FnState());
    rig.fx.log.clear();
    rig.rt.FnPress();
    rig.rt.Apply(Options());
    EXPECT_TRUE(rig.fx.log.empty()) << "nothing runs after the reset";

    EXPECT_EQ(0, Rig(Options(true, false), "").TicksUntilReset()) << "un-stick off";
    Rig silent(Options(true, true), "");
    silent.TicksUntilReset(false);
    EXPECT_EQ(Log(kReset.begin(), kReset.end() - 1), silent.fx.log);
}

TEST(Runtime, ResumeRestoresTheStoredStateOncePerSuspend)
{
    const Log held = {"enable", "modify on", "down"};
    const Log released = {"enable", "modify off", "up"};
    const struct {
        StoredFnState stored;
        Log actions;
        int after;
    } rows[] = {
        {{true, FN_LOCKED}, held, FN_LOCKED},       {{true, FN_LATCHED}, held, FN_LATCHED},
        {{true, FN_RELEASED}, released, FN_RELEASED}, {{true, 3}, released, FN_RELEASED},
        {{true, 0x7FFFFFFF}, released, FN_RELEASED},  {{true, -1}, released, FN_RELEASED},
        {{false, FN_LOCKED}, {"disable", "delete"}, FN_LATCHED},
    };
    for (const auto& row : rows) {
        Rig rig(Options(), "p");
        rig.rt.Suspend();
        rig.rt.Resume(row.stored);
        SCOPED_TRACE(row.stored.fnState);
        EXPECT_EQ(row.actions, rig.fx.log);
        EXPECT_EQ(row.after, rig.rt.FnState());
        rig.fx.log.clear();
        rig.rt.Resume(row.stored);
        EXPECT_TRUE(rig.fx.log.empty()) << "a second resume message for the same suspend";
        const int afterPress[] = {FN_LATCHED, FN_LOCKED, FN_RELEASED};
        rig.rt.FnPress();
        EXPECT_EQ(afterPress[row.after], rig.rt.FnState()) << "the next press follows the restored state";
    }
    Rig unsuspended(Options(), "");
    unsuspended.rt.Resume({true, FN_LOCKED});
    EXPECT_EQ(held, unsuspended.fx.log) << "a resume without a suspend message before it";
}

TEST(Runtime, LeaveCloseAndShellRestart)
{
    Rig rig(Options(), "p");
    rig.rt.Leave();
    EXPECT_EQ((Log{"kill", "up", "disable", "delete"}), rig.fx.log);
    rig.fx.log.clear();
    rig.rt.CloseRequest();
    rig.rt.DropIcon();  // as the window's end does
    EXPECT_EQ((Log{"up", "disable"}), rig.fx.log) << "the icon is removed once";
    Rig hidden(Options(true, false, 1, false), "");
    hidden.rt.ShellRestarted();
    EXPECT_TRUE(hidden.fx.log.empty()) << "a hidden icon is not added again";
}

TEST(Runtime, OneFailureBoxAtATimeWhateverArrivesMeanwhile)
{
    Rig rig(Options(), "");
    rig.fx.downResult = rig.fx.upResult = 0;
    rig.fx.whileBoxOpen = [&rig] {
        for (int i = 0; i < 2000; ++i) rig.rt.FnPress();
        rig.fx.downResult = rig.fx.upResult = 1;  // the controller answers again
        rig.fx.log.push_back("answered");
    };
    rig.rt.FnPress();
    int boxes = 0, commands = 0, sounds = 0;
    std::string icon;
    for (const std::string& entry : rig.fx.log) {
        boxes += entry.compare(0, 4, "box ") == 0;
        commands += entry == "down" || entry == "up";
        sounds += entry.compare(0, 6, "sound ") == 0;
        if (entry.compare(0, 7, "modify ") == 0) icon = entry;
    }
    EXPECT_EQ(1, boxes);
    EXPECT_EQ(2, commands) << "the failed one, and the one after the box";
    EXPECT_EQ(1, sounds) << "none while the box is open";
    // 2001 presses: latched, locked, released, ... ; once the box has closed
    // the controller is told the final state.
    EXPECT_EQ(FN_RELEASED, rig.rt.FnState());
    EXPECT_EQ("modify off", icon);
    EXPECT_EQ((Log{"answered", "up"}), Log(rig.fx.log.end() - 2, rig.fx.log.end()));

    Rig idle(Options(true, true), "");  // the idle reset fails while an Fn failure is shown
    idle.fx.downResult = idle.fx.disableResult = 0;
    idle.fx.whileBoxOpen = [&idle] { idle.TicksUntilReset(); };
    idle.rt.FnPress();
    EXPECT_EQ((Log{"sound keyTmpLock.wav", "modify on", "down", "box Fn key down error", "kill", "up", "disable", "delete",
                   "sound Disable.wav"}),
              idle.fx.log);
}

TEST(Runtime, CloseWhileABoxIsOpenEndsEverything)
{
    const std::function<void(StickyRuntime&)> interrupted[] = {
        [](StickyRuntime& rt) { rt.Apply(Options(true, true)); },
        [](StickyRuntime& rt) { rt.FnPress(); },
        [](StickyRuntime& rt) { rt.Apply(kOff); },
        [](StickyRuntime& rt) { rt.Leave(); },
    };
    for (const auto& handler : interrupted) {
        Recorder fx;
        fx.enableResult = fx.disableResult = fx.downResult = 0;
        StickyRuntime rt(fx);
        fx.whileBoxOpen = [&] {
            rt.CloseRequest();
            fx.log.clear();
        };
        handler(rt);
        rt.FnPress();
        rt.IdleTick(true);
        rt.Suspend();
        rt.Resume({true, FN_LOCKED});
        rt.ShellRestarted();
        EXPECT_TRUE(fx.log.empty()) << fx.log.front();
        EXPECT_TRUE(rt.Closed());
    }
}

}  // namespace
