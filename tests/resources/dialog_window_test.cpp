// The two dialogs as the dialog manager makes them from the executable's
// English templates: header, font and every control, with its image, in
// template (tab) order; and under every full language each text of the
// settings dialog replacing its placeholder and fitting its control.
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

HWND CreateFromTemplate(WORD id)
{
    return CreateDialogParamW(Module(), MAKEINTRESOURCEW(id), nullptr, QuietDialogProc, 0);
}

// Left, top, width and height in pixels: of a placed window, or of a place in
// dialog units as the dialog manager maps it (each value on its own).
std::vector<LONG> Place(const RECT& r) { return {r.left, r.top, r.right - r.left, r.bottom - r.top}; }
std::vector<LONG> Place(HWND dialog, short x, short y, short cx, short cy)
{
    RECT r = {x, y, cx, cy};
    MapDialogRect(dialog, &r);
    return {r.left, r.top, r.right, r.bottom};
}

std::string Text(HWND window)
{
    wchar_t buffer[512];
    return Utf8(std::wstring(buffer, GetWindowTextW(window, buffer, 512)));
}

// The pixels of a bitmap, or of an icon's colour bitmap: which image a control shows.
std::vector<BYTE> Bits(HBITMAP bitmap)
{
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    std::vector<BYTE> bits(info.bmWidthBytes * info.bmHeight);
    bits.resize(bitmap ? GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data()) : 0);
    return bits;
}
std::vector<BYTE> Bits(HICON icon)
{
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return {};
    std::vector<BYTE> bits = Bits(info.hbmColor);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bits;
}

struct Expected {
    DWORD id;
    const char* windowClass;
    const char* text;  // "#n": image n, which sizes the control
    DWORD style;       // besides WS_CHILD | WS_VISIBLE
    DWORD exStyle;
    short x, y, cx, cy;
};

// The dialog's size, caption, style bits, font and controls against its template.
void ExpectTemplate(WORD id, short cx, short cy, const char* title, DWORD style, DWORD exStyle,
                    const std::vector<Expected>& controls)
{
    HWND dialog = CreateFromTemplate(id);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(Place(client), Place(dialog, 0, 0, cx, cy));
    EXPECT_EQ(Text(dialog), title);
    EXPECT_EQ(DWORD(GetWindowLongW(dialog, GWL_STYLE) & ~(WS_CLIPSIBLINGS | DS_3DLOOK)), style) << std::hex << GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_EQ(GetWindowLongW(dialog, GWL_EXSTYLE) & (WS_EX_APPWINDOW | WS_EX_CONTEXTHELP), LONG(exStyle));
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(Utf8(font.lfFaceName), "MS Sans Serif");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Expected& want : controls) {
        SCOPED_TRACE("control id " + std::to_string(static_cast<int>(want.id)));
        ASSERT_NE(control, nullptr);
        wchar_t className[32] = L"";
        GetClassNameW(control, className, 32);
        EXPECT_EQ(DWORD(GetWindowLongPtrW(control, GWLP_ID)), want.id);
        EXPECT_EQ(Utf8(className), want.windowClass);
        DWORD controlStyle = GetWindowLongW(control, GWL_STYLE);
        COMBOBOXINFO combo = {sizeof combo};
        if (GetComboBoxInfo(control, &combo)) {  // the list takes the scroll bar, shown once it overflows
            for (int i = 0; i < 40; ++i) SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"item"));
            controlStyle |= GetWindowLongW(combo.hwndList, GWL_STYLE) & WS_VSCROLL;
        }
        EXPECT_EQ(controlStyle, want.style | WS_CHILD | WS_VISIBLE) << std::hex << controlStyle;
        EXPECT_EQ(GetWindowLongW(control, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, LONG(want.exStyle));
        bool image = want.text[0] == '#';
        if (!image) EXPECT_EQ(Text(control), want.text);
        else if ((want.style & SS_TYPEMASK) == SS_ICON)
            EXPECT_EQ(Bits(HICON(SendMessageW(control, STM_GETICON, 0, 0))),
                      Bits(LoadIconW(Module(), MAKEINTRESOURCEW(atoi(want.text + 1)))));
        else
            EXPECT_EQ(Bits(HBITMAP(SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0))),
                      Bits(LoadBitmapW(Module(), MAKEINTRESOURCEW(atoi(want.text + 1)))));
        std::vector<LONG> placed = Place(RectIn(dialog, control)), expected = Place(dialog, want.x, want.y, want.cx, want.cy);
        if (combo.hwndList) placed.resize(3), expected.resize(3);  // its height is its list's
        if (image) placed.resize(2), expected.resize(2);
        EXPECT_EQ(placed, expected);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_EQ(control, nullptr) << "more controls than the template's";
    DestroyWindow(dialog);
}

TEST(DialogTemplates, AboutBox)
{
    ExpectTemplate(IDD_ABOUTBOX, 251, 55, "About Keyhaven", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, {
        {0xFFFF, "Static", "#128", SS_ICON, 0, 11, 17, 20, 20},
        {IDC_VERSION_TEXT, "Static", "Static", WS_GROUP | SS_LEFT | SS_NOPREFIX, 0, 40, 10, 192, 21},
        {IDC_NOTICE_TEXT, "Static", "Static", WS_GROUP | SS_LEFT, 0, 40, 33, 145, 8},
        {IDOK, "Button", "", WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 194, 34, 50, 14},
    });
}

TEST(DialogTemplates, SettingsDialogInTabOrder)
{
    const DWORD check = WS_TABSTOP | BS_AUTOCHECKBOX;
    ExpectTemplate(IDD_KEYHAVEN_DIALOG, 220, 284, "ORVENTA Accessibility",
                   WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CONTEXTHELP | DS_MODALFRAME | DS_SETFONT,
                   WS_EX_APPWINDOW | WS_EX_CONTEXTHELP, {
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

TEST(SettingsDialogWindow, EveryTextOfEveryFullLanguageReplacesItsPlaceholderAndFits)
{
    HWND dialog = CreateFromTemplate(IDD_KEYHAVEN_DIALOG);
    ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    for (const TableLanguage& language : kTableLanguages) {
        if (language.placeholderName) continue;
        ThreadLanguage chosen(language.id);
        dialogpreview::ApplySettingsTexts(dialog, Module());
        for (HWND control = GetWindow(dialog, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            int id = GetDlgCtrlID(control);
            if (id == IDC_IDLE_MINUTES || id == IDC_FN_ICON || id == -1) continue;  // list, icon, banners
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
    DestroyWindow(dialog);
}

}  // namespace
}  // namespace restest
