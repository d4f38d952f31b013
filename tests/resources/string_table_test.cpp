// The string table of the executable: its blocks per language, the English
// texts, and what LoadString returns under each thread language.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace restest {
namespace {

constexpr WORD kFirstBlock = (IDS_ABOUTBOX >> 4) + 1;      // ids 96-111
constexpr WORD kSecondBlock = (IDS_SOUND_RESET >> 4) + 1;  // ids 112-127
constexpr UINT kFirstId = IDS_ABOUTBOX, kLastId = IDS_ABOUT_CAPTION;

std::string Label(LANGID language, UINT id)
{
    return "language " + std::to_string(language) + ", string " + std::to_string(id);
}

std::map<UINT, std::string> LoadAll()
{
    std::map<UINT, std::string> texts;
    for (UINT id = kFirstId; id <= kLastId; ++id) texts[id] = Utf8(LoadText(id));
    return texts;
}

TEST(StringTable, EveryLanguageHasBothBlocksHoldingExactlyTheIds)
{
    EXPECT_EQ(ResourceIds(reinterpret_cast<LPCWSTR>(RT_STRING)), (std::vector<WORD>{kFirstBlock, kSecondBlock}));
    const std::set<LANGID> all(std::begin(kTableLanguages), std::end(kTableLanguages));
    EXPECT_EQ(all.size(), 26u);
    for (WORD block : {kFirstBlock, kSecondBlock}) {
        EXPECT_EQ(ResourceLanguages(reinterpret_cast<LPCWSTR>(RT_STRING), block), all);
        for (LANGID language : kTableLanguages) {
            std::vector<std::wstring> strings = StringBlock(block, language);
            ASSERT_EQ(strings.size(), 16u) << Label(language, block * 16u - 16u);
            for (UINT slot = 0; slot < 16; ++slot) {
                UINT id = (block - 1u) * 16u + slot;
                EXPECT_EQ(!strings[slot].empty(), id >= kFirstId && id <= kLastId) << Label(language, id);
            }
        }
    }
}

TEST(StringTable, EnglishTextsAreExact)
{
    ThreadLanguage english(kEnglish);
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
        {IDS_COPYRIGHT, LoadAll()[IDS_COPYRIGHT]},  // wording of its own, checked below
        {IDS_OK, "&OK"},
        {IDS_CANCEL, "&Cancel"},
        {IDS_APPLY, "Apply(&A)"},
        {IDS_APP_TITLE, "ORVENTA Accessibility"},
        {IDS_VERSION_PREFIX, "ORVENTA Accessibility Version"},
        {IDS_ABOUT_CAPTION, "About"},
    };
    EXPECT_EQ(LoadAll(), expected);
    EXPECT_NE(LoadAll()[IDS_COPYRIGHT].find("ORVENTA"), std::string::npos);
}

TEST(StringTable, EveryLanguageLoadsEveryTextFromItsOwnTable)
{
    std::map<UINT, std::string> english;
    {
        ThreadLanguage chosen(kEnglish);
        english = LoadAll();
    }
    for (LANGID language : kTableLanguages) {
        std::vector<std::wstring> first = StringBlock(kFirstBlock, language);
        std::vector<std::wstring> second = StringBlock(kSecondBlock, language);
        ASSERT_EQ(first.size() + second.size(), 32u) << Label(language, 0);
        ThreadLanguage chosen(language);
        std::map<UINT, std::string> loaded = LoadAll();
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            EXPECT_NE(loaded[id], "") << Label(language, id);
            EXPECT_EQ(loaded[id], Utf8((id < 112 ? first : second)[id & 15])) << Label(language, id);
        }
        if (std::count(std::begin(kEnglishOnly), std::end(kEnglishOnly), language)) EXPECT_EQ(loaded, english);
        // The description breaks once, between two lines.
        std::wstring description = first[IDS_DESCRIPTION & 15];
        size_t lineFeed = description.find(L'\n');
        EXPECT_TRUE(lineFeed > 0 && lineFeed + 1 < description.size()) << Label(language, IDS_DESCRIPTION);
        EXPECT_EQ(description.find_first_of(L"\r\n", lineFeed + 1), std::wstring::npos) << Label(language, IDS_DESCRIPTION);
    }
    // Spanish (traditional sort), Thai, Hebrew, Chinese (Taiwan): no table of their own.
    for (LANGID language : {LANGID(1034), LANGID(1054), LANGID(1037), LANGID(1028)}) {
        ThreadLanguage chosen(language);
        EXPECT_EQ(LoadAll(), english) << "language " << language;
    }
}

}  // namespace
}  // namespace restest
