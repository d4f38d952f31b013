// The executable's resource directory, and the resources that are data: the
// string table per language with the English texts, the icons and banner
// bitmaps, the side-by-side manifest and the version block.
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace restest {
namespace {

constexpr WORD kFirstBlock = (IDS_ABOUTBOX >> 4) + 1;      // ids 96-111
constexpr WORD kSecondBlock = (IDS_SOUND_RESET >> 4) + 1;  // ids 112-127
constexpr UINT kFirstId = IDS_ABOUTBOX, kLastId = IDS_ABOUT_CAPTION;
constexpr LANGID kChineseTaiwan = 1028;
constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kBlue = RGB(0, 0, 255);
// Each icon's colours at (16, 2) and (16, 5), where every two of them differ: the white arrow onto the Fn
// key, the latched key's sunken bevel and the released key's raised one, the blue tail of the program's arrow.
constexpr struct {
    WORD group, image;
    LANGID language;
    COLORREF at16x2, at16x5;
} kIconGroups[] = {
    {IDI_FN_KEY, 2, kEnglish, kWhite, kWhite},
    {IDI_FN_ON, 3, kEnglish, kBlack, RGB(128, 128, 128)},
    {IDI_FN_OFF, 4, kEnglish, kBlack, kWhite},
    {IDI_KEYHAVEN, 1, kChineseTaiwan, kBlue, kBlack},
};

TEST(ResourceDirectory, EveryResourceInItsLanguagesAndNoOther)
{
    std::set<LANGID> all, full;
    for (const TableLanguage& language : kTableLanguages) {
        all.insert(language.id);
        if (!language.placeholderName) full.insert(language.id);
    }
    EXPECT_EQ(all.size(), 26u);
    EXPECT_EQ(full.size(), 20u);
    const std::set<LANGID> english{kEnglish};
    ResourceDirectory expected = {
        {{LOWORD(RT_DIALOG), IDD_ABOUTBOX}, english}, {{LOWORD(RT_DIALOG), IDD_KEYHAVEN_DIALOG}, english},
        {{LOWORD(RT_STRING), kFirstBlock}, all}, {{LOWORD(RT_STRING), kSecondBlock}, full},
        {{LOWORD(RT_BITMAP), IDB_BANNER_LEFT}, english}, {{LOWORD(RT_BITMAP), IDB_BANNER_RIGHT}, english},
        {{LOWORD(RT_MANIFEST), 1}, english}, {{LOWORD(RT_VERSION), 1}, english},
    };
    for (const auto& icon : kIconGroups) {
        expected[{LOWORD(RT_GROUP_ICON), icon.group}] = {icon.language};
        expected[{LOWORD(RT_ICON), icon.image}] = {icon.language};
    }
    EXPECT_EQ(Directory(), expected);
}

std::string Label(LANGID language, UINT id)
{
    return "language " + std::to_string(language) + ", string " + std::to_string(id);
}

TEST(StringTable, EachLanguagesBlocksHoldExactlyItsIdsAndTheEnglishTextsAreExact)
{
    std::map<UINT, std::string> english;
    for (const TableLanguage& language : kTableLanguages) {
        for (WORD block : {kFirstBlock, kSecondBlock}) {
            std::vector<std::wstring> strings = StringBlock(block, language.id);
            bool expected = block == kFirstBlock || !language.placeholderName;
            ASSERT_EQ(strings.size(), expected ? 16u : 0u) << Label(language.id, block * 16 - 16);
            for (UINT slot = 0; slot < strings.size(); ++slot) {
                UINT id = (block - 1u) * 16u + slot;
                bool used = language.placeholderName ? id == IDS_ABOUTBOX : id >= kFirstId && id <= kLastId;
                EXPECT_EQ(!strings[slot].empty(), used) << Label(language.id, id);
                if (language.id == kEnglish && used) english[id] = Utf8(strings[slot]);
            }
        }
        if (language.placeholderName) {  // the About item names the language
            EXPECT_EQ(Utf8(StringBlock(kFirstBlock, language.id)[IDS_ABOUTBOX & 15]), language.placeholderName);
            continue;
        }
        // The description breaks once, between two lines.
        std::wstring description = StringBlock(kFirstBlock, language.id)[IDS_DESCRIPTION & 15];
        size_t lineFeed = description.find(L'\n');
        EXPECT_TRUE(lineFeed > 0 && lineFeed + 1 < description.size()) << Label(language.id, IDS_DESCRIPTION);
        EXPECT_EQ(description.find_first_of(L"\r\n", lineFeed + 1), std::wstring::npos) << Label(language.id, IDS_DESCRIPTION);
    }
    const std::map<UINT, std::string> expected = {
        {IDS_ABOUTBOX, "About ORVENTA Accessibility"},
        {IDS_GROUP_SETTING, "Setting for Fn-StickyKey"},
        {IDS_DESCRIPTION, "Use Fn-StickyKey if you want to create Fn key \ncombinations by pressing one key at a time."},
        {IDS_GROUP_OPTIONS, "Options"},
        {IDS_GROUP_RESET, "Automatic reset"},
        {IDS_LOCK_TWICE, "Press the Fn key twice to lock(&P)"},
        {IDS_USE_FNSTICKY, "Use Fn-StickyKey(&U)"},
        {IDS_SOUND_PRESS, "Make a sound when Fn key is pressed(&M)"},
        {IDS_SHOW_STATUS, "Show Fn-StickyKey status on screen(&S)"},
        {IDS_UNSTICK_IDLE, "Un-stick the Fn key if the keyboard is idle for:(&I)"},
        {IDS_MINUTES, "minutes"},
        {IDS_SOUND_RESET, "Make a sound when Fn-StickyKey auto-resets(&R)"},
        {IDS_COPYRIGHT, english[IDS_COPYRIGHT]},  // wording of its own, checked below
        {IDS_OK, "&OK"},
        {IDS_CANCEL, "&Cancel"},
        {IDS_APPLY, "Apply(&A)"},
        {IDS_APP_TITLE, "ORVENTA Accessibility"},
        {IDS_VERSION_PREFIX, "ORVENTA Accessibility Version"},
        {IDS_ABOUT_CAPTION, "About"},
    };
    EXPECT_EQ(english, expected);
    EXPECT_NE(english[IDS_COPYRIGHT].find("ORVENTA"), std::string::npos);
}

// The header of a bitmap or icon image; zeros when the resource is shorter.
BITMAPINFOHEADER Header(const std::vector<uint8_t>& bytes)
{
    BITMAPINFOHEADER header{};
    if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
    return header;
}

// A pixel (from the top left) of a 32x32 sixteen-colour icon image; CLR_INVALID when the image is shorter.
COLORREF IconPixel(const std::vector<uint8_t>& image, int x, int y)
{
    const size_t palette = sizeof(BITMAPINFOHEADER), pixels = palette + 16 * 4;
    if (image.size() < pixels + 32 * 16) return CLR_INVALID;
    const uint8_t pair = image[pixels + (31 - y) * 16 + x / 2];
    const uint8_t* quad = &image[palette + 4 * (x % 2 ? pair & 0x0F : pair >> 4)];
    return RGB(quad[2], quad[1], quad[0]);
}

TEST(Images, IconGroupsOfOne32x32SixteenColourImageOfItsOwnAndUncompressedBottomUpBanners)
{
    for (const auto& icon : kIconGroups) {
        const std::vector<uint8_t> image = ResourceBytes(RT_ICON, icon.image, icon.language);
        EXPECT_EQ((std::vector<COLORREF>{icon.at16x2, icon.at16x5}),
                  (std::vector<COLORREF>{IconPixel(image, 16, 2), IconPixel(image, 16, 5)}))
            << "what icon " << icon.group << " shows";
        // GRPICONDIR: reserved, type 1, count 1; its entry: 32x32, 16 colours, 1 plane, 4 bits, 744 bytes, image id.
        EXPECT_EQ(ResourceBytes(RT_GROUP_ICON, icon.group, icon.language),
                  (std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 1, 0, 4, 0, 0xE8, 2, 0, 0,
                                        LOBYTE(icon.image), 0}))
            << "icon group " << icon.group;
    }
    const struct {
        LPCWSTR type;
        WORD id;
        LANGID language;
        size_t size;
        LONG width, height, bits, pixelsPerMetre;  // height 64: an icon's colour bits and mask; -1: any resolution
    } kImages[] = {
        {RT_ICON, 1, kChineseTaiwan, 744, 32, 64, 4, -1},
        {RT_ICON, 2, kEnglish, 744, 32, 64, 4, -1},
        {RT_ICON, 3, kEnglish, 744, 32, 64, 4, -1},
        {RT_ICON, 4, kEnglish, 744, 32, 64, 4, -1},
        {RT_BITMAP, IDB_BANNER_LEFT, kEnglish, 40 + 384 * 3 * 28, 384, 28, 24, 2834},
        {RT_BITMAP, IDB_BANNER_RIGHT, kEnglish, 40 + 256 * 4 + 80 * 28, 80, 28, 8, -1},
    };
    for (const auto& image : kImages) {
        SCOPED_TRACE("type " + std::to_string(LOWORD(image.type)) + ", id " + std::to_string(image.id));
        std::vector<uint8_t> bytes = ResourceBytes(image.type, image.id, image.language);
        BITMAPINFOHEADER h = Header(bytes);
        EXPECT_EQ(bytes.size(), image.size);
        EXPECT_EQ((std::vector<LONG>{LONG(h.biSize), h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, LONG(h.biCompression)}),
                  (std::vector<LONG>{40, image.width, image.height, 1, image.bits, BI_RGB}));
        if (image.pixelsPerMetre > 0)
            EXPECT_EQ((std::vector<LONG>{h.biXPelsPerMeter, h.biYPelsPerMeter}),
                      std::vector<LONG>(2, image.pixelsPerMetre));
        if (image.bits == 8) EXPECT_TRUE(h.biClrUsed == 0 || h.biClrUsed == 256) << h.biClrUsed;
    }
}

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
