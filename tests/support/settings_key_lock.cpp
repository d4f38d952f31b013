#include "settings_key_lock.h"

#include <cstdio>

#include "keyhaven_identity.h"

namespace testsupport {
namespace {

bool SetAccessList(HKEY key, PACL acl)
{
    SECURITY_DESCRIPTOR sd;
    return InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
           RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
}

bool SaveAccessList(HKEY key, std::vector<BYTE>* saved)
{
    DWORD size = 0;
    RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved->resize(size);
    return size != 0 && RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved->data(), &size) == ERROR_SUCCESS;
}

}  // namespace

SettingsKeyLock::SettingsKeyLock(REGSAM denied)
{
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KEYHAVEN_SETTINGS_KEY, 0, KEY_READ | WRITE_DAC, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    if (!SaveAccessList(key_, &saved_)) return;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
    BYTE buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
    // A denial comes before the grant it narrows.
    locked_ = InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
              AddAccessDeniedAce(acl, ACL_REVISION, denied, everyone) &&
              AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) && SetAccessList(key_, acl);
    FreeSid(everyone);
}

SettingsKeyLock::~SettingsKeyLock()
{
    if (key_ == nullptr) return;
    if (locked_) {
        BOOL present = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        GetSecurityDescriptorDacl(saved_.data(), &present, &acl, &defaulted);
        SetAccessList(key_, present ? acl : nullptr);
    }
    RegCloseKey(key_);
}

std::string SettingsKeyLock::Values() const
{
    std::string values;
    for (DWORD index = 0;; ++index) {
        char name[64];
        BYTE data[64];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(key_, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        char line[96];
        std::snprintf(line, sizeof line, "%s %lu", name, type);
        values += line;
        for (DWORD i = 0; i < dataSize; ++i) {
            std::snprintf(line, sizeof line, " %02X", data[i]);
            values += line;
        }
        values += "\n";
    }
    return values;
}

}  // namespace testsupport
