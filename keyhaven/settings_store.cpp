// settings_store.cpp - the per-user settings key: created with defaults,
// loaded into the controls at start-up, saved from the controls, and read
// back after a resume from suspend.
#include <cstdio>
#include <cstdlib>

#include "keyhaven_dlg.h"
#include "latchwire.h"
#include "resource.h"

namespace {

const char kSettingsKey[] = "Software\\Orventa\\Accessibility";

const char kFnKeyEnable[] = "FnKeyEnable";
const char kFnKeyStatus[] = "FnKeyStatus";
const char kFnKeyLock[] = "FnKeyLock";
const char kFnMakeSound[] = "FnMakeSound";
const char kFnShowStatus[] = "FnShowStatus";
const char kFnUnStick[] = "FnUnStick";
const char kFnResetSound[] = "FnResetSound";
const char kFnResetTime[] = "FnResetTime";

// Room for the idle time's text as it is read: 10 bytes.
constexpr DWORD kResetTimeBytes = 10;
constexpr int kIdleMinutesChoices = 5;

void WriteDword(HKEY hKey, const char* name, DWORD value)
{
    RegSetValueExA(hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void WriteText(HKEY hKey, const char* name, const char* text)
{
    RegSetValueExA(hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(lstrlenA(text) + 1));
}

// A missing value, or one whose data does not fit in 4 bytes, reads as 0.
DWORD ReadDword(HKEY hKey, const char* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(hKey, name, NULL, NULL, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) {
        return 0;
    }
    return value;
}

// The idle time as a number, read like atoi from at most 10 bytes of text.
// A missing or unreadable value counts as empty text (0); text stored without
// its terminating NUL is cut at the 10 bytes read, never read past.
int ReadResetMinutes(HKEY hKey)
{
    char text[kResetTimeBytes + 1] = {0};
    DWORD size = kResetTimeBytes;
    if (RegQueryValueExA(hKey, kFnResetTime, NULL, NULL, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) {
        return 0;
    }
    text[kResetTimeBytes] = '\0';
    return std::atoi(text);
}

void WriteDefaults(HKEY hKey, int fnState)
{
    WriteDword(hKey, kFnKeyEnable, 0);
    WriteDword(hKey, kFnKeyStatus, static_cast<DWORD>(fnState));
    WriteDword(hKey, kFnKeyLock, 1);
    WriteDword(hKey, kFnMakeSound, 1);
    WriteDword(hKey, kFnShowStatus, 1);
    WriteDword(hKey, kFnUnStick, 0);
    WriteDword(hKey, kFnResetSound, 1);
    WriteText(hKey, kFnResetTime, "1");
}

void LoadCheck(CButton& box, HKEY hKey, const char* name)
{
    box.SetCheck(ReadDword(hKey, name) != 0 ? BST_CHECKED : BST_UNCHECKED);
}

DWORD Flag(BOOL checked)
{
    return checked ? 1 : 0;
}

}  // namespace

HKEY CKeyhavenDlg::OpenOrCreateSettingsKey()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS) return hKey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL) !=
        ERROR_SUCCESS) {
        return NULL;
    }
    WriteDefaults(hKey, m_nFnState);
    return hKey;
}

