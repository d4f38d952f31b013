// dialog_texts.h - which string of the string table each control of the
// settings dialog shows, in the order the dialog sets them. The program and
// the dialog preview tool both fill the template from this table.
#pragma once

#include <windows.h>

#include "resource.h"

struct ControlText {
    int controlId;
    UINT stringId;
};

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

// The idle-minutes list holds "1" to this many.
const int kIdleMinuteChoices = 5;
