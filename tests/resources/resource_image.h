// Reads the resources of the built Keyhaven.exe the way the platform's loader
// does: the image is mapped as a data file (never started), strings go through
// LoadStringW and the thread's language choice, raw resources through
// FindResourceExW. The image is Keyhaven.exe beside the test program.
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

// LoadStringW, as CString::LoadString does; empty when missing or empty.
std::wstring LoadText(UINT id);
// The 16 counted strings of one block in one language, read from the raw
// resource; empty when the block does not exist in that language.
std::vector<std::wstring> StringBlock(WORD block, LANGID language);
// Languages in which a resource exists; integer names of one type's resources
// in the directory's order.
std::set<LANGID> ResourceLanguages(LPCWSTR type, WORD id);
std::vector<WORD> ResourceIds(LPCWSTR type);
// Bytes of one resource in one language; empty when missing.
std::vector<uint8_t> ResourceBytes(LPCWSTR type, WORD id, LANGID language = kEnglish);

std::string Utf8(const std::wstring& text);

// A dialog template, classic or extended, parsed with every read checked
// against its size. Names stored as ordinals read "#n"; predefined window
// classes read as their names ("Button").
struct DialogItem {
    DWORD helpId, style, exStyle;
    short x, y, cx, cy;
    DWORD id;
    std::string windowClass, text;
    WORD extraBytes;
};
struct DialogTemplate {
    bool complete = false;  // parsed to the resource's last byte and not beyond
    bool extended = false;
    DWORD helpId = 0, style = 0, exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, windowClass, title;
    WORD pointSize = 0, weight = 0;
    BYTE italic = 0, charset = 0;
    std::string typeface;
    std::vector<DialogItem> items;
};
DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes);

}  // namespace restest
