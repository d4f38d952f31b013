// The settings store on the registry of this test program's prefix: the
// defaults of a new key, the reading rules, and which values a save leaves.
#include <gtest/gtest.h>

#include "keyhaven_process.h"
#include "settings.h"

using namespace keyhavenremote;

namespace {

DWORD Value(const char* name)
{
    DWORD value = 0xDEAD;
    EXPECT_TRUE(ReadSetting(name, &value)) << name;
    return value;
}

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
    for (const auto& value : defaults) EXPECT_EQ(value.value, Value(value.name)) << value.name;
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
    EXPECT_EQ(1u, Value("FnUnStick"));
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
    EXPECT_EQ(1u, Value("FnKeyEnable"));
    EXPECT_EQ(2u, Value("FnKeyStatus"));
    EXPECT_EQ("3", ReadTextSetting("FnResetTime"));

    settings.enabled = settings.resetSound = settings.lockTwice = false;
    settings.fnState = FN_RELEASED;
    settings.resetMinutes = 5;
    store.Save(settings);
    EXPECT_EQ(0u, Value("FnKeyEnable") + Value("FnKeyLock") + Value("FnResetSound"));
    EXPECT_EQ(2u, Value("FnKeyStatus"));
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

}  // namespace
