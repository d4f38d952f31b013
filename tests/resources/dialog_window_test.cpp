// The settings dialog made by the dialog manager from the executable's
// template: under every language each text replaces its placeholder and fits
// its control.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"
#include "settings_texts.h"

#include <gtest/gtest.h>

namespace restest {
namespace {

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

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

TEST_F(SettingsDialogWindow, EveryTextOfEveryLanguageReplacesItsPlaceholderAndFits)
{
    for (LANGID language : kTableLanguages) {
        ThreadLanguage chosen(language);
        dialogpreview::ApplySettingsTexts(dialog_, Module());
        for (HWND control = GetWindow(dialog_, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(control);
            if (id == IDC_IDLE_MINUTES || id == IDC_FN_ICON || id == 0xFFFF) continue;  // list, icon, banners
            wchar_t buffer[512];
            std::wstring text(buffer, GetWindowTextW(control, buffer, 512));
            SCOPED_TRACE("language " + std::to_string(language) + ", control " + std::to_string(id) + ": " + Utf8(text));
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