void CKeyhavenDlg::LoadTextsAndValues(HKEY hKey)
{
    SetText(m_grpSetting, IDS_GROUP_SETTING);
    SetText(m_stDescription, IDS_DESCRIPTION);
    SetText(m_chkUseFnSticky, IDS_USE_FNSTICKY);
    LoadCheck(m_chkUseFnSticky, hKey, kFnKeyEnable);
    if (!IsChecked(m_chkUseFnSticky)) {
        m_chkLockTwice.EnableWindow(FALSE);
        m_chkSoundPress.EnableWindow(FALSE);
        m_chkShowStatus.EnableWindow(FALSE);
        m_chkUnstickIdle.EnableWindow(FALSE);
        EnableIdleMinutes(FALSE);
        m_chkSoundReset.EnableWindow(FALSE);
    }
    SetText(m_grpOptions, IDS_GROUP_OPTIONS);
    SetText(m_chkLockTwice, IDS_LOCK_TWICE);
    LoadCheck(m_chkLockTwice, hKey, kFnKeyLock);
    SetText(m_chkSoundPress, IDS_SOUND_PRESS);
    LoadCheck(m_chkSoundPress, hKey, kFnMakeSound);
    SetText(m_chkShowStatus, IDS_SHOW_STATUS);
    LoadCheck(m_chkShowStatus, hKey, kFnShowStatus);
    SetText(m_grpReset, IDS_GROUP_RESET);
    SetText(m_chkUnstickIdle, IDS_UNSTICK_IDLE);
    LoadCheck(m_chkUnstickIdle, hKey, kFnUnStick);
    if (!IsChecked(m_chkUnstickIdle)) EnableIdleMinutes(FALSE);
    SetText(m_chkSoundReset, IDS_SOUND_RESET);
    LoadCheck(m_chkSoundReset, hKey, kFnResetSound);
    SetText(m_stMinutes, IDS_MINUTES);
    SetText(m_btnOK, IDS_OK);
    SetText(m_btnCancel, IDS_CANCEL);
    SetText(m_btnApply, IDS_APPLY);
}

void CKeyhavenDlg::FillIdleMinutesList(HKEY hKey)
{
    m_cbIdleMinutes.SetColumnCount(1);
    m_cbIdleMinutes.SetColumnWidth(0, 10);
    for (int minutes = 1; minutes <= kIdleMinutesChoices; ++minutes) {
        CString item;
        item.Format("%d", minutes);
        m_cbIdleMinutes.AddString(item);
    }
    m_cbIdleMinutes.SetCurSel(ReadResetMinutes(hKey) - 1);
}

void CKeyhavenDlg::SaveSettings()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) return;
    if (IsChecked(m_chkUseFnSticky)) {
        WriteDword(hKey, kFnKeyEnable, 1);
        WriteDword(hKey, kFnKeyStatus, static_cast<DWORD>(m_nFnState));
    } else {
        WriteDword(hKey, kFnKeyEnable, 0);
    }
    WriteDword(hKey, kFnKeyLock, Flag(IsChecked(m_chkLockTwice)));
    WriteDword(hKey, kFnMakeSound, Flag(IsChecked(m_chkSoundPress)));
    WriteDword(hKey, kFnShowStatus, Flag(IsChecked(m_chkShowStatus)));
    WriteDword(hKey, kFnUnStick, Flag(IsChecked(m_chkUnstickIdle)));
    if (IsChecked(m_chkSoundReset)) {
        WriteDword(hKey, kFnResetSound, 1);
        char minutes[16];
        std::snprintf(minutes, sizeof minutes, "%d", m_cbIdleMinutes.GetCurSel() + 1);
        WriteText(hKey, kFnResetTime, minutes);
    } else {
        WriteDword(hKey, kFnResetSound, 0);
    }
    RegCloseKey(hKey);
}

void CKeyhavenDlg::RestoreFnState()
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &hKey) != ERROR_SUCCESS) return;
    if (ReadDword(hKey, kFnKeyEnable) != 0) {
        Enable_StickyKey();
        m_nFnState = static_cast<int>(ReadDword(hKey, kFnKeyStatus));
        if (m_nFnState >= FN_LATCHED && m_nFnState <= FN_LOCKED) {
            SetNotifyIcon(IDI_FN_ON, NIM_MODIFY);
            FnKeyDown();
        } else {
            SetNotifyIcon(IDI_FN_OFF, NIM_MODIFY);
            FnKeyUP();
        }
    } else {
        Disable_StickyKey();
        RemoveNotifyIcon();
    }
    RegCloseKey(hKey);
}
