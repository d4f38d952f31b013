// Reads the resources of Keyhaven.exe (beside the test program), mapped as a
// data file and never started, through the platform's own resource calls.
#pragma once

#include <windows.h>

#include "thread_language.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace restest {

using testsupport::ThreadLanguage;

constexpr LANGID kEnglish = 1033;

HMODULE Module();
const std::wstring& ImagePath();
std::string Utf8(const std::wstring& text);

// LoadStringW under the thread's language; empty when missing.
std::wstring LoadText(UINT id);
// The 16 counted strings of one string block in one language; empty when the
// block is missing there or malformed.
std::vector<std::wstring> StringBlock(WORD block, LANGID language);
std::set<LANGID> ResourceLanguages(LPCWSTR type, WORD id);
std::vector<WORD> ResourceIds(LPCWSTR type);  // integer names, in directory order
std::vector<uint8_t> ResourceBytes(LPCWSTR type, WORD id, LANGID language = kEnglish);

}  // namespace restest
