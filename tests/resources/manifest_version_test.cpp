// The side-by-side manifest, the version block and the inventory of
// resource types.
#include "languages.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <string>

namespace restest {
namespace {

HMODULE Module() { return Image().Module(); }

std::string ManifestText()
{
    std::vector<uint8_t> bytes = ResourceBytes(Module(), RT_MANIFEST, 1, kEnglish);
    return std::string(bytes.begin(), bytes.end());
}

// The text of one element's start tag, from "<name" to its ">"; empty when missing.
std::string StartTag(const std::string& xml, const std::string& name, size_t from = 0)
{
    size_t at = xml.find("<" + name, from);
    if (at == std::string::npos)
        return std::string();
    size_t end = xml.find('>', at);
    return xml.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
}

std::string Attribute(const std::string& tag, const std::string& name)
{
    for (char quote : {'"', '\''}) {
        std::string key = " " + name + "=" + quote;
        size_t at = tag.find(key);
        if (at == std::string::npos) {
            key = "\n" + name + "=" + quote;  // attributes may start a line
            at = tag.find(key);
        }
        if (at == std::string::npos)
            continue;
        at += key.size();
        return tag.substr(at, tag.find(quote, at) - at);
    }
    return "<missing>";
}

TEST(Manifest, RequestsVersion6OfTheCommonControls)
{
    EXPECT_EQ(ResourceIds(Module(), RT_MANIFEST), std::vector<WORD>{1});
    EXPECT_EQ(ResourceLanguages(Module(), RT_MANIFEST, MAKEINTRESOURCEW(1)), std::set<LANGID>{kEnglish});

    std::string xml = ManifestText();
    ASSERT_FALSE(xml.empty());
    EXPECT_EQ(xml.compare(0, 5, "<?xml"), 0);
    EXPECT_EQ(Attribute(StartTag(xml, "?xml"), "encoding"), "UTF-8");
    EXPECT_EQ(Attribute(StartTag(xml, "assembly "), "manifestVersion"), "1.0");

    std::string identity = StartTag(xml, "assemblyIdentity");
    EXPECT_EQ(Attribute(identity, "version"), "1.0.0.0");
    EXPECT_EQ(Attribute(identity, "processorArchitecture"), "X86");
    EXPECT_EQ(Attribute(identity, "name"), "ORVENTA.Gearwick.Gearwick.cpl");
    EXPECT_EQ(Attribute(identity, "type"), "win32");

    size_t description = xml.find("<description>");
    ASSERT_NE(description, std::string::npos);
    EXPECT_GT(xml.find("</description>"), description + 13) << "the description is empty";

    size_t dependency = xml.find("<dependentAssembly");
    ASSERT_NE(dependency, std::string::npos);
    EXPECT_EQ(xml.find("<dependentAssembly", dependency + 1), std::string::npos) << "one dependency only";
    std::string controls = StartTag(xml, "assemblyIdentity", dependency);
    EXPECT_EQ(Attribute(controls, "name"), "Microsoft.Windows.Common-Controls");
    EXPECT_EQ(Attribute(controls, "version"), "6.0.0.0");
    EXPECT_EQ(Attribute(controls, "processorArchitecture"), "X86");
    EXPECT_EQ(Attribute(controls, "publicKeyToken"), "6595b64144ccf1df");
    EXPECT_EQ(Attribute(controls, "language"), "*");
    EXPECT_EQ(Attribute(controls, "type"), "win32");
}

TEST(Manifest, IsAcceptedByTheActivationContextLoader)
{
    ACTCTXW context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = Image().Path().c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    HANDLE handle = CreateActCtxW(&context);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ReleaseActCtx(handle);
}

class VersionBlock : public ::testing::Test {
protected:
    void SetUp() override
    {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeW(Image().Path().c_str(), &ignored);
        ASSERT_GT(size, 0u);
        data_.resize(size);
        ASSERT_TRUE(GetFileVersionInfoW(Image().Path().c_str(), 0, size, data_.data()));
    }

    // The value of one key of the string table 040904b0; "<missing>" when absent.
    std::string Value(const wchar_t* key)
    {
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + key;
        wchar_t* text = nullptr;
        UINT length = 0;
        if (!VerQueryValueW(data_.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
            return "<missing>";
        return Utf8(std::wstring(text, wcsnlen(text, length)));
    }

    std::vector<uint8_t> data_;
};

TEST_F(VersionBlock, FixedPart)
{
    EXPECT_EQ(ResourceLanguages(Module(), RT_VERSION, MAKEINTRESOURCEW(1)), std::set<LANGID>{kEnglish});
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(28, 1));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(15, 1));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(28, 1));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(15, 1));
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, DWORD(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST_F(VersionBlock, EnglishStringTableAndTranslation)
{
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data_.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    EXPECT_EQ(Value(L"Comments"), "");
    EXPECT_EQ(Value(L"CompanyName"), "");
    EXPECT_EQ(Value(L"FileDescription"), "Keyhaven MFC Application");
    EXPECT_EQ(Value(L"FileVersion"), "1, 28, 1, 15");
    EXPECT_EQ(Value(L"InternalName"), "Keyhaven");
    EXPECT_EQ(Value(L"LegalTrademarks"), "");
    EXPECT_EQ(Value(L"OriginalFilename"), "Keyhaven.EXE");
    EXPECT_EQ(Value(L"PrivateBuild"), "");
    EXPECT_EQ(Value(L"ProductName"), "Keyhaven Application");
    EXPECT_EQ(Value(L"ProductVersion"), "1, 28, 1, 15");
    EXPECT_EQ(Value(L"SpecialBuild"), "");
    EXPECT_NE(Value(L"LegalCopyright").find("ORVENTA"), std::string::npos);
}

TEST(Inventory, NoMenusAcceleratorsOrCursors)
{
    std::set<WORD> types = ResourceTypes(Module());
    auto id = [](LPCWSTR type) { return LOWORD(reinterpret_cast<ULONG_PTR>(type)); };
    EXPECT_EQ(types, (std::set<WORD>{id(RT_ICON), id(RT_BITMAP), id(RT_DIALOG), id(RT_STRING), id(RT_GROUP_ICON),
                                     id(RT_VERSION), id(RT_MANIFEST)}));
}

}  // namespace
}  // namespace restest
