// Icons and banner bitmaps: groups, image formats, languages and the gist of
// each picture.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace restest {
namespace {

constexpr LANGID kChineseTaiwan = 1028;

#pragma pack(push, 2)
struct GroupIconHeader {
    WORD reserved;
    WORD type;
    WORD count;
};
struct GroupIconEntry {
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

struct IconGroup {
    WORD group;
    WORD image;
    LANGID language;
};
constexpr IconGroup kIconGroups[] = {
    {IDI_FN_KEY, 2, kEnglish},
    {IDI_FN_ON, 3, kEnglish},
    {IDI_FN_OFF, 4, kEnglish},
    {IDI_KEYHAVEN, 1, kChineseTaiwan},
};

HMODULE Module() { return Image().Module(); }

BITMAPINFOHEADER HeaderOf(const std::vector<uint8_t>& bytes)
{
    BITMAPINFOHEADER header{};
    if (bytes.size() >= sizeof(header))
        std::memcpy(&header, bytes.data(), sizeof(header));
    return header;
}

// Palette indices of a 32 x 32, 4-bit icon image, top row first; -1 where the mask is set.
std::vector<std::vector<int>> IconPixels(const std::vector<uint8_t>& image)
{
    const size_t xorOffset = 40 + 16 * 4, andOffset = xorOffset + 32 * 16;
    std::vector<std::vector<int>> rows(32, std::vector<int>(32, -1));
    for (int row = 0; row < 32; ++row) {
        int stored = 31 - row;  // bottom-up
        for (int x = 0; x < 32; ++x) {
            bool transparent = (image[andOffset + stored * 4 + x / 8] >> (7 - x % 8)) & 1;
            uint8_t pair = image[xorOffset + stored * 16 + x / 2];
            if (!transparent)
                rows[row][x] = x % 2 ? pair & 15 : pair >> 4;
        }
    }
    return rows;
}

int Luminance(const RGBQUAD& c) { return (c.rgbRed * 30 + c.rgbGreen * 59 + c.rgbBlue * 11) / 100; }

RGBQUAD PaletteEntry(const std::vector<uint8_t>& image, int index)
{
    RGBQUAD colour;
    std::memcpy(&colour, image.data() + 40 + index * 4, sizeof colour);
    return colour;
}

// Mean brightness of the two rows inside the key's top outline and of the two
// rows inside its bottom outline, over the middle columns.
void EdgeBrightness(const std::vector<uint8_t>& image, double& top, double& bottom)
{
    std::vector<std::vector<int>> pixels = IconPixels(image);
    int first = -1, last = -1;
    for (int row = 0; row < 32; ++row)
        if (pixels[row][16] >= 0) {
            if (first < 0)
                first = row;
            last = row;
        }
    ASSERT_GE(first, 0);
    auto rowMean = [&](int row) {
        double sum = 0;
        for (int x = 10; x < 22; ++x)
            sum += Luminance(PaletteEntry(image, pixels[row][x] < 0 ? 0 : pixels[row][x]));
        return sum / 12;
    };
    top = (rowMean(first + 1) + rowMean(first + 2)) / 2;
    bottom = (rowMean(last - 1) + rowMean(last - 2)) / 2;
}

int CountColour(const std::vector<uint8_t>& image, std::initializer_list<int> indices)
{
    int count = 0;
    for (const auto& row : IconPixels(image))
        for (int p : row)
            for (int wanted : indices)
                count += p == wanted;
    return count;
}

std::vector<uint8_t> IconImage(WORD image, LANGID language)
{
    return ResourceBytes(Module(), reinterpret_cast<LPCWSTR>(RT_ICON), image, language);
}

TEST(Icons, FourGroupsOfOne32x32SixteenColourImage)
{
    EXPECT_EQ(ResourceIds(Module(), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON)),
              (std::vector<WORD>{IDI_FN_KEY, IDI_FN_ON, IDI_FN_OFF, IDI_KEYHAVEN}));
    EXPECT_EQ(ResourceIds(Module(), reinterpret_cast<LPCWSTR>(RT_ICON)), (std::vector<WORD>{1, 2, 3, 4}));
    for (const IconGroup& icon : kIconGroups) {
        SCOPED_TRACE("icon group " + std::to_string(icon.group));
        EXPECT_EQ(ResourceLanguages(Module(), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON), MAKEINTRESOURCEW(icon.group)),
                  std::set<LANGID>{icon.language});
        EXPECT_EQ(ResourceLanguages(Module(), reinterpret_cast<LPCWSTR>(RT_ICON), MAKEINTRESOURCEW(icon.image)),
                  std::set<LANGID>{icon.language});

