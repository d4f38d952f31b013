// The two dialog templates as stored in the executable: header, font and
// every control in template (tab) order.
#include "dialog_template.h"
#include "languages.h"
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

namespace restest {
namespace {

struct ExpectedItem {
    DWORD id;
    const char* windowClass;
    NameOrOrdinal text;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    short x, y, cx, cy;
};

constexpr DWORD kStaticId = 0xFFFF;  // -1 in a classic template's 16-bit id
constexpr DWORD kStaticIdEx = 0xFFFFFFFF;

DialogTemplate LoadTemplate(WORD id)
{
    return ParseDialogTemplate(ResourceBytes(Image().Module(), reinterpret_cast<LPCWSTR>(RT_DIALOG), id, kEnglish));
}

void ExpectItems(const DialogTemplate& dialog, const std::vector<ExpectedItem>& expected)
{
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const DialogItem& item = dialog.items[i];
        const ExpectedItem& want = expected[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(static_cast<int>(want.id)));
        EXPECT_EQ(item.id, want.id);
        EXPECT_TRUE(item.windowClass == PredefinedClass(want.windowClass)) << Describe(item.windowClass);
        EXPECT_TRUE(item.text == want.text) << Describe(item.text) << " instead of " << Describe(want.text);
        EXPECT_EQ(item.style, want.style | WS_CHILD | WS_VISIBLE) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, want.exStyle);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.extraBytes, 0);
    }
}

TEST(DialogTemplates, ExistInEnglishOnly)
{
    HMODULE module = Image().Module();
    EXPECT_EQ(ResourceIds(module, reinterpret_cast<LPCWSTR>(RT_DIALOG)),
              (std::vector<WORD>{IDD_ABOUTBOX, IDD_KEYHAVEN_DIALOG}));
    for (WORD id : {IDD_ABOUTBOX, IDD_KEYHAVEN_DIALOG})
        EXPECT_EQ(ResourceLanguages(module, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(id)),
                  std::set<LANGID>{kEnglish});
}

TEST(DialogTemplates, AboutBoxIsAClassicTemplate)
{
    DialogTemplate dialog = LoadTemplate(IDD_ABOUTBOX);
    ASSERT_TRUE(dialog.parsed) << dialog.error;
    EXPECT_EQ(dialog.error, "");
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 251);
    EXPECT_EQ(dialog.cy, 55);
    EXPECT_TRUE(dialog.menu == Name(L""));
    EXPECT_TRUE(dialog.windowClass == Name(L""));
    EXPECT_EQ(Utf8(dialog.title), "About Keyhaven");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(Utf8(dialog.typeface), "MS Sans Serif");

    ExpectItems(dialog, {
        {kStaticId, "Static", Ordinal(IDI_FN_KEY), SS_ICON, 0, 11, 17, 20, 20},
        {IDC_VERSION_TEXT, "Static", Name(L"Static"), WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 40, 10, 192, 21},
        {IDC_NOTICE_TEXT, "Static", Name(L"Static"), WS_GROUP | SS_LEFT, 0, 40, 33, 145, 8},
        {IDOK, "Button", Name(L""), WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 194, 34, 50, 14},
    });
}

TEST(DialogTemplates, SettingsDialogIsAnExtendedTemplateInTabOrder)
{
    DialogTemplate dialog = LoadTemplate(IDD_KEYHAVEN_DIALOG);
    ASSERT_TRUE(dialog.parsed) << dialog.error;
    EXPECT_EQ(dialog.error, "");
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP |
                                  DS_MODALFRAME | DS_SETFONT)) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, DWORD(WS_EX_APPWINDOW | WS_EX_CONTEXTHELP)) << std::hex << dialog.exStyle;
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.cx, 220);
    EXPECT_EQ(dialog.cy, 284);
    EXPECT_TRUE(dialog.menu == Name(L""));
    EXPECT_TRUE(dialog.windowClass == Name(L""));
    EXPECT_EQ(Utf8(dialog.title), "ORVENTA Accessibility");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, DEFAULT_CHARSET);
    EXPECT_EQ(Utf8(dialog.typeface), "MS Sans Serif");

    const DWORD check = WS_TABSTOP | BS_AUTOCHECKBOX;
    ExpectItems(dialog, {
        {IDOK, "Button", Name(L""), WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 55, 264, 49, 14},
        {IDCANCEL, "Button", Name(L""), WS_TABSTOP | BS_PUSHBUTTON, 0, 109, 264, 52, 14},
        {IDC_APPLY, "Button", Name(L""), WS_TABSTOP | BS_PUSHBUTTON, 0, 166, 264, 49, 14},
        {IDC_GROUP_SETTING, "Button", Name(L"Static"), BS_GROUPBOX, 0, 4, 31, 211, 229},
        {IDC_DESCRIPTION, "Static", Name(L"Static"), WS_GROUP | SS_LEFT, 0, 44, 49, 162, 28},
        {IDC_USE_FNSTICKY, "Button", Name(L"check"), check, 0, 41, 83, 152, 11},
        {IDC_GROUP_OPTIONS, "Button", Name(L"Static"), BS_GROUPBOX, 0, 13, 95, 193, 78},
        {IDC_GROUP_RESET, "Button", Name(L"Static"), BS_GROUPBOX, 0, 12, 180, 194, 74},
        {IDC_LOCK_TWICE, "Button", Name(L"Check"), check, 0, 20, 108, 179, 14},
        {IDC_SOUND_PRESS, "Button", Name(L"Check"), check, 0, 20, 131, 178, 14},
        {IDC_SHOW_STATUS, "Button", Name(L"Check"), check, 0, 20, 155, 179, 14},
        {IDC_UNSTICK_IDLE, "Button", Name(L"Check"), check, 0, 19, 194, 180, 12},
        {IDC_SOUND_RESET, "Button", Name(L"Check"), check, 0, 19, 233, 182, 11},
        {IDC_IDLE_MINUTES, "ComboBox", Name(L""), WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT, 0,
         30, 213, 48, 90},
        {IDC_MINUTES_LABEL, "Static", Name(L"Static"), WS_GROUP | SS_LEFT, 0, 84, 217, 75, 10},
        {IDC_FN_ICON, "Static", Ordinal(IDI_FN_KEY), SS_ICON, WS_EX_TRANSPARENT, 13, 46, 20, 20},
        {kStaticIdEx, "Static", Ordinal(IDB_BANNER_LEFT), SS_BITMAP, 0, 0, 0, 256, 20},
        {kStaticIdEx, "Static", Ordinal(IDB_BANNER_RIGHT), SS_BITMAP, 0, 166, 0, 53, 20},
    });
}

}  // namespace
}  // namespace restest
