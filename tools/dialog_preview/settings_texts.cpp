#include "settings_texts.h"

#include <cstdio>

namespace dialogpreview {

namespace {

constexpr int kTextCapacity = 512;

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
