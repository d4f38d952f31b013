#include "settings_texts.h"

#include "resource.h"

#include <cstdio>

namespace dialogpreview {

const ControlText kSettingsTexts[] = {
    {IDC_GROUP_SETTING, IDS_GROUP_SETTING},
    {IDC_DESCRIPTION, IDS_DESCRIPTION},
    {IDC_USE_FNSTICKY, IDS_USE_FNSTICKY},
    {IDC_GROUP_OPTIONS, IDS_GROUP_OPTIONS},
    {IDC_LOCK_TWICE, IDS_LOCK_TWICE},
    {IDC_SOUND_PRESS, IDS_SOUND_PRESS},
    {IDC_SHOW_STATUS, IDS_SHOW_STATUS},
    {IDC_GROUP_RESET, IDS_GROUP_RESET},
    {IDC_UNSTICK_IDLE, IDS_UNSTICK_IDLE},
    {IDC_SOUND_RESET, IDS_SOUND_RESET},
    {IDC_MINUTES_LABEL, IDS_MINUTES},
    {IDOK, IDS_OK},
    {IDCANCEL, IDS_CANCEL},
    {IDC_APPLY, IDS_APPLY},
};
const int kSettingsTextCount = sizeof(kSettingsTexts) / sizeof(kSettingsTexts[0]);

namespace {

constexpr int kTextCapacity = 512;
constexpr int kIdleMinuteChoices = 5;

// LoadStringW's result, empty when the string is missing.
void LoadText(HMODULE strings, UINT id, wchar_t (&text)[kTextCapacity])
{
    if (LoadStringW(strings, id, text, kTextCapacity) <= 0)
        text[0] = L'\0';
}

void AppendAboutItem(HWND dialog, HMODULE strings)
{
    HMENU systemMenu = GetSystemMenu(dialog, FALSE);
    if (!systemMenu)
        return;
    wchar_t text[kTextCapacity];
    LoadText(strings, IDS_ABOUTBOX, text);
    if (text[0] == L'\0')
        return;
    AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, text);
}

void FillIdleMinutes(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_IDLE_MINUTES);
    for (int minutes = 1; minutes <= kIdleMinuteChoices; ++minutes) {
        wchar_t item[8];
        swprintf(item, 8, L"%d", minutes);
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    SendMessageW(list, CB_SETCURSEL, 0, 0);
}

}  // namespace

void ApplySettingsTexts(HWND dialog, HMODULE strings)
{
    AppendAboutItem(dialog, strings);
    wchar_t text[kTextCapacity];
    LoadText(strings, IDS_APP_TITLE, text);
    SetWindowTextW(dialog, text);
    for (int i = 0; i < kSettingsTextCount; ++i) {
        LoadText(strings, kSettingsTexts[i].stringId, text);
        SetDlgItemTextW(dialog, kSettingsTexts[i].controlId, text);
    }
    FillIdleMinutes(dialog);
}

}  // namespace dialogpreview
