#include "resource_image.h"

#include <memory>

#include "program_folder.h"

namespace restest {

namespace {

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() > 1 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

std::unique_ptr<ResourceImage> g_image;

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param)
{
    reinterpret_cast<std::set<LANGID>*>(param)->insert(language);
    return TRUE;
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<WORD>*>(param)->push_back(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR param)
{
    if (IS_INTRESOURCE(type))
        reinterpret_cast<std::set<WORD>*>(param)->insert(LOWORD(reinterpret_cast<ULONG_PTR>(type)));
    return TRUE;
}

}  // namespace

ResourceImage::ResourceImage(const std::wstring& fileName)
    : path_(IsAbsolute(fileName) ? fileName : programfolder::Wide() + fileName)
{
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module_)
        loadError_ = GetLastError();
}

ResourceImage::~ResourceImage()
{
    if (module_)
        FreeLibrary(module_);
}

const ResourceImage& Image() { return *g_image; }
void OpenImage(const std::wstring& fileName) { g_image.reset(new ResourceImage(fileName)); }
void CloseImage() { g_image.reset(); }

std::wstring LoadText(HMODULE module, UINT id)
{
    wchar_t buffer[1024];
    int length = LoadStringW(module, id, buffer, 1024);
    return std::wstring(buffer, length > 0 ? length : 0);
}

StringBlock ReadStringBlock(HMODULE module, WORD block, LANGID language)
{
    StringBlock result;
    std::vector<uint8_t> bytes = ResourceBytes(module, reinterpret_cast<LPCWSTR>(RT_STRING), block, language);
    if (bytes.empty())
        return result;
    result.found = true;
    size_t words = bytes.size() / 2;
    const wchar_t* data = reinterpret_cast<const wchar_t*>(bytes.data());
    size_t at = 0;
    for (int i = 0; i < 16; ++i) {
        if (at >= words)
            return result;
        size_t length = static_cast<uint16_t>(data[at++]);
        if (at + length > words)
            return result;
        result.strings[i].assign(data + at, length);
        at += length;
    }
    result.wellFormed = true;
    return result;
}

std::set<LANGID> ResourceLanguages(HMODULE module, LPCWSTR type, LPCWSTR name)
{
    std::set<LANGID> languages;
    EnumResourceLanguagesW(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
    return languages;
}

std::vector<WORD> ResourceIds(HMODULE module, LPCWSTR type)
{
    std::vector<WORD> ids;
    EnumResourceNamesW(module, type, CollectName, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

std::set<WORD> ResourceTypes(HMODULE module)
{
    std::set<WORD> types;
    EnumResourceTypesW(module, CollectType, reinterpret_cast<LONG_PTR>(&types));
    return types;
}

std::vector<uint8_t> ResourceBytes(HMODULE module, LPCWSTR type, WORD id, LANGID language)
{
    HRSRC found = FindResourceExW(module, type, MAKEINTRESOURCEW(id), language);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!data)
        return {};
    return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

}  // namespace restest
