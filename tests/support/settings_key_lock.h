// The settings key under a security that denies rights to everyone, as a
// locked-down or roaming profile has it, for as long as the object lives.
// Its own handle, opened before the denial, still reads every value.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

// What a lock denies.
constexpr REGSAM kDenyWrite = KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
constexpr REGSAM kDenyRead = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;

class SettingsKeyLock {
public:
    // The key must exist.
    explicit SettingsKeyLock(REGSAM denied);
    ~SettingsKeyLock();  // gives the key its security back
    SettingsKeyLock(const SettingsKeyLock&) = delete;
    SettingsKeyLock& operator=(const SettingsKeyLock&) = delete;

    bool Locked() const { return locked_; }
    // Every value as "name type bytes", in the key's order.
    std::string Values() const;

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;  // the key's own access list
    bool locked_ = false;
};

}  // namespace testsupport
