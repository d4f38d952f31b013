// Icons and banner bitmaps: groups, image formats and languages.
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <cstring>

namespace restest {
namespace {

constexpr LANGID kChineseTaiwan = 1028;
constexpr struct {
    WORD group, image;
    LANGID language;
} kIconGroups[] = {
    {IDI_FN_KEY, 2, kEnglish}, {IDI_FN_ON, 3, kEnglish}, {IDI_FN_OFF, 4, kEnglish}, {IDI_KEYHAVEN, 1, kChineseTaiwan},
};

// The header of a bitmap or icon image; zeros when the resource is shorter.
BITMAPINFOHEADER Header(const std::vector<uint8_t>& bytes)
{
    BITMAPINFOHEADER header{};
    if (bytes.size() >= sizeof header) std::memcpy(&header, bytes.data(), sizeof header);
    return header;
}

template <typename T>
LPCWSTR Type(T type) { return reinterpret_cast<LPCWSTR>(type); }

TEST(Icons, FourGroupsOfOne32x32SixteenColourImage)
{
    EXPECT_EQ(ResourceIds(Type(RT_GROUP_ICON)), (std::vector<WORD>{IDI_FN_KEY, IDI_FN_ON, IDI_FN_OFF, IDI_KEYHAVEN}));
    EXPECT_EQ(ResourceIds(Type(RT_ICON)), (std::vector<WORD>{1, 2, 3, 4}));
    for (const auto& icon : kIconGroups) {
        SCOPED_TRACE("icon group " + std::to_string(icon.group));
        EXPECT_EQ(ResourceLanguages(Type(RT_GROUP_ICON), icon.group), std::set<LANGID>{icon.language});
        EXPECT_EQ(ResourceLanguages(Type(RT_ICON), icon.image), std::set<LANGID>{icon.language});
        // GRPICONDIR: reserved, type 1, count 1; its entry: 32x32, 16 colours, 1 plane, 4 bits, 744 bytes, image id.
        EXPECT_EQ(ResourceBytes(Type(RT_GROUP_ICON), icon.group, icon.language),
                  (std::vector<uint8_t>{0, 0, 1, 0, 1, 0, 32, 32, 16, 0, 1, 0, 4, 0, 0xE8, 2, 0, 0, LOBYTE(icon.image), 0}));
        std::vector<uint8_t> image = ResourceBytes(Type(RT_ICON), icon.image, icon.language);
        ASSERT_EQ(image.size(), 744u);
        BITMAPINFOHEADER header = Header(image);
        EXPECT_EQ((std::vector<LONG>{LONG(header.biSize), header.biWidth, header.biHeight, header.biPlanes,
                                     header.biBitCount, LONG(header.biCompression)}),
                  (std::vector<LONG>{40, 32, 64, 1, 4, BI_RGB}));  // 64: colour bits and mask
    }
}

TEST(Banners, UncompressedBottomUpBitmapsOfTheirSizesAndDepths)
{
    EXPECT_EQ(ResourceIds(Type(RT_BITMAP)), (std::vector<WORD>{IDB_BANNER_LEFT, IDB_BANNER_RIGHT}));
    const struct {
        WORD id;
        LONG width, bits, pixelsPerMetre;
        size_t size;
    } kBanners[] = {
        {IDB_BANNER_LEFT, 384, 24, 2834, 40 + 384 * 3 * 28},
        {IDB_BANNER_RIGHT, 80, 8, -1, 40 + 256 * 4 + 80 * 28},
    };
    for (const auto& banner : kBanners) {
        SCOPED_TRACE("bitmap " + std::to_string(banner.id));
        std::vector<uint8_t> bytes = ResourceBytes(Type(RT_BITMAP), banner.id);
        BITMAPINFOHEADER h = Header(bytes);
        EXPECT_EQ(bytes.size(), banner.size);
        EXPECT_EQ((std::vector<LONG>{LONG(h.biSize), h.biWidth, h.biHeight, h.biPlanes, h.biBitCount, LONG(h.biCompression)}),
                  (std::vector<LONG>{40, banner.width, 28, 1, banner.bits, BI_RGB}));
        if (banner.pixelsPerMetre > 0)
            EXPECT_EQ((std::vector<LONG>{h.biXPelsPerMeter, h.biYPelsPerMeter}), std::vector<LONG>(2, banner.pixelsPerMetre));
        if (banner.bits == 8) EXPECT_TRUE(h.biClrUsed == 0 || h.biClrUsed == 256) << h.biClrUsed;
    }
}

}  // namespace
}  // namespace restest
