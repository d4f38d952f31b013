// The string table of the executable: its block layout per language, the
// English texts, and what LoadString returns under each thread language.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

#include <map>

namespace restest {
namespace {

constexpr WORD kFirstBlock = (IDS_ABOUTBOX >> 4) + 1;        // ids 96-111
constexpr WORD kSecondBlock = (IDS_SOUND_RESET >> 4) + 1;    // ids 112-127
constexpr UINT kFirstId = IDS_ABOUTBOX;
constexpr UINT kLastId = IDS_ABOUT_CAPTION;

// Check box and button labels of the settings dialog: each carries one access key.
constexpr UINT kSettingsLabels[] = {IDS_LOCK_TWICE, IDS_USE_FNSTICKY, IDS_SOUND_PRESS, IDS_SHOW_STATUS,
                                    IDS_UNSTICK_IDLE, IDS_SOUND_RESET, IDS_OK, IDS_CANCEL, IDS_APPLY};
// Texts shown where an ampersand would turn into an underline or show as
// itself: group boxes, plain statics, captions, the version line.
constexpr UINT kTextsWithoutAccessKey[] = {IDS_ABOUTBOX, IDS_GROUP_SETTING, IDS_DESCRIPTION, IDS_GROUP_OPTIONS,
                                           IDS_GROUP_RESET, IDS_MINUTES, IDS_COPYRIGHT, IDS_APP_TITLE,
                                           IDS_VERSION_PREFIX, IDS_ABOUT_CAPTION};
// Sentences that no translation can leave in English.
constexpr UINT kSentences[] = {IDS_GROUP_SETTING, IDS_DESCRIPTION, IDS_LOCK_TWICE, IDS_USE_FNSTICKY,
                               IDS_SOUND_PRESS, IDS_SHOW_STATUS, IDS_UNSTICK_IDLE, IDS_SOUND_RESET};

HMODULE Module() { return Image().Module(); }

std::map<UINT, std::wstring> EnglishTexts()
{
    std::map<UINT, std::wstring> texts;
    for (UINT id = kFirstId; id <= kLastId; ++id) {
        StringBlock block = ReadStringBlock(Module(), static_cast<WORD>((id >> 4) + 1), kEnglish);
        texts[id] = block.strings[id & 15];
    }
    return texts;
}

// Positions of the access-key ampersands in a label ("&&" is a literal ampersand).
std::vector<size_t> AccessKeyPositions(const std::wstring& text)
{
    std::vector<size_t> positions;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (i + 1 < text.size() && text[i + 1] == L'&') {
            ++i;
            continue;
        }
        positions.push_back(i);
    }
    return positions;
}

wchar_t Upper(wchar_t c)
{
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

std::string Label(LANGID language, UINT id)
{
    return "language " + std::to_string(language) + ", string " + std::to_string(id);
}

TEST(StringTableLayout, TwoBlocksInTheirLanguagesAndNoOthers)
{
    std::vector<WORD> blocks = ResourceIds(Module(), reinterpret_cast<LPCWSTR>(RT_STRING));
    EXPECT_EQ(blocks, (std::vector<WORD>{kFirstBlock, kSecondBlock}));

    std::set<LANGID> all, full;
    for (const TableLanguage& language : kTableLanguages) {
        all.insert(language.id);
        if (language.full)
            full.insert(language.id);
    }
    EXPECT_EQ(all.size(), 26u);
    EXPECT_EQ(full.size(), 20u);
    EXPECT_EQ(ResourceLanguages(Module(), reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(kFirstBlock)), all);
    EXPECT_EQ(ResourceLanguages(Module(), reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(kSecondBlock)), full);
}

TEST(StringTableLayout, BlocksHoldOnlyTheirLanguagesTexts)
{
    for (const TableLanguage& language : kTableLanguages) {
        for (WORD block : {kFirstBlock, kSecondBlock}) {
            StringBlock strings = ReadStringBlock(Module(), block, language.id);
            if (!strings.found)
                continue;  // the layout test names the blocks that must exist
            ASSERT_TRUE(strings.wellFormed) << "block " << block << " of language " << language.id;
            for (int slot = 0; slot < 16; ++slot) {
                UINT id = (block - 1u) * 16u + slot;
                bool used = language.full ? (id >= kFirstId && id <= kLastId) : id == IDS_ABOUTBOX;
                EXPECT_EQ(!strings.strings[slot].empty(), used) << Label(language.id, id);
            }
        }
    }
}

TEST(StringTableTexts, EnglishTextsAreExact)
{
    const std::map<UINT, std::wstring> expected = {
        {IDS_ABOUTBOX, L"About ORVENTA Accessibility"},
        {IDS_GROUP_SETTING, L"Setting for Fn-StickyKey"},
        {IDS_DESCRIPTION, L"Use Fn-StickyKey if you want to create Fn key \ncombinations by pressing one key at a time."},
        {IDS_GROUP_OPTIONS, L"Options"},
        {IDS_GROUP_RESET, L"Automatic reset"},
        {IDS_LOCK_TWICE, L"Press the Fn key twice to lock(&P)"},
        {IDS_USE_FNSTICKY, L"Use Fn-StickyKey(&U)"},
        {IDS_SOUND_PRESS, L"Make a sound when Fn key is pressed(&M)"},
        {IDS_SHOW_STATUS, L"Show Fn-StickyKey status on screen(&S)"},
        {IDS_UNSTICK_IDLE, L"Un-stick the Fn key if the keyboard is idle for:(&I)"},
        {IDS_MINUTES, L"minutes"},
        {IDS_SOUND_RESET, L"Make a sound when Fn-StickyKey auto-resets(&R)"},
        {IDS_OK, L"&OK"},
        {IDS_CANCEL, L"&Cancel"},
        {IDS_APPLY, L"Apply(&A)"},
        {IDS_APP_TITLE, L"ORVENTA Accessibility"},
        {IDS_VERSION_PREFIX, L"ORVENTA Accessibility Version"},
        {IDS_ABOUT_CAPTION, L"About"},
    };
    ThreadLanguage english(kEnglish);
    for (const auto& entry : expected)
        EXPECT_EQ(Utf8(LoadText(Module(), entry.first)), Utf8(entry.second)) << "string " << entry.first;
    std::wstring notice = LoadText(Module(), IDS_COPYRIGHT);
    EXPECT_NE(notice.find(L"ORVENTA"), std::wstring::npos) << Utf8(notice);
}

TEST(FullTables, EveryTextLoadsInItsLanguageThroughTheThreadLanguage)
{
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full)
            continue;
        StringBlock first = ReadStringBlock(Module(), kFirstBlock, language.id);
        StringBlock second = ReadStringBlock(Module(), kSecondBlock, language.id);
        ThreadLanguage chosen(language.id);
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            const std::wstring& stored = (id < 112 ? first : second).strings[id & 15];
            std::wstring loaded = LoadText(Module(), id);
            EXPECT_FALSE(loaded.empty()) << Label(language.id, id);
            EXPECT_EQ(Utf8(loaded), Utf8(stored)) << Label(language.id, id);
        }
    }
}

