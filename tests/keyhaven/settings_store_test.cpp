// The settings store on the registry of this test program's prefix: the
// defaults of a new key, the reading rules, and which values a save leaves.
#include <gtest/gtest.h>

#include "keyhaven_process.h"
#include "settings.h"
#include "settings_key_lock.h"

using namespace keyhavenremote;
using namespace testsupport;

namespace {

class Store : public ::testing::Test {
protected:
    void SetUp() override { DeleteSettings(); }
    KeyhavenSettings Load()
    {
        KeyhavenSettings settings;
        settings.lockTwice = !settings.lockTwice;  // so that the load must set it
        EXPECT_TRUE(store.Load(FN_LATCHED, &settings));
        return settings;
    }
    SettingsStore store;
};

TEST_F(Store, ANewKeyGetsTheDefaults)
{
    KeyhavenSettings loaded = Load();
    const struct {
        const char* name;
        DWORD value;
    } defaults[] = {{"FnKeyEnable", 0}, {"FnKeyStatus", FN_LATCHED}, {"FnKeyLock", 1}, {"FnMakeSound", 1},
                    {"FnShowStatus", 1}, {"FnUnStick", 0}, {"FnResetSound", 1}};
    for (const auto& value : defaults) EXPECT_EQ(value.value, Setting(value.name)) << value.name;
    EXPECT_EQ("1", ReadTextSetting("FnResetTime"));
    EXPECT_TRUE(!loaded.enabled && loaded.lockTwice && loaded.soundOnPress && loaded.showStatus &&
                !loaded.unstick && loaded.resetSound && loaded.resetMinutes == 1);
}

TEST_F(Store, FlagsReadAsAnyNonZeroWithinFourBytesAndAreWrittenAsOne)
{
    WriteSetting("FnUnStick", 5);
    WriteTextSetting("FnKeyEnable", "1");  // two bytes "1\0": non-zero
    const unsigned char eight[8] = {1, 0, 0, 0, 1, 0, 0, 0};
    WriteRawSetting("FnKeyLock", REG_BINARY, eight, sizeof eight);
    KeyhavenSettings loaded = Load();
    EXPECT_TRUE(loaded.unstick && loaded.enabled);
    EXPECT_FALSE(loaded.lockTwice) << "eight bytes do not fit: 0";
    store.Save(loaded);
    EXPECT_EQ(1u, Setting("FnUnStick"));
}

TEST_F(Store, AnIdleTimeOutsideOneToFiveIsTheDefaultAndStoredBackSo)
{
    Load();
    for (const char* text : {"9", "0", "abc", "", "-2", "33333333333", "4"}) {
        WriteTextSetting("FnResetTime", text);
        const bool valid = text[0] == '4';
        EXPECT_EQ(valid ? 4 : 1, Load().resetMinutes) << text;
        EXPECT_EQ(valid ? "4" : "1", ReadTextSetting("FnResetTime")) << text;
    }
    WriteSetting("FnResetTime", '4');  // the bytes of "4", but not text
    EXPECT_EQ(1, Load().resetMinutes);
    EXPECT_EQ("1", ReadTextSetting("FnResetTime"));
}

TEST_F(Store, SaveLeavesTheStateWhenOffAndTheTimeWithoutResetSound)
{
    KeyhavenSettings settings = Load();
    settings.enabled = true;
    settings.fnState = FN_LOCKED;
    settings.resetMinutes = 3;
    store.Save(settings);
    EXPECT_EQ(1u, Setting("FnKeyEnable"));
    EXPECT_EQ(2u, Setting("FnKeyStatus"));
    EXPECT_EQ("3", ReadTextSetting("FnResetTime"));

    settings.enabled = settings.resetSound = settings.lockTwice = false;
    settings.fnState = FN_RELEASED;
    settings.resetMinutes = 5;
    store.Save(settings);
    EXPECT_EQ(0u, Setting("FnKeyEnable") + Setting("FnKeyLock") + Setting("FnResetSound"));
    EXPECT_EQ(2u, Setting("FnKeyStatus"));
    EXPECT_EQ("3", ReadTextSetting("FnResetTime"));
    StoredFnState stored{true, 0};
    ASSERT_TRUE(store.ReadFnState(&stored));
    EXPECT_FALSE(stored.enabled);
    EXPECT_EQ(FN_LOCKED, stored.fnState);

    DeleteSettings();
    store.Save(settings);
    EXPECT_FALSE(SettingsKeyExists()) << "a save never creates the key";
    EXPECT_FALSE(store.ReadFnState(&stored));
}

TEST_F(Store, AKeyThatMayNotBeWrittenIsReadAndOneThatMayNotBeReadIsMissingNeitherIsWritten)
{
    Load();
    WriteSetting("FnKeyEnable", 1);
    WriteSetting("FnKeyLock", 0);
    WriteSetting("FnKeyStatus", FN_LOCKED);
    WriteTextSetting("FnResetTime", "9");  // stored back as "1" where the key may be written
    const struct {
        REGSAM denied;
        bool readable;
    } rows[] = {{kDenyWrite, true}, {kDenyRead, false}};
    for (const auto& row : rows) {
        SettingsKeyLock lock(row.denied);
        ASSERT_TRUE(lock.Locked());
        const std::string stored = lock.Values();
        KeyhavenSettings settings;
        EXPECT_EQ(row.readable, store.Load(FN_RELEASED, &settings)) << row.denied;
        StoredFnState state{false, FN_RELEASED};
        EXPECT_EQ(row.readable, store.ReadFnState(&state)) << row.denied;
        if (row.readable) {
            EXPECT_TRUE(settings.enabled && !settings.lockTwice && settings.resetMinutes == 1);
            EXPECT_TRUE(state.enabled && state.fnState == FN_LOCKED);
        }
        settings.enabled = settings.resetSound = true;
        settings.resetMinutes = 4;
        store.Save(settings);
        EXPECT_EQ(stored, lock.Values()) << "written where access is denied: " << row.denied;
    }
}

}  // namespace
