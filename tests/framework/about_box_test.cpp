// CAboutBox: caption, version line from the machine-wide "version" value,
// notice and OK texts from the string table; the template's texts without the
// key; F1 never reaches the owner. The test program sees a private
// HKEY_LOCAL_MACHINE, so it neither reads nor disturbs the prefix's own.
#include "about_box.h"
#include "resource.h"
#include "ui_test_support.h"

#include <string>

namespace {

using uitest::RunWhenIdle;

const char kVersionKey[] = "Software\\ORVENTA\\Accessibility";
const char kPrefix[] = "ORVENTA Accessibility Version ";

std::string Text(HWND hWnd)
{
    char text[256] = "";
    ::GetWindowText(hWnd, text, sizeof text);
    return text;
}

class AboutBoxTest : public uitest::UiTest {
protected:
    void SetUp() override
    {
        uitest::UiTest::SetUp();
        m_privateRoot = "Software\\KeyhavenTests\\MachineHive" + std::to_string(::GetCurrentProcessId());
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CURRENT_USER, m_privateRoot.c_str(), 0, NULL,
                                                   0, KEY_ALL_ACCESS, NULL, &m_hMachine, NULL));
        ASSERT_EQ(ERROR_SUCCESS, ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hMachine));
    }
    void TearDown() override
    {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
        ::RegCloseKey(m_hMachine);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, m_privateRoot.c_str());
        uitest::UiTest::TearDown();
    }

    // No key (NULL), a key without the value (""), or the value with its bytes.
    static void SetVersion(const char* pData, DWORD cbData = 0, DWORD type = REG_SZ)
    {
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kVersionKey);
        if (pData == NULL) return;
        HKEY hKey = NULL;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey, NULL));
        if (*pData != '\0') ::RegSetValueExA(hKey, "version", 0, type, reinterpret_cast<const BYTE*>(pData), cbData);
        ::RegCloseKey(hKey);
    }

    HKEY m_hMachine = NULL;
    std::string m_privateRoot;
};

TEST_F(AboutBoxTest, VersionLineIsThePrefixABlankAndAtMost19CharactersOfTheValue)
{
    uitest::ThreadLanguage english(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    CString notice;
    notice.LoadString(IDS_COPYRIGHT);
    ASSERT_FALSE(notice.IsEmpty());
    const std::string kFull = "1.28.1.15 build 1234";  // 20 characters
    const std::string kNotice = static_cast<LPCTSTR>(notice);
    const struct {
        const char* pData;  // NULL: no key; "": the key without the value
        DWORD cbData, type;
        std::string versionLine, noticeText, okText;
    } cases[] = {
        {"1.28", 5, REG_SZ, kPrefix + std::string("1.28"), kNotice, "&OK"},
        {"1.28.1.15 build 123", 20, REG_SZ, kPrefix + kFull.substr(0, 19), kNotice, "&OK"},
        {kFull.c_str(), 21, REG_SZ, kPrefix, kNotice, "&OK"},           // no room for the terminator
        {kFull.c_str(), 20, REG_BINARY, kPrefix + kFull, kNotice, "&OK"},  // never read past 20 bytes
        {"", 0, REG_SZ, kPrefix, kNotice, "&OK"},                       // no value
        {NULL, 0, REG_SZ, "Static", "Static", ""},                      // no key: the template's texts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pData != NULL ? c.pData : "(no key)");
        SetVersion(c.pData, c.cbData, c.type);
        CAboutBox box;
        std::string caption, version, noticeText, ok;
        RunWhenIdle([&] {
            caption = Text(box.m_hWnd);
            version = Text(::GetDlgItem(box.m_hWnd, IDC_VERSION_TEXT));
            noticeText = Text(::GetDlgItem(box.m_hWnd, IDC_NOTICE_TEXT));
            ok = Text(::GetDlgItem(box.m_hWnd, IDOK));
            ::PostMessage(::GetDlgItem(box.m_hWnd, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(IDOK, box.DoModal());
        EXPECT_EQ("About", caption);
        EXPECT_EQ(c.versionLine, version);
        EXPECT_EQ(c.noticeText, noticeText);
        EXPECT_EQ(c.okText, ok);
    }
}

int g_helpRequestsAtOwner = 0;

LRESULT CALLBACK OwnerProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_HELP) return ++g_helpRequestsAtOwner, TRUE;
    return ::DefWindowProc(hWnd, nMsg, wParam, lParam);
}

// Runs box owned by a main window and makes the focused OK button ask for
// help, as F1 does; returns how many help requests reached the owner.
int HelpRequestsAtOwnerFromF1In(CDialog& box)
{
    CWnd owner;
    owner.Attach(::CreateWindow("Static", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, NULL, NULL, NULL, NULL));
    ::SetWindowLongPtr(owner.m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OwnerProc));
    uitest::TestApp().m_pMainWnd = &owner;
    g_helpRequestsAtOwner = 0;
    RunWhenIdle([&] {
        HWND hOK = ::GetDlgItem(box.m_hWnd, IDOK);
        HELPINFO help = { sizeof help, HELPINFO_WINDOW, IDOK, hOK, 0, {0, 0} };
        ::SendMessage(hOK, WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
        box.EndDialog(IDOK);
    });
    box.DoModal();
    uitest::TestApp().m_pMainWnd = NULL;
    owner.DestroyWindow();
    return g_helpRequestsAtOwner;
}

TEST_F(AboutBoxTest, F1InTheBoxNeverReachesTheOwner)
{
    CDialog plainBox(IDD_ABOUTBOX);
    ASSERT_EQ(1, HelpRequestsAtOwnerFromF1In(plainBox)) << "without its handler, the box passes F1 to the owner";
    CAboutBox aboutBox;
    EXPECT_EQ(0, HelpRequestsAtOwnerFromF1In(aboutBox));
}

}  // namespace
