// Message maps: commands, control notifications, window messages, private and
// registered messages reach their handlers with their results; unhandled
// messages get the default processing;
// DDX_Control binds and subclasses controls.
#include "test_app.h"
#include "test_resource.h"
#include "ui_test_support.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using uitest::RunWhenIdle;

const UINT WM_PRIVATE_CLOSE = WM_USER + 2;
const UINT WM_PRIVATE_FN = 0x4400;
const UINT kAboutCommand = 0x0010;
UINT g_registeredMessage = ::RegisterWindowMessage("Framework test registered message");

class CMapDialog : public CDialog {
public:
    CMapDialog() : CDialog(IDD_HARNESS) {}

    std::vector<std::string> m_log;
    HICON m_hIcon = ::LoadIcon(NULL, IDI_APPLICATION);
    HBRUSH m_hBrush = ::GetSysColorBrush(COLOR_INFOBK);
    std::map<UINT, HWND> m_ctlColorWindows;  // last window of each CTLCOLOR_ type
    int m_nPaints = 0;

protected:
    void Log(const std::string& entry) { m_log.push_back(entry); }

    afx_msg void OnTestButton() { Log("button"); }
    afx_msg void OnComboSelChange() { Log("selchange"); }
    afx_msg void OnTimer(UINT_PTR nIDEvent)
    {
        KillTimer(nIDEvent);
        Log("timer " + std::to_string(nIDEvent));
    }
    afx_msg LRESULT OnPrivateClose(WPARAM wParam, LPARAM lParam)
    {
        Log("close");
        return static_cast<LRESULT>(wParam) + lParam;
    }
    afx_msg LRESULT OnFnPress(WPARAM, LPARAM) { return WM_PRIVATE_FN; }
    afx_msg LRESULT OnRegistered(WPARAM wParam, LPARAM) { return 1000 + static_cast<LRESULT>(wParam); }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam)
    {
        if ((nID & 0xFFF0) == kAboutCommand)
            Log("about");
        else
            CDialog::OnSysCommand(nID, lParam);
    }
    afx_msg HCURSOR OnQueryDragIcon() { return m_hIcon; }
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo)
    {
        Log("help " + std::to_string(pHelpInfo->iCtrlId));
        return TRUE;
    }
    afx_msg UINT OnPowerBroadcast(UINT nPowerEvent, LPARAM)
    {
        Log("power " + std::to_string(nPowerEvent));
        return 77;
    }
    afx_msg void OnPaint()
    {
        CPaintDC dc(this);
        ++m_nPaints;
    }
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
    {
        EXPECT_NE(nullptr, pDC->GetSafeHdc());
        m_ctlColorWindows[nCtlColor] = pWnd->m_hWnd;
        return m_hBrush;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CMapDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_BUTTON, OnTestButton)
    ON_CBN_SELCHANGE(IDC_TEST_COMBO, OnComboSelChange)
    ON_WM_TIMER()
    ON_MESSAGE(WM_PRIVATE_CLOSE, OnPrivateClose)
    ON_MESSAGE(WM_PRIVATE_FN, OnFnPress)
    ON_REGISTERED_MESSAGE(g_registeredMessage, OnRegistered)
    ON_WM_SYSCOMMAND()
    ON_WM_QUERYDRAGICON()
    ON_WM_HELPINFO()
    ON_WM_POWERBROADCAST()
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class MessageMapTest : public uitest::UiTest {};

TEST_F(MessageMapTest, CommandsAndNotificationsReachTheirHandlers)
{
    CMapDialog dlg;
    int nHelpCommandsBefore = TestApp().m_nHelpCommands;
    RunWhenIdle([&] {
        HWND hCombo = ::GetDlgItem(dlg.m_hWnd, IDC_TEST_COMBO);
        ::SendMessage(::GetDlgItem(dlg.m_hWnd, IDC_TEST_BUTTON), BM_CLICK, 0, 0);
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_COMBO, CBN_DROPDOWN), reinterpret_cast<LPARAM>(hCombo));
        dlg.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_TEST_COMBO, CBN_SELCHANGE), reinterpret_cast<LPARAM>(hCombo));
        dlg.SendMessage(WM_COMMAND, ID_HELP);           // not the dialog's: goes to the application
        dlg.SendMessage(WM_COMMAND, IDC_TEST_STATIC);   // nobody's
        // A system command the dialog passes on: the default closes it with IDCANCEL.
        dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE);
    });

    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ((std::vector<std::string>{"button", "selchange"}), dlg.m_log);
    EXPECT_EQ(nHelpCommandsBefore + 1, TestApp().m_nHelpCommands);
}