        std::vector<uint8_t> group = ResourceBytes(Module(), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON), icon.group, icon.language);
        ASSERT_EQ(group.size(), sizeof(GroupIconHeader) + sizeof(GroupIconEntry));
        GroupIconHeader header;
        GroupIconEntry entry;
        std::memcpy(&header, group.data(), sizeof header);
        std::memcpy(&entry, group.data() + sizeof header, sizeof entry);
        EXPECT_EQ(header.type, 1);
        EXPECT_EQ(header.count, 1);
        EXPECT_EQ(entry.width, 32);
        EXPECT_EQ(entry.height, 32);
        EXPECT_EQ(entry.colorCount, 16);
        EXPECT_EQ(entry.planes, 1);
        EXPECT_EQ(entry.bitCount, 4);
        EXPECT_EQ(entry.bytesInRes, 744u);
        EXPECT_EQ(entry.id, icon.image);

        std::vector<uint8_t> image = IconImage(icon.image, icon.language);
        ASSERT_EQ(image.size(), 744u);
        BITMAPINFOHEADER bitmap = HeaderOf(image);
        EXPECT_EQ(bitmap.biSize, 40u);
        EXPECT_EQ(bitmap.biWidth, 32);
        EXPECT_EQ(bitmap.biHeight, 64);  // colour bits and mask
        EXPECT_EQ(bitmap.biPlanes, 1);
        EXPECT_EQ(bitmap.biBitCount, 4);
        EXPECT_EQ(bitmap.biCompression, DWORD(BI_RGB));
    }
}

