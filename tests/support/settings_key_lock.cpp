#include "settings_key_lock.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "keyhaven_process.h"

namespace testsupport {

SettingsKeyLock::SettingsKeyLock(REGSAM denied)
{
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KEYHAVEN_SETTINGS_KEY, 0, KEY_READ | WRITE_DAC, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) return;
    BYTE buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
    SECURITY_DESCRIPTOR sd;
    // A denial comes before the grant it narrows.
    locked_ = InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
              AddAccessDeniedAce(acl, ACL_REVISION, denied, everyone) &&
              AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
              InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
              SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
              RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    FreeSid(everyone);
}

SettingsKeyLock::~SettingsKeyLock()
{
    if (key_ != nullptr) RegCloseKey(key_);
}

std::string SettingsKeyLock::Values() const
{
    std::string values;
    char name[64], text[8];
    BYTE data[64];
    DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
    for (DWORD index = 0; RegEnumValueA(key_, index, name, &nameSize, nullptr, &type, data, &dataSize) == ERROR_SUCCESS;
         ++index, nameSize = sizeof name, dataSize = sizeof data) {
        values += std::string(name) + " " + std::to_string(type);
        for (DWORD i = 0; i < dataSize; ++i) {
            std::snprintf(text, sizeof text, " %02X", data[i]);
            values += text;
        }
        values += "\n";
    }
    return values;
}

DWORD Setting(const char* name)
{
    DWORD value = 0xDEAD;
    EXPECT_TRUE(keyhavenremote::ReadSetting(name, &value)) << name;
    return value;
}

}  // namespace testsupport
