// Puts the localised texts into a window made from the settings dialog's
// template, the way the settings dialog does when it initialises: every
// label, button, group box and the caption from the string table, the About
// item on the system menu, and the five entries of the idle-minutes list.
#pragma once

#include <windows.h>

namespace dialogpreview {

struct ControlText {
    int controlId;
    UINT stringId;
};

// Control and string pairs, in the order the dialog sets them.
extern const ControlText kSettingsTexts[];
extern const int kSettingsTextCount;

// Loads every text from strings (the module that holds the string table)
// under the calling thread's language. The About item is appended only when
// its string is not empty.
void ApplySettingsTexts(HWND dialog, HMODULE strings);

}  // namespace dialogpreview
