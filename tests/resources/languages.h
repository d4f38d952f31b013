// The languages of Keyhaven's string table: full tables (all 19 texts, string
// blocks 7 and 8) and placeholders (block 7 alone, holding the About item
// with the language's English name).
#pragma once

#include <windows.h>

namespace restest {

struct TableLanguage {
    LANGID id;
    const char* placeholderName;  // nullptr for a full table
};

constexpr TableLanguage kTableLanguages[] = {
    {1026, "Bulgarian"}, {1029, nullptr}, {1030, nullptr}, {1031, nullptr}, {1032, nullptr}, {1033, nullptr},
    {1035, nullptr}, {1036, nullptr}, {1038, nullptr}, {1039, "Icelandic"}, {1040, nullptr}, {1041, nullptr},
    {1042, nullptr}, {1043, nullptr}, {1044, nullptr}, {1045, nullptr}, {1048, "Romanian"}, {1049, nullptr},
    {1050, "Croatian"}, {1051, "Slovak"}, {1053, nullptr}, {1055, nullptr}, {1060, "Slovenian"}, {2052, nullptr},
    {2070, nullptr}, {3082, nullptr},
};

}  // namespace restest
