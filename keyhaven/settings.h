// settings.h - the eight values of the per-user settings key as one value,
// and the store that reads and writes them. The store knows nothing of the
// dialog.
#pragma once

#include <windows.h>

#include "keyhaven_messages.h"

constexpr int kMinResetMinutes = 1;
constexpr int kMaxResetMinutes = 5;
constexpr int kDefaultResetMinutes = 1;

struct KeyhavenSettings {
    bool enabled = false;       // FnKeyEnable
    int fnState = FN_RELEASED;  // FnKeyStatus
    bool lockTwice = true;      // FnKeyLock
    bool soundOnPress = true;   // FnMakeSound
    bool showStatus = true;     // FnShowStatus
    bool unstick = false;       // FnUnStick
    bool resetSound = true;     // FnResetSound
    int resetMinutes = kDefaultResetMinutes;  // FnResetTime, "1" to "5"
};

// An idle time outside 1 to 5 minutes counts as the default.
int ValidResetMinutes(int minutes);

// What a resume puts back into the controller.
struct StoredFnState {
    bool enabled;
    int fnState;
};

class SettingsStore {
public:
    // Opens the key, or creates it with the defaults (FnKeyStatus = fnState),
    // and reads every value but FnKeyStatus into *settings. An idle time that
    // is not one of "1" to "5" is read as the default and stored back so.
    // A key that may be read but not written is read all the same (nothing
    // is stored back). False when the key can be neither opened nor created.
    bool Load(int fnState, KeyhavenSettings* settings);

    // Writes the settings; FnKeyStatus only when enabled, FnResetTime only
    // when resetSound. Does nothing when the key cannot be opened for writing.
    void Save(const KeyhavenSettings& settings);

    // FnKeyEnable and FnKeyStatus as stored; false when the key cannot be read.
    bool ReadFnState(StoredFnState* state);
};
