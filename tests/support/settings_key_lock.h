// The settings key under a security that denies rights to everyone, as a
// locked-down or roaming profile has it; the key keeps it until it is deleted.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// What a lock denies.
constexpr REGSAM kDenyWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM kDenyRead = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;

class SettingsKeyLock {
public:
    // The key must exist.
    explicit SettingsKeyLock(REGSAM denied);
    ~SettingsKeyLock();
    SettingsKeyLock(const SettingsKeyLock&) = delete;
    SettingsKeyLock& operator=(const SettingsKeyLock&) = delete;

    bool Locked() const { return locked_; }
    // Every value as "name type bytes", read through the handle the lock
    // opened before it denied anything.
    std::string Values() const;

private:
    HKEY key_ = nullptr;
    bool locked_ = false;
};

// A DWORD setting as stored; 0xDEAD, and a failed check, when it cannot be read.
DWORD Setting(const char* name);

}  // namespace testsupport
