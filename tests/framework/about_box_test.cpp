// CAboutBox: caption, version line from the machine-wide registry value,
// notice and OK texts from the string table; template texts when the key is
// missing; F1 never reaches the owner.
#include "about_box.h"
#include "resource.h"
#include "test_app.h"
#include "ui_test_support.h"

#include <string>

namespace {

using uitest::RunWhenIdle;

const char kVersionKey[] = "Software\\ORVENTA\\Accessibility";
const LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::string WindowText(HWND hWnd)
{
    char text[256] = "";
    ::GetWindowText(hWnd, text, sizeof text);
    return text;
}

std::string LoadText(UINT nID)
{
    CString text;
    text.LoadString(nID);
    return static_cast<LPCTSTR>(text);
}

struct AboutTexts {
    std::string caption, version, notice, ok;
};

class AboutBoxTest : public uitest::UiTest {
protected:
    void SetUp() override
    {
        uitest::UiTest::SetUp();
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVersionKey);
    }
    void TearDown() override
    {
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVersionKey);
        TestApp().m_pMainWnd = NULL;
        uitest::UiTest::TearDown();
    }

    static void WriteVersion(const std::string& text, DWORD type = REG_SZ)
    {
        HKEY hKey = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                                   NULL, &hKey, NULL));
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(hKey, "version", 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                                                  static_cast<DWORD>(text.size() + (type == REG_SZ ? 1 : 0))));
        ::RegCloseKey(hKey);
    }

    static void CreateKeyOnly()
    {
        HKEY hKey = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                                   NULL, &hKey, NULL));
        ::RegCloseKey(hKey);
    }

    // Opens the About box, reads its texts and closes it with its OK button.
    static AboutTexts ShowAboutBox()
    {
        CAboutBox box;
        AboutTexts texts;
        RunWhenIdle([&] {
            texts.caption = WindowText(box.m_hWnd);
            texts.version = WindowText(::GetDlgItem(box.m_hWnd, IDC_VERSION_TEXT));
            texts.notice = WindowText(::GetDlgItem(box.m_hWnd, IDC_NOTICE_TEXT));
            texts.ok = WindowText(::GetDlgItem(box.m_hWnd, IDOK));
            ::PostMessage(::GetDlgItem(box.m_hWnd, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(IDOK, box.DoModal());
        return texts;
    }
};

TEST_F(AboutBoxTest, VersionLineJoinsThePrefixABlankAndTheRegistryText)
{
    uitest::ThreadLanguage english(kEnglish);
    WriteVersion("1.28");
    AboutTexts texts = ShowAboutBox();
    EXPECT_EQ("About", texts.caption);
    EXPECT_EQ("ORVENTA Accessibility Version 1.28", texts.version);
    EXPECT_EQ(LoadText(IDS_COPYRIGHT), texts.notice);
    EXPECT_FALSE(texts.notice.empty());
    EXPECT_EQ("&OK", texts.ok);
}

TEST_F(AboutBoxTest, VersionTextFitsInNineteenCharacters)
{
    uitest::ThreadLanguage english(kEnglish);
    const std::string kPrefix = "ORVENTA Accessibility Version ";
    WriteVersion("1.28.1.15 build 123");  // 19 characters
    EXPECT_EQ(kPrefix + "1.28.1.15 build 123", ShowAboutBox().version);
    WriteVersion("1.28.1.15 build 1234");  // 20: no room for the terminator
    EXPECT_EQ(kPrefix, ShowAboutBox().version);
    WriteVersion("1.28.1.15 build 1234 and much more text");
    EXPECT_EQ(kPrefix, ShowAboutBox().version);
    WriteVersion("1.28.1.15 build 1234", REG_BINARY);  // 20 bytes without a terminator
    EXPECT_EQ(kPrefix + "1.28.1.15 build 1234", ShowAboutBox().version) << "never read beyond 20 bytes";
}

TEST_F(AboutBoxTest, MissingValueLeavesThePrefixAndTheBlank)
{
    uitest::ThreadLanguage english(kEnglish);
    CreateKeyOnly();
    AboutTexts texts = ShowAboutBox();
    EXPECT_EQ("ORVENTA Accessibility Version ", texts.version);
    EXPECT_EQ("&OK", texts.ok);
}

TEST_F(AboutBoxTest, MissingKeyKeepsTheTemplateTextsButSetsTheCaption)
{
    uitest::ThreadLanguage english(kEnglish);
    AboutTexts texts = ShowAboutBox();
    EXPECT_EQ("About", texts.caption);
    EXPECT_EQ("Static", texts.version);
    EXPECT_EQ("Static", texts.notice);
    EXPECT_EQ("", texts.ok);
}

// The owner window: counts the WM_HELP requests that reach it.
int g_helpRequestsAtOwner = 0;

LRESULT CALLBACK OwnerProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_HELP) {
        ++g_helpRequestsAtOwner;
        return TRUE;
    }
    return ::DefWindowProc(hWnd, nMsg, wParam, lParam);
}

// Opens `box` with a main window as owner and presses F1 (as keyboard input)
// while its OK button has the focus.
void PressF1In(CDialog& box)
{
    WNDCLASS wc = {};
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = ::GetModuleHandle(NULL);
    wc.lpszClassName = "AboutBoxTestOwner";
    ::RegisterClass(&wc);
    HWND hOwner = ::CreateWindow("AboutBoxTestOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                 NULL, NULL, wc.hInstance, NULL);
    CWnd owner;
    owner.Attach(hOwner);
    TestApp().m_pMainWnd = &owner;
    RunWhenIdle([&] {
        HWND hOK = ::GetDlgItem(box.m_hWnd, IDOK);
        ::SetFocus(hOK);
        INPUT keys[2] = {};
        keys[0].type = keys[1].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = keys[1].ki.wVk = VK_F1;
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(2, keys, sizeof keys[0]);
        RunWhenIdle([&] { box.EndDialog(IDOK); }, 300);  // once the keys are handled
    });
    box.DoModal();
    TestApp().m_pMainWnd = NULL;
    owner.DestroyWindow();
}

TEST_F(AboutBoxTest, F1InTheBoxNeverReachesTheOwner)
{
    g_helpRequestsAtOwner = 0;
    CDialog plainBox(IDD_ABOUTBOX);
    PressF1In(plainBox);
    ASSERT_EQ(1, g_helpRequestsAtOwner) << "without its handler, F1 in the box asks the owner for help";

    g_helpRequestsAtOwner = 0;
    CAboutBox aboutBox;
    PressF1In(aboutBox);
    EXPECT_EQ(0, g_helpRequestsAtOwner);
}

}  // namespace