TEST(FullTables, DescriptionBreaksOnceBetweenTwoLines)
{
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full)
            continue;
        std::wstring text = ReadStringBlock(Module(), kFirstBlock, language.id).strings[IDS_DESCRIPTION & 15];
        size_t lineFeed = text.find(L'\n');
        ASSERT_NE(lineFeed, std::wstring::npos) << Label(language.id, IDS_DESCRIPTION);
        EXPECT_EQ(text.find(L'\n', lineFeed + 1), std::wstring::npos) << Label(language.id, IDS_DESCRIPTION);
        EXPECT_GT(lineFeed, 0u);
        EXPECT_LT(lineFeed + 1, text.size());
        EXPECT_EQ(text.find(L'\r'), std::wstring::npos) << Label(language.id, IDS_DESCRIPTION);
    }
}

TEST(FullTables, EachLabelHasOneAccessKeyUniqueInTheSettingsDialog)
{
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full)
            continue;
        ThreadLanguage chosen(language.id);
        std::map<wchar_t, UINT> owners;
        for (UINT id : kSettingsLabels) {
            std::wstring text = LoadText(Module(), id);
            std::vector<size_t> keys = AccessKeyPositions(text);
            ASSERT_EQ(keys.size(), 1u) << Label(language.id, id) << ": " << Utf8(text);
            ASSERT_LT(keys[0] + 1, text.size()) << Label(language.id, id);
            wchar_t key = Upper(text[keys[0] + 1]);
            EXPECT_TRUE(IsCharAlphaNumericW(key)) << Label(language.id, id) << ": " << Utf8(text);
            auto clash = owners.insert({key, id});
            EXPECT_TRUE(clash.second) << Label(language.id, id) << " repeats the access key of string "
                                      << clash.first->second << ": " << Utf8(text);
        }
        for (UINT id : kTextsWithoutAccessKey) {
            std::wstring text = LoadText(Module(), id);
            EXPECT_EQ(text.find(L'&'), std::wstring::npos) << Label(language.id, id) << ": " << Utf8(text);
        }
    }
}