TEST(Icons, LoadThroughTheLoaderUnderAnyThreadLanguage)
{
    // Group 137 exists in traditional Chinese only; the loader must still find
    // it for an English or a Japanese thread, as the settings dialog needs it.
    for (LANGID language : {kEnglish, LANGID(1041)}) {
        ThreadLanguage chosen(language);
        for (const IconGroup& icon : kIconGroups) {
            HICON handle = static_cast<HICON>(LoadImageW(Module(), MAKEINTRESOURCEW(icon.group), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
            ASSERT_NE(handle, nullptr) << "icon group " << icon.group << ", language " << language;
            ICONINFO info{};
            ASSERT_TRUE(GetIconInfo(handle, &info));
            BITMAP mask{};
            GetObjectW(info.hbmMask, sizeof mask, &mask);
            EXPECT_EQ(mask.bmWidth, 32);
            DeleteObject(info.hbmMask);
            if (info.hbmColor)
                DeleteObject(info.hbmColor);
            DestroyIcon(handle);
        }
    }
}

TEST(Icons, LatchedKeyIsSunkenAndReleasedKeyIsRaised)
{
    double top = 0, bottom = 0;
    EdgeBrightness(IconImage(3, kEnglish), top, bottom);  // IDI_FN_ON
    EXPECT_LT(top + 60, bottom) << "latched key: upper edge " << top << ", lower edge " << bottom;
    EdgeBrightness(IconImage(4, kEnglish), top, bottom);  // IDI_FN_OFF
    EXPECT_GT(top, bottom + 60) << "released key: upper edge " << top << ", lower edge " << bottom;
}

TEST(Icons, OnlyTheArrowIconsCarryBlue)
{
    const std::initializer_list<int> blues = {4, 12};  // dark blue, blue
    EXPECT_GT(CountColour(IconImage(2, kEnglish), blues), 10);       // arrow outline of IDI_FN_KEY
    EXPECT_GT(CountColour(IconImage(1, kChineseTaiwan), blues), 10); // arrow tail of IDI_KEYHAVEN
    EXPECT_EQ(CountColour(IconImage(3, kEnglish), blues), 0);
    EXPECT_EQ(CountColour(IconImage(4, kEnglish), blues), 0);
}

struct Pixel {
    int r, g, b;
};

// The colour at (x, y), top row 0, of an uncompressed bottom-up bitmap resource.
Pixel BitmapPixel(const std::vector<uint8_t>& bytes, int x, int y)
{
    BITMAPINFOHEADER h = HeaderOf(bytes);
    size_t colours = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : 1u << h.biBitCount) : 0;
    size_t stride = ((h.biWidth * h.biBitCount + 31) / 32) * 4;
    const uint8_t* bits = bytes.data() + h.biSize + colours * 4;
    const uint8_t* row = bits + (h.biHeight - 1 - y) * stride;
    if (h.biBitCount == 24)
        return {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
    const uint8_t* entry = bytes.data() + h.biSize + row[x] * 4;
    return {entry[2], entry[1], entry[0]};
}

Pixel ColumnMean(const std::vector<uint8_t>& bytes, int x)
{
    Pixel sum{0, 0, 0};
    for (int y = 0; y < 28; ++y) {
        Pixel p = BitmapPixel(bytes, x, y);
        sum.r += p.r, sum.g += p.g, sum.b += p.b;
    }
    return {sum.r / 28, sum.g / 28, sum.b / 28};
}

std::vector<uint8_t> Banner(WORD id)
{
    return ResourceBytes(Module(), reinterpret_cast<LPCWSTR>(RT_BITMAP), id, kEnglish);
}

TEST(Banners, FormatsSizesAndResolution)
{
    EXPECT_EQ(ResourceIds(Module(), reinterpret_cast<LPCWSTR>(RT_BITMAP)),
              (std::vector<WORD>{IDB_BANNER_LEFT, IDB_BANNER_RIGHT}));

    std::vector<uint8_t> left = Banner(IDB_BANNER_LEFT);
    BITMAPINFOHEADER h = HeaderOf(left);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 384);
    EXPECT_EQ(h.biHeight, 28);  // positive: bottom-up
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(h.biXPelsPerMeter, 2834);
    EXPECT_EQ(h.biYPelsPerMeter, 2834);
    EXPECT_EQ(left.size(), 40u + 384 * 3 * 28);

    std::vector<uint8_t> right = Banner(IDB_BANNER_RIGHT);
    h = HeaderOf(right);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 80);
    EXPECT_EQ(h.biHeight, 28);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 8);
    EXPECT_EQ(h.biCompression, DWORD(BI_RGB));
    EXPECT_TRUE(h.biClrUsed == 0 || h.biClrUsed == 256) << h.biClrUsed;
    EXPECT_EQ(right.size(), 40u + 256 * 4 + 80 * 28);
}

TEST(Banners, KeyboardFadesThroughDeepBlueIntoDarkGreyWhereTheWordmarkSits)
{
    std::vector<uint8_t> left = Banner(IDB_BANNER_LEFT);
    std::vector<uint8_t> right = Banner(IDB_BANNER_RIGHT);
    ASSERT_EQ(left.size(), 40u + 384 * 3 * 28);
    ASSERT_EQ(right.size(), 40u + 256 * 4 + 80 * 28);

    // Keys and the gaps between them: strong light and dark along the top row of keys.
    int lightest = 0, darkest = 255;
    for (int x = 0; x < 80; ++x) {
        Pixel p = BitmapPixel(left, x, 4);
        lightest = std::max(lightest, p.g);
        darkest = std::min(darkest, p.g);
    }
    EXPECT_GT(lightest - darkest, 100);

    Pixel blue = ColumnMean(left, 200);
    EXPECT_GT(blue.b, blue.r + 40);
    EXPECT_GT(blue.b, blue.g + 30);

    Pixel end = ColumnMean(left, 383);
    EXPECT_LT(std::abs(end.r - end.b), 12);
    EXPECT_LT(end.g, 110);

    // The wordmark's background continues the left banner's end, and its letters are light.
    Pixel corner = BitmapPixel(right, 0, 0);
    EXPECT_LT(std::abs(corner.r - end.r) + std::abs(corner.g - end.g) + std::abs(corner.b - end.b), 30);
    int lightPixels = 0;
    for (int y = 0; y < 28; ++y)
        for (int x = 0; x < 80; ++x)
            lightPixels += BitmapPixel(right, x, y).g > 200;
    EXPECT_GT(lightPixels, 100);
}

}  // namespace
}  // namespace restest
