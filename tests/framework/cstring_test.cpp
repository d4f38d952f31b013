// CString: LoadString follows the platform's per-block language choice;
// Format has no length limit.
#include "test_resource.h"
#include "ui_test_support.h"

#include <string>

namespace {

const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
const LANGID kGerman = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);

std::string Ansi(const wchar_t* text)
{
    char buffer[128] = "";
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    return buffer;
}

std::string Load(UINT nID, BOOL* pbLoaded = nullptr)
{
    CString text("previous content");
    BOOL bLoaded = text.LoadString(nID);
    if (pbLoaded != nullptr) *pbLoaded = bLoaded;
    return static_cast<LPCTSTR>(text);
}

TEST(CStringTest, LoadStringFollowsTheThreadLanguageBlockByBlock)
{
    {
        uitest::ThreadLanguage english(kEnglish);
        EXPECT_EQ("Hello", Load(IDS_GREETING));
        EXPECT_EQ("Second", Load(IDS_ENGLISH_ONLY_IN_BLOCK));
    }
    uitest::ThreadLanguage german(kGerman);
    EXPECT_EQ(Ansi(L"Hallo Gr\u00fc\u00dfe"), Load(IDS_GREETING));
    BOOL bLoaded = TRUE;
    EXPECT_EQ("", Load(IDS_ENGLISH_ONLY_IN_BLOCK, &bLoaded)) << "the German block is chosen, and it lacks this id";
    EXPECT_FALSE(bLoaded);
    EXPECT_EQ("Only English", Load(IDS_ENGLISH_BLOCK)) << "a block missing in German falls back";
}

TEST(CStringTest, MissingIdLoadsEmptyAndAnIdArgumentLoads)
{
    BOOL bLoaded = TRUE;
    EXPECT_EQ("", Load(IDS_MISSING, &bLoaded));
    EXPECT_FALSE(bLoaded);
    uitest::ThreadLanguage english(kEnglish);
    CString fromId(MAKEINTRESOURCE(IDS_GREETING));
    EXPECT_EQ(std::string("Hello"), static_cast<LPCTSTR>(fromId));
}

TEST(CStringTest, FormatHasNoLengthLimit)
{
    CString text;
    text.Format("%d", 5);
    EXPECT_EQ(std::string("5"), static_cast<LPCTSTR>(text));
    std::string longText(3000, 'x');
    text.Format("[%s] %d", longText.c_str(), -12);
    EXPECT_EQ("[" + longText + "] -12", static_cast<LPCTSTR>(text));
    EXPECT_EQ(3000 + 6, text.GetLength());
}

}  // namespace
