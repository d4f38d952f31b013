// The languages of Keyhaven's string table.
#pragma once

#include <windows.h>

namespace restest {

struct TableLanguage {
    LANGID id;
    const char* englishName;
    bool full;  // all 19 texts (blocks 7 and 8), or the About item alone (block 7)
};

constexpr LANGID kEnglish = 1033;

constexpr TableLanguage kTableLanguages[] = {
    {1026, "Bulgarian", false},
    {1029, "Czech", true},
    {1030, "Danish", true},
    {1031, "German", true},
    {1032, "Greek", true},
    {1033, "English", true},
    {1035, "Finnish", true},
    {1036, "French", true},
    {1038, "Hungarian", true},
    {1039, "Icelandic", false},
    {1040, "Italian", true},
    {1041, "Japanese", true},
    {1042, "Korean", true},
    {1043, "Dutch", true},
    {1044, "Norwegian", true},
    {1045, "Polish", true},
    {1048, "Romanian", false},
    {1049, "Russian", true},
    {1050, "Croatian", false},
    {1051, "Slovak", false},
    {1053, "Swedish", true},
    {1055, "Turkish", true},
    {1060, "Slovenian", false},
    {2052, "Chinese (Simplified)", true},
    {2070, "Portuguese (Portugal)", true},
    {3082, "Spanish (Spain)", true},
};

}  // namespace restest
