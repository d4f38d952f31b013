// The two dialog templates as stored in the executable: header, font and
// every control in template (tab) order, in English only.
#include "resource.h"
#include "resource_image.h"

#include <gtest/gtest.h>

namespace restest {
namespace {

struct Expected {
    DWORD id;
    const char* windowClass;
    const char* text;
    DWORD style;  // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    short x, y, cx, cy;
};

DialogTemplate Template(WORD id)
{
    EXPECT_EQ(ResourceLanguages(reinterpret_cast<LPCWSTR>(RT_DIALOG), id), std::set<LANGID>{kEnglish});
    DialogTemplate dialog = ParseDialogTemplate(ResourceBytes(reinterpret_cast<LPCWSTR>(RT_DIALOG), id));
    EXPECT_TRUE(dialog.complete);
    EXPECT_EQ(dialog.menu, "");
    EXPECT_EQ(dialog.windowClass, "");
    EXPECT_EQ(dialog.x, 0);
    EXPECT_EQ(dialog.y, 0);
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.typeface, "MS Sans Serif");
    return dialog;
}

void ExpectItems(const DialogTemplate& dialog, const std::vector<Expected>& expected)
{
    ASSERT_EQ(dialog.items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const DialogItem& item = dialog.items[i];
        const Expected& want = expected[i];
        SCOPED_TRACE("control #" + std::to_string(i + 1) + ", id " + std::to_string(static_cast<int>(want.id)));
        EXPECT_EQ(item.id, want.id);
        EXPECT_EQ(item.windowClass, want.windowClass);
        EXPECT_EQ(item.text, want.text);
        EXPECT_EQ(item.style, want.style | WS_CHILD | WS_VISIBLE) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, want.exStyle);
        EXPECT_EQ((std::vector<short>{item.x, item.y, item.cx, item.cy}),
                  (std::vector<short>{want.x, want.y, want.cx, want.cy}));
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_EQ(item.extraBytes, 0);
    }
}

TEST(DialogTemplates, AboutBoxIsAClassicTemplate)
{
    EXPECT_EQ(ResourceIds(reinterpret_cast<LPCWSTR>(RT_DIALOG)), (std::vector<WORD>{IDD_ABOUTBOX, IDD_KEYHAVEN_DIALOG}));
    DialogTemplate dialog = Template(IDD_ABOUTBOX);
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT)) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.cx, 251);
    EXPECT_EQ(dialog.cy, 55);
    EXPECT_EQ(dialog.title, "About Keyhaven");
    ExpectItems(dialog, {
        {0xFFFF, "Static", "#128", SS_ICON, 0, 11, 17, 20, 20},
        {IDC_VERSION_TEXT, "Static", "Static", WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 40, 10, 192, 21},
        {IDC_NOTICE_TEXT, "Static", "Static", WS_GROUP | SS_LEFT, 0, 40, 33, 145, 8},
        {IDOK, "Button", "", WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 194, 34, 50, 14},
    });
}

TEST(DialogTemplates, SettingsDialogIsAnExtendedTemplateInTabOrder)
{
    DialogTemplate dialog = Template(IDD_KEYHAVEN_DIALOG);
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.helpId, 0u);
    EXPECT_EQ(dialog.style, DWORD(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP | DS_MODALFRAME |
                                  DS_SETFONT)) << std::hex << dialog.style;
    EXPECT_EQ(dialog.exStyle, DWORD(WS_EX_APPWINDOW | WS_EX_CONTEXTHELP)) << std::hex << dialog.exStyle;
    EXPECT_EQ(dialog.cx, 220);
    EXPECT_EQ(dialog.cy, 284);
    EXPECT_EQ(dialog.title, "ORVENTA Accessibility");
    EXPECT_EQ(dialog.weight, 0);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, DEFAULT_CHARSET);
    const DWORD check = WS_TABSTOP | BS_AUTOCHECKBOX;
    ExpectItems(dialog, {
        {IDOK, "Button", "", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 55, 264, 49, 14},
        {IDCANCEL, "Button", "", WS_TABSTOP | BS_PUSHBUTTON, 0, 109, 264, 52, 14},
        {IDC_APPLY, "Button", "", WS_TABSTOP | BS_PUSHBUTTON, 0, 166, 264, 49, 14},
        {IDC_GROUP_SETTING, "Button", "Static", BS_GROUPBOX, 0, 4, 31, 211, 229},
        {IDC_DESCRIPTION, "Static", "Static", WS_GROUP | SS_LEFT, 0, 44, 49, 162, 28},
        {IDC_USE_FNSTICKY, "Button", "check", check, 0, 41, 83, 152, 11},
        {IDC_GROUP_OPTIONS, "Button", "Static", BS_GROUPBOX, 0, 13, 95, 193, 78},
        {IDC_GROUP_RESET, "Button", "Static", BS_GROUPBOX, 0, 12, 180, 194, 74},
        {IDC_LOCK_TWICE, "Button", "Check", check, 0, 20, 108, 179, 14},
        {IDC_SOUND_PRESS, "Button", "Check", check, 0, 20, 131, 178, 14},
        {IDC_SHOW_STATUS, "Button", "Check", check, 0, 20, 155, 179, 14},
        {IDC_UNSTICK_IDLE, "Button", "Check", check, 0, 19, 194, 180, 12},
        {IDC_SOUND_RESET, "Button", "Check", check, 0, 19, 233, 182, 11},
        {IDC_IDLE_MINUTES, "ComboBox", "", WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_SORT, 0, 30, 213, 48, 90},
        {IDC_MINUTES_LABEL, "Static", "Static", WS_GROUP | SS_LEFT, 0, 84, 217, 75, 10},
        {IDC_FN_ICON, "Static", "#128", SS_ICON, WS_EX_TRANSPARENT, 13, 46, 20, 20},
        {0xFFFFFFFF, "Static", "#141", SS_BITMAP, 0, 0, 0, 256, 20},
        {0xFFFFFFFF, "Static", "#142", SS_BITMAP, 0, 166, 0, 53, 20},
    });
}

}  // namespace
}  // namespace restest
