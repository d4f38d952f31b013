#include "resource_image.h"

#include <gtest/gtest.h>

#include "program_folder.h"

namespace restest {
namespace {

HMODULE g_module = nullptr;
std::wstring g_path;

class ImageEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_path = programfolder::Wide() + L"Keyhaven.exe";
        g_module = LoadLibraryExW(g_path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(g_module, nullptr) << "cannot map " << Utf8(g_path) << " (error " << GetLastError() << ")";
    }
    void TearDown() override
    {
        if (g_module) FreeLibrary(g_module);
    }
};

const ::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ImageEnvironment);

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::set<LANGID>*>(param)->insert(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    if (IS_INTRESOURCE(name)) reinterpret_cast<std::vector<WORD>*>(param)->push_back(LOWORD(name));
    return TRUE;
}

// Reads little-endian fields; a read past the end marks the reader failed.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool ok = true;

    uint32_t Read(size_t size)
    {
        uint32_t value = 0;
        if (at + size > bytes.size()) ok = false;
        for (size_t i = 0; ok && i < size; ++i) value |= uint32_t(bytes[at + i]) << (8 * i);
        at += ok ? size : 0;
        return value;
    }
    std::string Text()
    {
        std::wstring text;
        for (wchar_t c; ok && (c = static_cast<wchar_t>(Read(2))) != 0;) text.push_back(c);
        return Utf8(text);
    }
    std::string NameOrOrdinal(bool windowClass = false)
    {
        static const char* const kClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
        size_t start = at;
        if (Read(2) != 0xFFFF) {
            at = start;
            return Text();
        }
        WORD ordinal = static_cast<WORD>(Read(2));
        if (windowClass && ordinal >= 0x80 && ordinal <= 0x85) return kClasses[ordinal - 0x80];
        return "#" + std::to_string(ordinal);
    }
};

}  // namespace

HMODULE Module() { return g_module; }
const std::wstring& ImagePath() { return g_path; }

std::wstring LoadText(UINT id)
{
    wchar_t buffer[1024];
    int length = LoadStringW(g_module, id, buffer, 1024);
    return std::wstring(buffer, length > 0 ? length : 0);
}

std::vector<std::wstring> StringBlock(WORD block, LANGID language)
{
    std::vector<uint8_t> bytes = ResourceBytes(reinterpret_cast<LPCWSTR>(RT_STRING), block, language);
    Reader in{bytes};
    std::vector<std::wstring> strings;
    while (!bytes.empty() && in.ok && strings.size() < 16) {
        std::wstring text;
        for (uint32_t length = in.Read(2); in.ok && length > 0; --length) text.push_back(static_cast<wchar_t>(in.Read(2)));
        strings.push_back(text);
    }
    if (!in.ok || strings.size() != 16) strings.clear();  // malformed: reads as missing
    return strings;
}

std::set<LANGID> ResourceLanguages(LPCWSTR type, WORD id)
{
    std::set<LANGID> languages;
    EnumResourceLanguagesW(g_module, type, MAKEINTRESOURCEW(id), CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

std::vector<WORD> ResourceIds(LPCWSTR type)
{
    std::vector<WORD> ids;
    EnumResourceNamesW(g_module, type, CollectName, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

std::vector<uint8_t> ResourceBytes(LPCWSTR type, WORD id, LANGID language)
{
    HRSRC found = FindResourceExW(g_module, type, MAKEINTRESOURCEW(id), language);
    HGLOBAL loaded = found ? LoadResource(g_module, found) : nullptr;
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    return data ? std::vector<uint8_t>(data, data + SizeofResource(g_module, found)) : std::vector<uint8_t>();
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

DialogTemplate ParseDialogTemplate(const std::vector<uint8_t>& bytes)
{
    DialogTemplate d;
    Reader in{bytes};
    d.extended = in.Read(4) == 0xFFFF0001;  // version 1, signature 0xFFFF
    in.at = d.extended ? 4 : 0;
    if (d.extended) d.helpId = in.Read(4);
    d.exStyle = in.Read(4);
    d.style = in.Read(4);
    if (!d.extended) std::swap(d.style, d.exStyle);
    WORD count = static_cast<WORD>(in.Read(2));
    d.x = in.Read(2), d.y = in.Read(2), d.cx = in.Read(2), d.cy = in.Read(2);
    d.menu = in.NameOrOrdinal();
    d.windowClass = in.NameOrOrdinal();
    d.title = in.Text();
    if (d.style & DS_SETFONT) {
        d.pointSize = static_cast<WORD>(in.Read(2));
        if (d.extended) d.weight = in.Read(2), d.italic = in.Read(1), d.charset = in.Read(1);
        d.typeface = in.Text();
    }
    for (WORD i = 0; i < count && in.ok; ++i) {
        DialogItem item{};
        in.at = (in.at + 3) & ~size_t(3);
        if (d.extended) item.helpId = in.Read(4);
        item.exStyle = in.Read(4);
        item.style = in.Read(4);
        if (!d.extended) std::swap(item.style, item.exStyle);
        item.x = in.Read(2), item.y = in.Read(2), item.cx = in.Read(2), item.cy = in.Read(2);
        item.id = in.Read(d.extended ? 4 : 2);
        item.windowClass = in.NameOrOrdinal(true);
        item.text = in.NameOrOrdinal();
        item.extraBytes = static_cast<WORD>(in.Read(2));
        in.at += item.extraBytes;
        d.items.push_back(item);
    }
    d.complete = in.ok && in.at == bytes.size();
    return d;
}

}  // namespace restest
