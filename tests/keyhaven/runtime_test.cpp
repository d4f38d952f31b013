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
    std::function<void(const char*)> whileBoxOpen;
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
        if (whileBoxOpen) whileBoxOpen(text);
    }
    void Quit() override { log.push_back("quit"); }

private:
    int Command(const char* name, int result)
    {
        log.push_back(name);
        return result;
    }
};

KeyhavenSettings Options(bool lockTwice = true, bool unstick = false, int minutes = 1)
{
    KeyhavenSettings options;
    options.enabled = true;
    options.lockTwice = lockTwice;
    options.unstick = unstick;
    options.resetMinutes = minutes;
    return options;
}

const Log kRelease = {"modify off", "up", "sound keyUnlock.wav"};

class Runtime : public ::testing::Test {
protected:
    Recorder fx;
    StickyRuntime runtime{fx};

    // Applies the options, plays the events ('p' press, 'u' unlatch), then forgets the log.
    void Prepare(const KeyhavenSettings& options, const std::string& events)
    {
        runtime.Apply(options);
        Play(events);
        fx.log.clear();
    }
    void Play(const std::string& events)
    {
        for (char event : events) event == 'p' ? runtime.FnPress() : runtime.FnUnlatch();
    }
    int TicksUntilReset(bool sound = true)
    {
        for (int tick = 1; tick <= 100; ++tick) {
            if (runtime.IdleTick(sound)) return tick;
        }
        return 0;
    }
};

TEST_F(Runtime, FnStateMachineRows)
{
    struct Row {
        bool lockTwice;
        const char* before;  // events that lead to the state before
        char event;
        Log actions;
        int after;
    };
    const Row rows[] = {
        {true, "", 'p', {"sound keyTmpLock.wav", "modify on", "down"}, FN_LATCHED},
        {true, "p", 'p', {"sound keyLock.wav"}, FN_LOCKED},
        {false, "p", 'p', kRelease, FN_RELEASED},
        {true, "pp", 'p', kRelease, FN_RELEASED},
        {true, "p", 'u', kRelease, FN_RELEASED},
        {true, "pp", 'u', {}, FN_LOCKED},
        {true, "", 'u', {}, FN_RELEASED},
    };
    for (const Row& row : rows) {
        Recorder fake;
        StickyRuntime machine(fake);
        machine.Apply(Options(row.lockTwice));
        for (const char* e = row.before; *e; ++e) *e == 'p' ? machine.FnPress() : machine.FnUnlatch();
        fake.log.clear();
        row.event == 'p' ? machine.FnPress() : machine.FnUnlatch();
        SCOPED_TRACE(std::string(row.before) + " then " + row.event);
        EXPECT_EQ(row.actions, fake.log);
        EXPECT_EQ(row.after, machine.FnState());
    }
}

TEST_F(Runtime, PressBeforeAnyApplyLatchesSilently)
{
    runtime.FnPress();
    EXPECT_EQ((Log{"modify on", "down"}), fx.log);
    EXPECT_EQ(FN_LATCHED, runtime.FnState());
}

TEST_F(Runtime, ApplyRows)
{
    KeyhavenSettings quiet = Options();
    quiet.showStatus = false;
    KeyhavenSettings off = Options();
    off.enabled = false;
    struct Row {
        KeyhavenSettings options;
        int enableResult, disableResult;
        Log actions;
    };
    const Row rows[] = {
        {Options(true, true), 1, 1, {"enable", "add off", "timer"}},
        {quiet, 1, 1, {"enable", "delete", "kill"}},
        {off, 1, 1, {"kill", "up", "disable", "delete"}},
        {Options(), 0, 1, {"enable", "box Enable StickyKey fail!", "quit", "add off", "kill"}},
        {off, 1, 0, {"kill", "up", "disable", "box Disable StickyKey fail!", "quit", "delete"}},
    };
    for (const Row& row : rows) {
        Recorder fake;
        fake.enableResult = row.enableResult;
        fake.disableResult = row.disableResult;
        StickyRuntime machine(fake);
        machine.FnPress();  // the state survives every apply
        fake.log.clear();
        machine.Apply(row.options);
        EXPECT_EQ(row.actions, fake.log);
        EXPECT_EQ(FN_LATCHED, machine.FnState());
        EXPECT_EQ(row.options.enabled, machine.Applied().enabled);
    }
}

TEST_F(Runtime, IdleResetComesAfterTheChosenMinutesSinceTheLastFnEvent)
{
    // Minutes outside 1 to 5 count as one minute.
    const struct {
        int minutes, ticks;
    } rows[] = {{1, 12}, {5, 60}, {0, 12}, {9, 12}, {-1, 12}};
    for (const auto& row : rows) {
        Recorder fake;
        StickyRuntime machine(fake);
        machine.Apply(Options(true, true, row.minutes));
        int ticks = 0;
        while (ticks < 100 && !machine.IdleTick(true)) ++ticks;
        EXPECT_EQ(row.ticks, ticks + 1) << row.minutes << " minutes";
    }
    Prepare(Options(true, true, 1), "pp");
    for (int tick = 0; tick < 11; ++tick) EXPECT_FALSE(runtime.IdleTick(true));
    runtime.FnUnlatch();  // any Fn event starts the count again
    EXPECT_EQ(12, TicksUntilReset());
    EXPECT_EQ((Log{"kill", "up", "disable", "delete", "sound Disable.wav"}), fx.log)
        << "a held Fn is released before the feature goes off";
    EXPECT_EQ(FN_LOCKED, runtime.FnState());
}

