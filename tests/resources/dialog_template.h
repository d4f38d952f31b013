// Parses a dialog template resource, classic (DLGTEMPLATE) or extended
// (DLGTEMPLATEEX), with all of its items, checking every read against the
// resource's size.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace restest {

// A name or an ordinal, as a template stores menu, class, title and item texts.
struct NameOrOrdinal {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::wstring name;

    bool operator==(const NameOrOrdinal& other) const
    {
        return isOrdinal == other.isOrdinal && (isOrdinal ? ordinal == other.ordinal : name == other.name);
    }
};

NameOrOrdinal Ordinal(WORD value);
NameOrOrdinal Name(const std::wstring& value);
std::string Describe(const NameOrOrdinal& value);

struct DialogItem {
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;                // 16 bits in a classic template
    NameOrOrdinal windowClass;   // predefined classes are ordinals 0x80-0x85
    NameOrOrdinal text;
    WORD extraBytes = 0;
};

struct DialogTemplate {
    bool parsed = false;
    std::string error;

    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::wstring title;
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::wstring typeface;
    std::vector<DialogItem> items;
};

DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes);

// The class name that a predefined class ordinal stands for ("Button" for 0x80).
NameOrOrdinal PredefinedClass(const char* name);

}  // namespace restest