TEST(FullTables, MakerWordIsWrittenInCapitalsWhereverItAppears)
{
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full)
            continue;
        ThreadLanguage chosen(language.id);
        for (UINT id : {IDS_ABOUTBOX, IDS_APP_TITLE, IDS_VERSION_PREFIX})
            EXPECT_NE(LoadText(Module(), id).find(L"ORVENTA"), std::wstring::npos) << Label(language.id, id);
        for (UINT id = kFirstId; id <= kLastId; ++id) {
            std::wstring text = LoadText(Module(), id);
            std::wstring folded = text;
            CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
            for (size_t at = folded.find(L"ORVENTA"); at != std::wstring::npos; at = folded.find(L"ORVENTA", at + 1))
                EXPECT_EQ(text.compare(at, 7, L"ORVENTA"), 0) << Label(language.id, id) << ": " << Utf8(text);
        }
    }
}

TEST(FullTables, TranslationsAreNotCopiesOfTheEnglishSentences)
{
    std::map<UINT, std::wstring> english = EnglishTexts();
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full || language.id == kEnglish)
            continue;
        ThreadLanguage chosen(language.id);
        for (UINT id : kSentences)
            EXPECT_NE(Utf8(LoadText(Module(), id)), Utf8(english[id])) << Label(language.id, id);
    }
}

TEST(PlaceholderTables, AboutItemNamesTheLanguageAndTheRestIsBlankOrEnglish)
{
    std::map<UINT, std::wstring> english = EnglishTexts();
    for (const TableLanguage& language : kTableLanguages) {
        if (language.full)
            continue;
        ThreadLanguage chosen(language.id);
        EXPECT_EQ(Utf8(LoadText(Module(), IDS_ABOUTBOX)), language.englishName) << Label(language.id, IDS_ABOUTBOX);
        // The language's own first block is chosen: its other texts are empty.
        for (UINT id = IDS_GROUP_SETTING; id <= IDS_MINUTES; ++id)
            EXPECT_EQ(Utf8(LoadText(Module(), id)), "") << Label(language.id, id);
        // It has no second block: those texts come from the fallback language.
        for (UINT id = IDS_SOUND_RESET; id <= kLastId; ++id)
            EXPECT_EQ(Utf8(LoadText(Module(), id)), Utf8(english[id])) << Label(language.id, id);
    }
}

TEST(LanguageChoice, LanguageWithoutTableTakesBothBlocksFromTheFallback)
{
    std::map<UINT, std::wstring> english = EnglishTexts();
    // Spanish (traditional sort), Thai, Hebrew, Chinese (Taiwan): no table of their own.
    for (LANGID language : {LANGID(1034), LANGID(1054), LANGID(1037), LANGID(1028)}) {
        ThreadLanguage chosen(language);
        for (UINT id = kFirstId; id <= kLastId; ++id)
            EXPECT_EQ(Utf8(LoadText(Module(), id)), Utf8(english[id])) << Label(language, id);
    }
}

}  // namespace
}  // namespace restest
