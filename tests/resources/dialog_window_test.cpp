// The settings dialog made by the dialog manager from the executable's
// template, with its texts loaded as at initialisation: images in place,
// and every text of every full language fitting its control.
#include "languages.h"
#include "resource.h"
#include "resource_image.h"
#include "settings_texts.h"

#include <gtest/gtest.h>

namespace restest {
namespace {

INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

// A settings dialog window made from the image's template, destroyed at the end.
class SettingsDialog {
public:
    SettingsDialog()
        : window_(CreateDialogParamW(Image().Module(), MAKEINTRESOURCEW(IDD_KEYHAVEN_DIALOG), nullptr,
                                     QuietDialogProc, 0))
    {
    }
    ~SettingsDialog()
    {
        if (window_)
            DestroyWindow(window_);
    }
    SettingsDialog(const SettingsDialog&) = delete;
    SettingsDialog& operator=(const SettingsDialog&) = delete;

    HWND Window() const { return window_; }
    HWND Control(int id) const { return GetDlgItem(window_, id); }

private:
    HWND window_;
};

SIZE ImageSize(HWND control, UINT message, WPARAM type)
{
    SIZE size = {0, 0};
    HGDIOBJ image = reinterpret_cast<HGDIOBJ>(SendMessageW(control, message, type, 0));
    if (type == IMAGE_BITMAP && image) {
        BITMAP bitmap{};
        GetObjectW(image, sizeof bitmap, &bitmap);
        size = {bitmap.bmWidth, bitmap.bmHeight};
    }
    return size;
}

SIZE WindowSize(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

std::vector<HWND> BitmapStatics(HWND dialog)
{
    std::vector<HWND> statics;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            statics.push_back(child);
    return statics;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[512];
    int length = GetWindowTextW(window, text, 512);
    return std::wstring(text, length);
}

// The size of a text drawn in the control's font: one line, or wrapped to width.
SIZE TextExtent(HWND control, const std::wstring& text, int wrapWidth)
{
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r = {0, 0, wrapWidth ? wrapWidth : 10000, 0};
    UINT flags = DT_CALCRECT | (wrapWidth ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return {r.right - r.left, r.bottom - r.top};
}

// Room for the text inside a control: its client area less what the control
// draws beside the text (the box of a check box, the frame of a button).
int TextRoom(HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    wchar_t className[32];
    GetClassNameW(control, className, 32);
    int width = client.right;
    if (lstrcmpiW(className, L"Button") == 0) {
        switch (style & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX:
            return width - GetSystemMetrics(SM_CXMENUCHECK) - 4;
        case BS_GROUPBOX:
            return width - 16;
        default:
            return width - 6;
        }
    }
    return width;
}

TEST(SettingsDialogWindow, IconAndBannersComeFromTheImageAtTheirPixelSizes)
{
    SettingsDialog dialog;
    ASSERT_NE(dialog.Window(), nullptr) << "error " << GetLastError();

    EXPECT_NE(SendMessageW(dialog.Control(IDC_FN_ICON), STM_GETICON, 0, 0), 0);

    std::vector<HWND> banners = BitmapStatics(dialog.Window());
    ASSERT_EQ(banners.size(), 2u);
    const SIZE expected[] = {{384, 28}, {80, 28}};
    for (size_t i = 0; i < 2; ++i) {
        SIZE image = ImageSize(banners[i], STM_GETIMAGE, IMAGE_BITMAP);
        EXPECT_EQ(image.cx, expected[i].cx) << "banner " << i;
        EXPECT_EQ(image.cy, expected[i].cy) << "banner " << i;
        SIZE window = WindowSize(banners[i]);
        EXPECT_EQ(window.cx, expected[i].cx) << "banner " << i;
        EXPECT_EQ(window.cy, expected[i].cy) << "banner " << i;
    }

    // The right banner starts at 166 dialog units, the strip lies above the setting group.
    RECT units = {166, 31, 0, 0};
    MapDialogRect(dialog.Window(), &units);
    RECT right, group;
    GetWindowRect(banners[1], &right);
    GetWindowRect(dialog.Control(IDC_GROUP_SETTING), &group);
    MapWindowPoints(HWND_DESKTOP, dialog.Window(), reinterpret_cast<POINT*>(&right), 2);
    MapWindowPoints(HWND_DESKTOP, dialog.Window(), reinterpret_cast<POINT*>(&group), 2);
    EXPECT_EQ(right.left, units.left);
    EXPECT_EQ(right.top, 0);
    EXPECT_LE(right.bottom, group.top);
}

TEST(SettingsDialogWindow, EveryTextReplacesItsPlaceholderAndFitsItsControl)
{
    // One window for all languages: the template, and so the font and the
    // control sizes, are the same under every language.
    SettingsDialog dialog;
    ASSERT_NE(dialog.Window(), nullptr);
    for (const TableLanguage& language : kTableLanguages) {
        if (!language.full)
            continue;
        ThreadLanguage chosen(language.id);
        dialogpreview::ApplySettingsTexts(dialog.Window(), Image().Module());

        for (int i = 0; i < dialogpreview::kSettingsTextCount; ++i) {
            const dialogpreview::ControlText& pair = dialogpreview::kSettingsTexts[i];
            HWND control = dialog.Control(pair.controlId);
            std::wstring text = WindowText(control);
            SCOPED_TRACE("language " + std::to_string(language.id) + ", control " + std::to_string(pair.controlId) +
                         ": " + Utf8(text));
            EXPECT_EQ(Utf8(text), Utf8(LoadText(Image().Module(), pair.stringId)));

            RECT client;
            GetClientRect(control, &client);
            if (pair.controlId == IDC_DESCRIPTION) {
                // Two lines, broken at the line feed only, within the static's height.
                SIZE wrapped = TextExtent(control, text, client.right);
                SIZE oneLine = TextExtent(control, L"Fn", 0);
                EXPECT_EQ(wrapped.cy, 2 * oneLine.cy) << "the description wraps into " << wrapped.cy << " pixels";
                EXPECT_LE(wrapped.cy, client.bottom);
            } else {
                SIZE line = TextExtent(control, text, 0);
                EXPECT_LE(line.cx, TextRoom(control)) << "the text needs " << line.cx << " pixels";
            }
        }
        EXPECT_EQ(Utf8(WindowText(dialog.Window())), Utf8(LoadText(Image().Module(), IDS_APP_TITLE)));
    }
}

}  // namespace
}  // namespace restest
