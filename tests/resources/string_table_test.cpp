// The string table of the executable: its blocks per language and the
// English texts.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

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

TEST(StringTable, EachLanguageHasItsBlocksHoldingExactlyItsIds)
{
    EXPECT_EQ(ResourceIds(reinterpret_cast<LPCWSTR>(RT_STRING)), (std::vector<WORD>{kFirstBlock, kSecondBlock}));
    std::set<LANGID> all, full;
    for (const TableLanguage& language : kTableLanguages) {
        all.insert(language.id);
        if (!language.placeholderName) full.insert(language.id);
        for (WORD block : {kFirstBlock, kSecondBlock}) {
            std::vector<std::wstring> strings = StringBlock(block, language.id);
            bool expected = block == kFirstBlock || !language.placeholderName;
            ASSERT_EQ(strings.size(), expected ? 16u : 0u) << Label(language.id, block * 16 - 16);
            for (UINT slot = 0; slot < strings.size(); ++slot) {
                UINT id = (block - 1u) * 16u + slot;
                bool used = language.placeholderName ? id == IDS_ABOUTBOX : id >= kFirstId && id <= kLastId;
                EXPECT_EQ(!strings[slot].empty(), used) << Label(language.id, id);
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
    EXPECT_EQ(all.size(), 26u);
    EXPECT_EQ(full.size(), 20u);
    EXPECT_EQ(ResourceLanguages(reinterpret_cast<LPCWSTR>(RT_STRING), kFirstBlock), all);
    EXPECT_EQ(ResourceLanguages(reinterpret_cast<LPCWSTR>(RT_STRING), kSecondBlock), full);
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

}  // namespace
}  // namespace restest