TEST_F(Runtime, NoIdleResetWithoutUnstickAndNoSoundWithoutTheBox)
{
    Prepare(Options(true, false), "");
    EXPECT_EQ(0, TicksUntilReset());
    Prepare(Options(true, true), "");
    EXPECT_EQ(12, TicksUntilReset(false));
    EXPECT_EQ((Log{"kill", "up", "disable", "delete"}), fx.log);
    runtime.FnPress();
    runtime.Apply(Options());
    EXPECT_EQ((Log{"kill", "up", "disable", "delete"}), fx.log) << "nothing runs after the reset";
}

TEST_F(Runtime, ResumeRestoresTheStoredStateOncePerSuspend)
{
    const Log held = {"enable", "modify on", "down"};
    const Log released = {"enable", "modify off", "up"};
    const struct {
        StoredFnState stored;
        Log actions;
        int after;
    } rows[] = {
        {{true, FN_LOCKED}, held, FN_LOCKED},
        {{true, FN_LATCHED}, held, FN_LATCHED},
        {{true, FN_RELEASED}, released, FN_RELEASED},
        {{true, 3}, released, FN_RELEASED},
        {{true, 0x7FFFFFFF}, released, FN_RELEASED},
        {{true, -1}, released, FN_RELEASED},
        {{false, FN_LOCKED}, {"disable", "delete"}, FN_LATCHED},
    };
    for (const auto& row : rows) {
        Recorder fake;
        StickyRuntime machine(fake);
        machine.Apply(Options());
        machine.FnPress();
        machine.Suspend();
        fake.log.clear();
        machine.Resume(row.stored);
        SCOPED_TRACE(row.stored.fnState);
        EXPECT_EQ(row.actions, fake.log);
        EXPECT_EQ(row.after, machine.FnState());
        fake.log.clear();
        machine.Resume(row.stored);
        EXPECT_TRUE(fake.log.empty()) << "a second resume message for the same suspend";
        const int afterPress[] = {FN_LATCHED, FN_LOCKED, FN_RELEASED};
        machine.FnPress();
        EXPECT_EQ(afterPress[row.after], machine.FnState()) << "the next press follows the restored state";
    }
    runtime.Resume({true, FN_LOCKED});  // a resume without a suspend message before it
    EXPECT_EQ(held, fx.log);
}

TEST_F(Runtime, LeaveAndCloseReleaseFnFirst)
{
    Prepare(Options(), "p");
    runtime.Leave();
    EXPECT_EQ((Log{"kill", "up", "disable", "delete"}), fx.log);
    fx.log.clear();
    runtime.CloseRequest();
    EXPECT_EQ((Log{"up", "disable", "delete"}), fx.log);
    EXPECT_TRUE(runtime.Closed());
}

TEST_F(Runtime, ShellRestartAddsTheShownIconAgain)
{
    Prepare(Options(), "p");
    runtime.ShellRestarted();
    EXPECT_EQ(Log{"add on"}, fx.log);
    KeyhavenSettings quiet = Options();
    quiet.showStatus = false;
    Prepare(quiet, "");
    runtime.ShellRestarted();
    EXPECT_TRUE(fx.log.empty());
}

TEST_F(Runtime, OneFailureBoxAtATimeWhateverArrivesMeanwhile)
{
    Prepare(Options(), "");
    fx.downResult = fx.upResult = 0;
    fx.whileBoxOpen = [this](const char*) {
        for (int i = 0; i < 2000; ++i) runtime.FnPress();
        fx.downResult = fx.upResult = 1;  // the controller answers again
        fx.log.push_back("answered");
    };
    runtime.FnPress();
    int boxes = 0, commands = 0, sounds = 0;
    std::string icon;
    for (const std::string& entry : fx.log) {
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
    EXPECT_EQ(FN_RELEASED, runtime.FnState());
    EXPECT_EQ("modify off", icon);
    EXPECT_EQ((Log{"answered", "up"}), Log(fx.log.end() - 2, fx.log.end()));
}

TEST_F(Runtime, CloseWhileABoxIsOpenEndsEverything)
{
    const std::function<void(StickyRuntime&)> interrupted[] = {
        [](StickyRuntime& r) { r.Apply(Options(true, true)); },
        [](StickyRuntime& r) { r.FnPress(); },
        [](StickyRuntime& r) {
            KeyhavenSettings off = Options();
            off.enabled = false;
            r.Apply(off);
        },
        [](StickyRuntime& r) { r.Leave(); },
    };
    for (const auto& handler : interrupted) {
        Recorder fake;
        fake.enableResult = fake.disableResult = fake.downResult = 0;
        StickyRuntime machine(fake);
        fake.whileBoxOpen = [&](const char*) {
            machine.CloseRequest();
            fake.log.clear();
        };
        handler(machine);
        machine.FnPress();
        machine.IdleTick(true);
        machine.Suspend();
        machine.Resume({true, FN_LOCKED});
        machine.ShellRestarted();
        EXPECT_TRUE(fake.log.empty()) << fake.log.front();
        EXPECT_TRUE(machine.Closed());
    }
}

}  // namespace
