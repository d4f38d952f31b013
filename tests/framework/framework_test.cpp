// The framework on its own: message-map dispatch, DDX_Control binding, the
// modal loop (hidden dialogs, WM_QUIT, owners, the dialog manager), CString's
// string loading, the command line and AfxMessageBox.
#include "test_resource.h"
#include "ui_test_support.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using uitest::RunWhenIdle;
using uitest::TakeQuitMessage;
using uitest::TestApp;

const UINT WM_PRIVATE = WM_USER + 2;
const UINT WM_PROBE = 0x4400;
const UINT kAboutCommand = 0x0010;
const UINT g_registeredMessage = ::RegisterWindowMessage("Framework test registered message");

class CMapDialog : public CDialog {
public:
    explicit CMapDialog(UINT nIDTemplate = IDD_HARNESS, CWnd* pParent = NULL) : CDialog(nIDTemplate, pParent) {}

    std::vector<std::string> m_log;
    HICON m_hIcon = ::LoadIcon(NULL, IDI_APPLICATION);
    HBRUSH m_hBrush = ::GetSysColorBrush(COLOR_INFOBK);
    HDC m_hProbeDC = NULL;
    int m_nBindId = 0;  // a control to bind m_static to, if any
    CStatic m_static;

    void Log(const std::string& entry) { m_log.push_back(entry); }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (m_nBindId != 0) DDX_Control(pDX, m_nBindId, m_static);
    }
    afx_msg void OnTestButton() { Log("button"); }
    afx_msg void OnComboSelChange() { Log("selchange"); }
    afx_msg void OnTimer(UINT_PTR nIDEvent) { Log("timer " + std::to_string(nIDEvent)); }
    afx_msg LRESULT OnPrivate(WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam) + lParam; }
    afx_msg LRESULT OnProbe(WPARAM, LPARAM) { return Log(::IsWindowVisible(m_hWnd) ? "probe" : "probe while hidden"), 0; }
    afx_msg LRESULT OnRegistered(WPARAM wParam, LPARAM) { return 1000 + static_cast<LRESULT>(wParam); }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam)
    {
        if ((nID & 0xFFF0) == kAboutCommand) return Log("about");
        CDialog::OnSysCommand(nID, lParam);
    }
    afx_msg HCURSOR OnQueryDragIcon() { return m_hIcon; }
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo) { return Log("help " + std::to_string(pHelpInfo->iCtrlId)), TRUE; }
    afx_msg UINT OnPowerBroadcast(UINT nPowerEvent, LPARAM) { return Log("power " + std::to_string(nPowerEvent)), 77; }
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor)
    {
        if (pDC->GetSafeHdc() == m_hProbeDC)  // not the painting's own requests
            Log("ctlcolor " + std::to_string(nCtlColor) + (pWnd->m_hWnd == ::GetDlgItem(m_hWnd, IDC_TEST_STATIC) ? " static" : ""));
        return m_hBrush;
    }
    void OnCancel() override
    {
        Log("cancel");
        CDialog::OnCancel();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CMapDialog, CDialog)
    ON_BN_CLICKED(IDC_TEST_BUTTON, OnTestButton)
    ON_CBN_SELCHANGE(IDC_TEST_COMBO, OnComboSelChange)
    ON_WM_TIMER()
    ON_MESSAGE(WM_PRIVATE, OnPrivate)
    ON_MESSAGE(WM_PROBE, OnProbe)
    ON_REGISTERED_MESSAGE(g_registeredMessage, OnRegistered)
    ON_WM_SYSCOMMAND()
    ON_WM_QUERYDRAGICON()
    ON_WM_HELPINFO()
    ON_WM_POWERBROADCAST()
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

class FrameworkTest : public uitest::UiTest {};

HWND Ctl(const CMapDialog& dlg, int nID) { return ::GetDlgItem(dlg.m_hWnd, nID); }