TEST_F(MessageMapTest, WindowMessagesReachTheirHandlersWithResults)
{
    CMapDialog dlg;
    std::vector<LRESULT> results;
    HWND hStatic = NULL;
    RunWhenIdle([&] {
        hStatic = ::GetDlgItem(dlg.m_hWnd, IDC_TEST_STATIC);
        dlg.SetTimer(7, 1, NULL);
        results.push_back(dlg.SendMessage(WM_PRIVATE_CLOSE, 5, 6));
        results.push_back(dlg.SendMessage(WM_PRIVATE_FN));
        results.push_back(dlg.SendMessage(g_registeredMessage, 3));
        dlg.SendMessage(WM_SYSCOMMAND, kAboutCommand | 3);
        results.push_back(dlg.SendMessage(WM_QUERYDRAGICON));
        HELPINFO help = {};
        help.cbSize = sizeof help;
        help.iCtrlId = IDC_TEST_BUTTON;
        results.push_back(dlg.SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(&help)));
        results.push_back(dlg.SendMessage(WM_POWERBROADCAST, PBT_APMRESUMESUSPEND));
        HDC hdc = ::GetDC(dlg.m_hWnd);
        results.push_back(dlg.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc),
                                          reinterpret_cast<LPARAM>(hStatic)));
        ::ReleaseDC(dlg.m_hWnd, hdc);
        dlg.Invalidate();
        dlg.UpdateWindow();
        results.push_back(dlg.SendMessage(WM_USER + 9));  // unhandled
        char caption[32] = "";
        dlg.GetWindowText(caption, sizeof caption);       // default processing
        EXPECT_STREQ("Harness", caption);
    });
    std::function<void()> endAfterTimer = [&] {
        if (!dlg.m_log.empty() && dlg.m_log.back() == "timer 7")
            dlg.EndDialog(IDOK);
        else
            RunWhenIdle(endAfterTimer);
    };
    RunWhenIdle(endAfterTimer);

    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ((std::vector<std::string>{"close", "about", "help 1101", "power 7", "timer 7"}), dlg.m_log);
    ASSERT_EQ(8u, results.size());
    EXPECT_EQ(11, results[0]);
    EXPECT_EQ(0x4400, results[1]);
    EXPECT_EQ(1003, results[2]);
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.m_hIcon), results[3]);
    EXPECT_EQ(TRUE, results[4]);
    EXPECT_EQ(77, results[5]);
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.m_hBrush), results[6]);
    EXPECT_EQ(0, results[7]);
    EXPECT_EQ(hStatic, dlg.m_ctlColorWindows[CTLCOLOR_STATIC]);
    EXPECT_GE(dlg.m_nPaints, 1);
}

class CBindingDialog : public CDialog {
public:
    CBindingDialog() : CDialog(IDD_HARNESS) {}

    CButton m_button;
    CComboBox m_combo;
    CStatic m_static;
    CStatic m_extra;
    int m_nExtraId = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_TEST_BUTTON, m_button);
        DDX_Control(pDX, IDC_TEST_COMBO, m_combo);
        DDX_Control(pDX, IDC_TEST_STATIC, m_static);
        if (m_nExtraId != 0) DDX_Control(pDX, m_nExtraId, m_extra);
    }
};

TEST_F(MessageMapTest, DdxControlBindsAndSubclassesEachControlOnce)
{
    CBindingDialog dlg;
    RunWhenIdle([&] {
        HWND hCombo = ::GetDlgItem(dlg.m_hWnd, IDC_TEST_COMBO);
        EXPECT_EQ(hCombo, dlg.m_combo.m_hWnd);
        EXPECT_EQ(&dlg.m_button, dlg.GetDlgItem(IDC_TEST_BUTTON));
        EXPECT_EQ(&dlg.m_static, CWnd::FromHandlePermanent(::GetDlgItem(dlg.m_hWnd, IDC_TEST_STATIC)));
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(AfxWndProc), ::GetWindowLongPtr(hCombo, GWLP_WNDPROC));
        EXPECT_TRUE(dlg.UpdateData(FALSE));
        EXPECT_EQ(hCombo, dlg.m_combo.m_hWnd);
        dlg.m_combo.AddString("one");
        EXPECT_EQ(1, dlg.m_combo.GetCount()) << "the subclassed control still works";
        dlg.EndDialog(IDOK);
    });

    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(NULL, dlg.m_button.m_hWnd);
    EXPECT_EQ(NULL, dlg.m_combo.m_hWnd);
    EXPECT_EQ(NULL, dlg.m_static.m_hWnd);
}

TEST_F(MessageMapTest, MissingControlEndsTheDialogWithMinusOne)
{
    CBindingDialog dlg;
    dlg.m_nExtraId = IDC_NO_SUCH_CONTROL;
    EXPECT_EQ(-1, dlg.DoModal());
    EXPECT_EQ(NULL, dlg.m_extra.m_hWnd);
}

}  // namespace
