// The settings dialog made by the dialog manager from the executable's
// template: the images in place at their pixel sizes, and under every full
// language each text replacing its placeholder and fitting its control.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"
#include "settings_texts.h"

#include <gtest/gtest.h>

namespace restest {
namespace {

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

RECT RectIn(HWND dialog, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The extent of a text in the control's font: one line, or wrapped to width.
SIZE TextExtent(HWND control, const std::wstring& text, int wrapWidth = 0)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, wrapWidth ? wrapWidth : 10000, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right, r.bottom};
}

// Room for a text inside a control: its client width less what the control
// draws beside the text (a check box's box, a button's or group box's frame).
int TextRoom(HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    wchar_t className[16] = L"";
    GetClassNameW(control, className, 16);
    if (lstrcmpiW(className, L"Button") != 0) return client.right;
    switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_AUTOCHECKBOX: return client.right - GetSystemMetrics(SM_CXMENUCHECK) - 4;
    case BS_GROUPBOX: return client.right - 16;
    default: return client.right - 6;
    }
}

class SettingsDialogWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dialog_, nullptr) << "error " << GetLastError(); }
    void TearDown() override { DestroyWindow(dialog_); }
    HWND dialog_ = CreateDialogParamW(Module(), MAKEINTRESOURCEW(IDD_KEYHAVEN_DIALOG), nullptr, QuietDialogProc, 0);
};

TEST_F(SettingsDialogWindow, IconAndBannersTakeTheirPixelSizesInAStripAboveTheSettings)
{
    EXPECT_NE(SendDlgItemMessageW(dialog_, IDC_FN_ICON, STM_GETICON, 0, 0), 0);
    RECT units = {166, 0, 0, 0};
    MapDialogRect(dialog_, &units);
    const struct { LONG left, width; } kBanners[] = {{0, 384}, {units.left, 80}};
    HWND banner = GetDlgItem(dialog_, IDC_MINUTES_LABEL);
    for (const auto& expected : kBanners) {
        do banner = GetWindow(banner, GW_HWNDNEXT);
        while (banner && (GetWindowLongW(banner, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP);
        ASSERT_NE(banner, nullptr);
        BITMAP bitmap{};
        GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(banner, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, expected.width);
        RECT r = RectIn(dialog_, banner);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{expected.left, 0, expected.width, 28}));
        EXPECT_LE(r.bottom, RectIn(dialog_, GetDlgItem(dialog_, IDC_GROUP_SETTING)).top);
    }
}

TEST_F(SettingsDialogWindow, EveryTextOfEveryFullLanguageReplacesItsPlaceholderAndFits)
{
    for (const TableLanguage& language : kTableLanguages) {
        if (language.placeholderName) continue;
        ThreadLanguage chosen(language.id);
        dialogpreview::ApplySettingsTexts(dialog_, Module());
        for (HWND control = GetWindow(dialog_, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(control);
            if (id == IDC_IDLE_MINUTES || id == IDC_FN_ICON || id == 0xFFFF) continue;  // list, icon, banners
            wchar_t buffer[512];
            std::wstring text(buffer, GetWindowTextW(control, buffer, 512));
            SCOPED_TRACE("language " + std::to_string(language.id) + ", control " + std::to_string(id) + ": " + Utf8(text));
            EXPECT_TRUE(text != L"" && text != L"Static" && text != L"Check" && text != L"check");
            RECT client;
            GetClientRect(control, &client);
            if (id == IDC_DESCRIPTION) {  // two lines, broken at the line feed only
                EXPECT_EQ(TextExtent(control, text, client.right).cy, 2 * TextExtent(control, L"Fn").cy);
                EXPECT_LE(TextExtent(control, text, client.right).cy, client.bottom);
            } else {
                EXPECT_LE(TextExtent(control, text).cx, TextRoom(control));
            }
        }
    }
}

}  // namespace
}  // namespace restest