TEST_F(FrameworkTest, MessageMapEntriesUnpackTheirMessagesAndReturnTheHandlersResults)
{
    CMapDialog dlg;
    RunWhenIdle([&] {
        HWND hCombo = Ctl(dlg, IDC_TEST_COMBO);
        HELPINFO help = { sizeof help, HELPINFO_WINDOW, IDC_TEST_BUTTON, NULL, 0, {0, 0} };
        dlg.m_hProbeDC = ::GetDC(dlg.m_hWnd);
        const struct {
            UINT message;
            WPARAM wParam;
            LPARAM lParam;
            LRESULT result;
            std::vector<std::string> log;
        } cases[] = {
            {WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED), (LPARAM)Ctl(dlg, IDC_TEST_BUTTON), 1, {"button"}},
            {WM_COMMAND, MAKEWPARAM(IDC_TEST_COMBO, CBN_SELCHANGE), (LPARAM)hCombo, 1, {"selchange"}},
            {WM_COMMAND, MAKEWPARAM(IDC_TEST_COMBO, CBN_DROPDOWN), (LPARAM)hCombo, 0, {}},
            {WM_PRIVATE, 5, 6, 11, {}},
            {g_registeredMessage, 3, 0, 1003, {}},
            {WM_SYSCOMMAND, kAboutCommand | 3, 0, 0, {"about"}},
            {WM_QUERYDRAGICON, 0, 0, (LRESULT)dlg.m_hIcon, {}},
            {WM_HELP, 0, (LPARAM)&help, TRUE, {"help 1101"}},
            {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, 77, {"power 7"}},
            {WM_CTLCOLORSTATIC, (WPARAM)dlg.m_hProbeDC, (LPARAM)Ctl(dlg, IDC_TEST_STATIC), (LRESULT)dlg.m_hBrush,
             {"ctlcolor 6 static"}},
            {WM_TIMER, 7, 0, 0, {"timer 7"}},
            {WM_USER + 9, 0, 0, 0, {}},  // nobody's: the default processing
        };
        for (const auto& c : cases) {
            dlg.m_log.clear();
            EXPECT_EQ(c.result, dlg.SendMessage(c.message, c.wParam, c.lParam)) << "message " << std::hex << c.message;
            EXPECT_EQ(c.log, dlg.m_log) << "message " << std::hex << c.message << ", wParam " << c.wParam;
        }
        ::ReleaseDC(dlg.m_hWnd, dlg.m_hProbeDC);
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
}

TEST_F(FrameworkTest, CommandsTheDialogLacksGoToTheApplicationAndEscapeToTheOverriddenOnCancel)
{
    CMapDialog dlg, escaped;
    int nHelpCommandsBefore = TestApp().m_nHelpCommands;
    RunWhenIdle([&] {
        dlg.SendMessage(WM_COMMAND, ID_HELP);  // not the dialog's: goes on to the application
        dlg.PostMessage(WM_SYSCOMMAND, SC_CLOSE);  // the default processing cancels the dialog
    });
    EXPECT_EQ(IDCANCEL, dlg.DoModal());
    EXPECT_EQ(nHelpCommandsBefore + 1, TestApp().m_nHelpCommands);
    EXPECT_NE(dlg.m_log.end(), std::find(dlg.m_log.begin(), dlg.m_log.end(), "cancel"));
    RunWhenIdle([&] { ::PostMessage(Ctl(escaped, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001); });
    EXPECT_EQ(IDCANCEL, escaped.DoModal()) << "through the dialog manager";
    EXPECT_EQ(std::vector<std::string>{"cancel"}, escaped.m_log);
}

TEST_F(FrameworkTest, DdxControlSubclassesTheControlUntilTheDialogEnds)
{
    CMapDialog dlg;
    dlg.m_nBindId = IDC_TEST_STATIC;
    RunWhenIdle([&] {
        EXPECT_EQ(&dlg.m_static, CWnd::FromHandlePermanent(Ctl(dlg, IDC_TEST_STATIC)));
        EXPECT_TRUE(dlg.UpdateData(TRUE)) << "a second exchange keeps the binding";
        dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_EQ(NULL, dlg.m_static.m_hWnd);

    CMapDialog missing;
    missing.m_nBindId = IDC_NO_SUCH_CONTROL;
    EXPECT_EQ(-1, missing.DoModal()) << "a control that is not there ends the dialog";
    EXPECT_EQ(-1, CDialog(IDD_MISSING).DoModal()) << "a template that is not there";
}

TEST_F(FrameworkTest, HiddenDialogKeepsRunningUntilWmQuitWhichEndsNestedLoopsAndIsPassedOn)
{
    CMapDialog dlg;
    HWND hWnd = NULL;
    INT_PTR nInnerResult = 0;
    RunWhenIdle([&] {
        hWnd = dlg.m_hWnd;
        dlg.ShowWindow(SW_HIDE);
        RunWhenIdle([&] {
            dlg.PostMessage(WM_PROBE);
            RunWhenIdle([] { ::PostQuitMessage(3); });
            nInnerResult = CMapDialog(IDD_HARNESS, &dlg).DoModal();
        });
    });
    EXPECT_EQ(-1, dlg.DoModal());
    EXPECT_EQ(-1, nInnerResult);
    EXPECT_EQ(std::vector<std::string>{"probe while hidden"}, dlg.m_log);
    EXPECT_FALSE(::IsWindow(hWnd));
    int nExitCode = -1;
    EXPECT_TRUE(TakeQuitMessage(&nExitCode)) << "WM_QUIT is posted again for the loops outside";
    EXPECT_EQ(3, nExitCode);

    CMapDialog ended;
    RunWhenIdle([&] {
        ended.ShowWindow(SW_HIDE);
        RunWhenIdle([&] { ended.EndDialog(42); });
    });
    EXPECT_EQ(42, ended.DoModal());
    EXPECT_FALSE(TakeQuitMessage());
}

std::string Load(UINT nID, BOOL* pbLoaded = nullptr)
{
    CString text("previous content");
    BOOL bLoaded = text.LoadString(nID);
    if (pbLoaded != nullptr) *pbLoaded = bLoaded;
    return static_cast<LPCTSTR>(text);
}

TEST(CStringTest, LoadStringChoosesEachBlockInTheThreadLanguageAndFormatHasNoLimit)
{
    uitest::ThreadLanguage german(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN));
    EXPECT_EQ("Hallo Gr\xFC\xDF" "e", Load(IDS_GREETING)) << "converted to the ANSI code page (1252)";
    BOOL bLoaded = TRUE;
    EXPECT_EQ("", Load(IDS_ENGLISH_ONLY_IN_BLOCK, &bLoaded)) << "the German block is chosen, and it lacks this id";
    EXPECT_FALSE(bLoaded);
    EXPECT_EQ("Only English", Load(IDS_ENGLISH_BLOCK)) << "a block missing in German falls back";
    EXPECT_EQ("", Load(IDS_MISSING, &bLoaded));
    EXPECT_FALSE(bLoaded);

    CString text;  // Format has no length limit
    text.Format("[%s] %d", std::string(3000, 'x').c_str(), -12);
    EXPECT_EQ("[" + std::string(3000, 'x') + "] -12", static_cast<LPCTSTR>(text));
}

TEST(CommandLineTest, FileNameIsTheFirstArgumentThatIsNotAFlag)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{}, ""}, {{"Instant"}, "Instant"}, {{"/Instant", "Close", "Instant"}, "Close"}, {{"-Close"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<const char*> args = c.first;
        args.insert(args.begin(), "program.exe");
        int savedArgc = __argc;
        char** savedArgv = __argv;
        __argc = static_cast<int>(args.size());
        __argv = const_cast<char**>(args.data());
        CCommandLineInfo info;
        TestApp().ParseCommandLine(info);
        __argc = savedArgc;
        __argv = savedArgv;
        EXPECT_EQ(c.second, static_cast<LPCTSTR>(info.m_strFileName));
    }
}

TEST_F(FrameworkTest, MainWindowOwnsParentlessDialogsAndMessageBoxes)
{
    CMapDialog mainDlg;
    HWND hWndPopupOwner = NULL, hWndBox = NULL, hWndBoxOwner = NULL;
    BOOL bEnabledDuring = TRUE, bEnabledAfter = FALSE, bPopupShown = FALSE;
    int nResult = 0;
    RunWhenIdle([&] {
        TestApp().m_pMainWnd = &mainDlg;
        CMapDialog popup(IDD_HIDDEN_TEMPLATE);
        int nChecks = 0;
        std::function<void()> whenShown = [&] {  // its template is not visible: shown once the loop is idle
            bPopupShown = ::IsWindowVisible(popup.m_hWnd);
            if (!bPopupShown && ++nChecks < 50) return RunWhenIdle(whenShown);
            hWndPopupOwner = ::GetWindow(popup.m_hWnd, GW_OWNER);
            bEnabledDuring = ::IsWindowEnabled(mainDlg.m_hWnd);
            popup.EndDialog(IDOK);
        };
        RunWhenIdle(whenShown);
        popup.DoModal();
        bEnabledAfter = ::IsWindowEnabled(mainDlg.m_hWnd);
        RunWhenIdle([&] {  // inside the message box's loop
            hWndBox = ::FindWindow("#32770", "framework_core_tests");
            hWndBoxOwner = ::GetWindow(hWndBox, GW_OWNER);
            EXPECT_NE(nullptr, ::FindWindowEx(hWndBox, NULL, "Static", "Missing registry!"));
            ::PostMessage(hWndBox, WM_COMMAND, IDOK, 0);
        });
        nResult = AfxMessageBox("Missing registry!");
        EXPECT_EQ(mainDlg.m_hWnd, hWndPopupOwner);
        EXPECT_EQ(mainDlg.m_hWnd, hWndBoxOwner);
        TestApp().m_pMainWnd = NULL;
        mainDlg.EndDialog(IDOK);
    });
    mainDlg.DoModal();
    EXPECT_TRUE(bPopupShown) << "shown once its loop went idle";
    EXPECT_FALSE(bEnabledDuring);
    EXPECT_TRUE(bEnabledAfter);
    EXPECT_NE(nullptr, hWndBox) << "no message box captioned with the executable's name";
    EXPECT_EQ(IDOK, nResult);
}

}  // namespace
