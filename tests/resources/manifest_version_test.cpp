// The side-by-side manifest and the version block.
#include "resource_image.h"

#include <gtest/gtest.h>

#include <map>

namespace restest {
namespace {

// name="value" pairs of the first start tag of element `name` at or after `from`.
std::map<std::string, std::string> Attributes(const std::string& xml, const std::string& name, size_t from = 0)
{
    std::map<std::string, std::string> attributes;
    size_t at = xml.find("<" + name, from);
    size_t end = at == std::string::npos ? at : xml.find('>', at);
    for (size_t eq = xml.find('=', at); at != std::string::npos && eq < end; eq = xml.find('=', eq + 1)) {
        size_t nameStart = xml.find_last_of(" \t\r\n", eq) + 1;
        char quote = xml[eq + 1];
        size_t close = xml.find(quote, eq + 2);
        attributes[xml.substr(nameStart, eq - nameStart)] = xml.substr(eq + 2, close - eq - 2);
    }
    return attributes;
}

TEST(Manifest, RequestsVersion6OfTheCommonControlsAndLoads)
{
    EXPECT_EQ(ResourceIds(RT_MANIFEST), std::vector<WORD>{1});
    EXPECT_EQ(ResourceLanguages(RT_MANIFEST, 1), std::set<LANGID>{kEnglish});
    std::vector<uint8_t> bytes = ResourceBytes(RT_MANIFEST, 1);
    std::string xml(bytes.begin(), bytes.end());
    EXPECT_EQ(Attributes(xml, "?xml")["encoding"], "UTF-8");  // Wine's loader takes others, Windows' may not
    EXPECT_EQ(Attributes(xml, "assemblyIdentity"), (std::map<std::string, std::string>{
        {"version", "1.0.0.0"}, {"processorArchitecture", "X86"}, {"name", "ORVENTA.Gearwick.Gearwick.cpl"}, {"type", "win32"}}));
    size_t description = xml.find("<description>");
    EXPECT_GT(xml.find("</description>"), description + 13) << "no description";
    size_t dependency = xml.find("<dependentAssembly");
    ASSERT_NE(dependency, std::string::npos);
    EXPECT_EQ(xml.find("<dependentAssembly", dependency + 1), std::string::npos) << "one dependency only";
    EXPECT_EQ(Attributes(xml, "assemblyIdentity", dependency), (std::map<std::string, std::string>{
        {"name", "Microsoft.Windows.Common-Controls"}, {"version", "6.0.0.0"}, {"processorArchitecture", "X86"},
        {"publicKeyToken", "6595b64144ccf1df"}, {"language", "*"}, {"type", "win32"}}));

    ACTCTXW context = { sizeof context };
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = ImagePath().c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "the activation-context loader refuses it: error " << GetLastError();
    ReleaseActCtx(handle);
}

TEST(VersionBlock, FixedPartAndEnglishStrings)
{
    EXPECT_EQ(ResourceLanguages(RT_VERSION, 1), std::set<LANGID>{kEnglish});
    std::vector<uint8_t> data(GetFileVersionInfoSizeW(ImagePath().c_str(), nullptr));
    ASSERT_FALSE(data.empty());
    ASSERT_TRUE(GetFileVersionInfoW(ImagePath().c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ((std::vector<DWORD>{fixed->dwSignature, fixed->dwFileVersionMS, fixed->dwFileVersionLS,
                                  fixed->dwProductVersionMS, fixed->dwProductVersionLS, fixed->dwFileFlagsMask,
                                  fixed->dwFileFlags, fixed->dwFileOS, fixed->dwFileType, fixed->dwFileSubtype,
                                  fixed->dwFileDateMS, fixed->dwFileDateLS}),
              (std::vector<DWORD>{0xFEEF04BD, MAKELONG(28, 1), MAKELONG(15, 1), MAKELONG(28, 1), MAKELONG(15, 1), 0x3F, 0,
                                  VOS__WINDOWS32, VFT_APP, 0, 0, 0}));
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    EXPECT_EQ((std::vector<WORD>(translation, translation + length / 2)), (std::vector<WORD>{0x0409, 0x04B0}));

    const std::map<std::wstring, std::string> expected = {
        {L"Comments", ""}, {L"CompanyName", ""}, {L"FileDescription", "Keyhaven MFC Application"},
        {L"FileVersion", "1, 28, 1, 15"}, {L"InternalName", "Keyhaven"}, {L"LegalTrademarks", ""},
        {L"OriginalFilename", "Keyhaven.EXE"}, {L"PrivateBuild", ""}, {L"ProductName", "Keyhaven Application"},
        {L"ProductVersion", "1, 28, 1, 15"}, {L"SpecialBuild", ""}, {L"LegalCopyright", "ORVENTA"},
    };
    for (const auto& entry : expected) {
        wchar_t* text = nullptr;
        std::wstring path = L"\\StringFileInfo\\040904b0\\" + entry.first;
        ASSERT_TRUE(VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length)) << Utf8(entry.first);
        std::string value = Utf8(std::wstring(text, wcsnlen(text, length)));
        if (entry.first == L"LegalCopyright")
            EXPECT_NE(value.find(entry.second), std::string::npos) << value;
        else
            EXPECT_EQ(value, entry.second) << Utf8(entry.first);
    }
}

}  // namespace
}  // namespace restest
