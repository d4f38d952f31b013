// Reads the resources of Keyhaven.exe (beside the test program), mapped as a
// data file and never started, through the platform's own resource calls.
#pragma once

#include <windows.h>

#include "thread_language.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace restest {

using testsupport::ThreadLanguage;

constexpr LANGID kEnglish = 1033;

// The languages of Keyhaven's string table: full tables (all 19 texts, string
// blocks 7 and 8) and placeholders (block 7 alone, holding the About item
// with the language's English name).
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

HMODULE Module();
const std::wstring& ImagePath();
std::string Utf8(const std::wstring& text);

// The 16 counted strings of one string block in one language; empty when the
// block is missing there or malformed.
std::vector<std::wstring> StringBlock(WORD block, LANGID language);
// Every resource of the image: (type, name) and the languages it exists in.
// A type or name given as a string shows as the low word of its pointer.
using ResourceDirectory = std::map<std::pair<WORD, WORD>, std::set<LANGID>>;
ResourceDirectory Directory();
std::vector<uint8_t> ResourceBytes(LPCWSTR type, WORD id, LANGID language = kEnglish);

}  // namespace restest
