// Puts the localised texts into a window made from the settings dialog's
// template, the way the settings dialog does when it initialises: every
// label, button, group box and the caption from the string table, the About
// item on the system menu, and the five entries of the idle-minutes list.
#pragma once

#include <windows.h>

#include "dialog_texts.h"

namespace dialogpreview {

// Control and string pairs, in the order the dialog sets them: the program's own table.
using ::ControlText;
using ::kSettingsTexts;
using ::kSettingsTextCount;

// Loads every text from strings (the module that holds the string table)
// under the calling thread's language. The About item is appended only when
// its string is not empty.
void ApplySettingsTexts(HWND dialog, HMODULE strings);

}  // namespace dialogpreview
