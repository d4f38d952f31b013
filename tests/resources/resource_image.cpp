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

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR type, LPCWSTR name, WORD language, LONG_PTR param)
{
    return (*reinterpret_cast<ResourceDirectory*>(param))[{LOWORD(type), LOWORD(name)}].insert(language), TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param)
{
    return EnumResourceLanguagesW(module, type, name, CollectLanguage, param), TRUE;
}

BOOL CALLBACK CollectType(HMODULE module, LPWSTR type, LONG_PTR param)
{
    return EnumResourceNamesW(module, type, CollectName, param), TRUE;
}

}  // namespace

HMODULE Module() { return g_module; }
const std::wstring& ImagePath() { return g_path; }

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

std::vector<std::wstring> StringBlock(WORD block, LANGID language)
{
    std::vector<uint8_t> bytes = ResourceBytes(reinterpret_cast<LPCWSTR>(RT_STRING), block, language);
    const wchar_t* at = reinterpret_cast<const wchar_t*>(bytes.data());
    const wchar_t* const end = at + bytes.size() / 2;
    std::vector<std::wstring> strings;
    while (at < end && strings.size() < 16) {
        size_t length = *at++;
        if (length > size_t(end - at)) return {};
        strings.emplace_back(at, length);
        at += length;
    }
    if (strings.size() != 16) strings.clear();
    return strings;
}

ResourceDirectory Directory()
{
    ResourceDirectory directory;
    EnumResourceTypesW(g_module, CollectType, reinterpret_cast<LONG_PTR>(&directory));
    return directory;
}

std::vector<uint8_t> ResourceBytes(LPCWSTR type, WORD id, LANGID language)
{
    HRSRC found = FindResourceExW(g_module, type, MAKEINTRESOURCEW(id), language);
    HGLOBAL loaded = found ? LoadResource(g_module, found) : nullptr;
    const uint8_t* data = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    return data ? std::vector<uint8_t>(data, data + SizeofResource(g_module, found)) : std::vector<uint8_t>();
}

}  // namespace restest
