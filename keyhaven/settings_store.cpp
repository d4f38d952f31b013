// settings_store.cpp - the per-user settings key: created with defaults,
// read with forgiving rules, saved, and read back after a resume.
#include "settings.h"

#include <cstdio>
#include <cstdlib>

#include "keyhaven_identity.h"

namespace {

// Room for the idle time's text as it is read: 10 bytes.
constexpr DWORD kResetTimeBytes = 10;

class SettingsKey {
public:
    SettingsKey() : hKey_(NULL) {}
    ~SettingsKey()
    {
        if (hKey_ != NULL) RegCloseKey(hKey_);
    }
    // With every right, as a save needs it.
    bool Open() { return OpenWith(KEY_ALL_ACCESS); }
    // With every right, or only for reading when the key's security denies
    // writing (a locked-down profile): readers then see the stored values.
    bool OpenToRead()
    {
        if (Open()) return true;
        return OpenWith(KEY_READ);
    }
    bool Create()
    {
        return RegCreateKeyExA(HKEY_CURRENT_USER, KEYHAVEN_SETTINGS_KEY, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey_,
                               NULL) == ERROR_SUCCESS;
    }

    void WriteDword(const char* name, DWORD value)
    {
        RegSetValueExA(hKey_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    void WriteFlag(const char* name, bool on) { WriteDword(name, on ? 1 : 0); }
    void WriteMinutes(int minutes)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%d", ValidResetMinutes(minutes));
        RegSetValueExA(hKey_, KEYHAVEN_VALUE_RESET_TIME, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       static_cast<DWORD>(lstrlenA(text) + 1));
    }

    // A missing value, or one whose data does not fit in 4 bytes, reads as 0.
    DWORD ReadDword(const char* name)
    {
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExA(hKey_, name, NULL, NULL, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
            return 0;
        return value;
    }
    bool ReadFlag(const char* name) { return ReadDword(name) != 0; }

    // The idle time as atoi reads its text; 0 when the value is missing, is
    // not text, or does not fit in 10 bytes. Never read past the buffer.
    int ReadMinutes()
    {
        char text[kResetTimeBytes + 1] = {0};
        DWORD size = kResetTimeBytes;
        DWORD type = REG_NONE;
        if (RegQueryValueExA(hKey_, KEYHAVEN_VALUE_RESET_TIME, NULL, &type, reinterpret_cast<BYTE*>(text), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            return 0;
        }
        text[kResetTimeBytes] = '\0';
        return std::atoi(text);
    }

private:
    bool OpenWith(REGSAM access)
    {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, KEYHAVEN_SETTINGS_KEY, 0, access, &hKey_) == ERROR_SUCCESS) return true;
        hKey_ = NULL;  // a failed open leaves nothing to close
        return false;
    }

    HKEY hKey_;
};

void WriteDefaults(SettingsKey& key, int fnState)
{
    KeyhavenSettings defaults;
    key.WriteFlag(KEYHAVEN_VALUE_ENABLE, defaults.enabled);
    key.WriteDword(KEYHAVEN_VALUE_STATUS, static_cast<DWORD>(fnState));
    key.WriteFlag(KEYHAVEN_VALUE_LOCK, defaults.lockTwice);
    key.WriteFlag(KEYHAVEN_VALUE_SOUND, defaults.soundOnPress);
    key.WriteFlag(KEYHAVEN_VALUE_SHOW_STATUS, defaults.showStatus);
    key.WriteFlag(KEYHAVEN_VALUE_UNSTICK, defaults.unstick);
    key.WriteFlag(KEYHAVEN_VALUE_RESET_SOUND, defaults.resetSound);
    key.WriteMinutes(defaults.resetMinutes);
}

}  // namespace

int ValidResetMinutes(int minutes)
{
    return minutes >= kMinResetMinutes && minutes <= kMaxResetMinutes ? minutes : kDefaultResetMinutes;
}

bool SettingsStore::Load(int fnState, KeyhavenSettings* settings)
{
    SettingsKey key;
    if (!key.OpenToRead()) {
        if (!key.Create()) return false;
        WriteDefaults(key, fnState);
    }
    settings->enabled = key.ReadFlag(KEYHAVEN_VALUE_ENABLE);
    settings->fnState = fnState;
    settings->lockTwice = key.ReadFlag(KEYHAVEN_VALUE_LOCK);
    settings->soundOnPress = key.ReadFlag(KEYHAVEN_VALUE_SOUND);
    settings->showStatus = key.ReadFlag(KEYHAVEN_VALUE_SHOW_STATUS);
    settings->unstick = key.ReadFlag(KEYHAVEN_VALUE_UNSTICK);
    settings->resetSound = key.ReadFlag(KEYHAVEN_VALUE_RESET_SOUND);
    const int minutes = key.ReadMinutes();
    settings->resetMinutes = ValidResetMinutes(minutes);
    // Fails silently on a key opened only for reading.
    if (minutes != settings->resetMinutes) key.WriteMinutes(settings->resetMinutes);
    return true;
}

void SettingsStore::Save(const KeyhavenSettings& settings)
{
    SettingsKey key;
    if (!key.Open()) return;
    key.WriteFlag(KEYHAVEN_VALUE_ENABLE, settings.enabled);
    if (settings.enabled) key.WriteDword(KEYHAVEN_VALUE_STATUS, static_cast<DWORD>(settings.fnState));
    key.WriteFlag(KEYHAVEN_VALUE_LOCK, settings.lockTwice);
    key.WriteFlag(KEYHAVEN_VALUE_SOUND, settings.soundOnPress);
    key.WriteFlag(KEYHAVEN_VALUE_SHOW_STATUS, settings.showStatus);
    key.WriteFlag(KEYHAVEN_VALUE_UNSTICK, settings.unstick);
    key.WriteFlag(KEYHAVEN_VALUE_RESET_SOUND, settings.resetSound);
    if (settings.resetSound) key.WriteMinutes(settings.resetMinutes);
}

bool SettingsStore::ReadFnState(StoredFnState* state)
{
    SettingsKey key;
    if (!key.OpenToRead()) return false;
    state->enabled = key.ReadFlag(KEYHAVEN_VALUE_ENABLE);
    state->fnState = static_cast<int>(key.ReadDword(KEYHAVEN_VALUE_STATUS));
    return true;
}
