// CDialog's modal loop: hidden dialogs keep running, WM_QUIT and EndDialog end
// it, keyboard input goes through the dialog manager, owners are disabled.
#include "test_app.h"
#include "test_resource.h"
#include "ui_test_support.h"

#include <functional>

namespace {

using uitest::RunWhenIdle;
using uitest::TakeQuitMessage;

const UINT WM_PROBE = WM_APP + 1;

class CLoopDialog : public CDialog {
public:
    explicit CLoopDialog(UINT nIDTemplate = IDD_HARNESS, CWnd* pParent = NULL) : CDialog(nIDTemplate, pParent) {}

    int m_nProbes = 0;
    bool m_bProbedWhileHidden = false;
    int m_nCancels = 0;

protected:
    afx_msg LRESULT OnProbe(WPARAM, LPARAM)
    {
        ++m_nProbes;
        m_bProbedWhileHidden = !IsWindowVisible();
        return 0;
    }
    void OnCancel() override
    {
        ++m_nCancels;
        CDialog::OnCancel();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CLoopDialog, CDialog)
    ON_MESSAGE(WM_PROBE, OnProbe)
END_MESSAGE_MAP()

class ModalLoopTest : public uitest::UiTest {
protected:
    void TearDown() override
    {
        TestApp().m_pMainWnd = NULL;
        uitest::UiTest::TearDown();
    }
};

TEST_F(ModalLoopTest, HiddenDialogKeepsRunningUntilWmQuitIsTaken)
{
    CLoopDialog dlg;
    HWND hWnd = NULL;
    RunWhenIdle([&] {
        hWnd = dlg.m_hWnd;
        dlg.ShowWindow(SW_HIDE);
        RunWhenIdle([&] {
            dlg.PostMessage(WM_PROBE);
            RunWhenIdle([] { ::PostQuitMessage(3); });
        });
    });

    EXPECT_EQ(-1, dlg.DoModal());
    EXPECT_EQ(1, dlg.m_nProbes);
    EXPECT_TRUE(dlg.m_bProbedWhileHidden);
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(NULL, dlg.m_hWnd);
    int nExitCode = -1;
    EXPECT_TRUE(TakeQuitMessage(&nExitCode)) << "WM_QUIT is passed on to the loops outside";
    EXPECT_EQ(3, nExitCode);
}

TEST_F(ModalLoopTest, EndDialogEndsAHiddenDialogWithItsResult)
{
    CLoopDialog dlg;
    RunWhenIdle([&] {
        dlg.ShowWindow(SW_HIDE);
        RunWhenIdle([&] { dlg.EndDialog(42); });
    });

    EXPECT_EQ(42, dlg.DoModal());
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(ModalLoopTest, OneWmQuitEndsNestedLoops)
{
    CLoopDialog outer;
    INT_PTR nInnerResult = 0;
    RunWhenIdle([&] {
        CLoopDialog inner(IDD_HARNESS, &outer);
        RunWhenIdle([] { ::PostQuitMessage(0); });
        nInnerResult = inner.DoModal();
    });

    EXPECT_EQ(-1, outer.DoModal());
    EXPECT_EQ(-1, nInnerResult);
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(ModalLoopTest, DialogWithInvisibleTemplateIsShownOnceIdle)
{
    CLoopDialog dlg(IDD_HIDDEN_TEMPLATE);
    bool bVisible = false;
    int nChecks = 0;
    // Checks on later turns of the loop until the dialog shows (or gives up).
    std::function<void()> checkVisible = [&] {
        bVisible = dlg.IsWindowVisible() != FALSE;
        if (bVisible || ++nChecks == 50)
            dlg.EndDialog(IDOK);
        else
            RunWhenIdle(checkVisible);
    };
    RunWhenIdle(checkVisible);

    EXPECT_EQ(IDOK, dlg.DoModal());
    EXPECT_TRUE(bVisible);
}

TEST_F(ModalLoopTest, KeysGoThroughTheDialogManager)
{
    CLoopDialog escaped;
    RunWhenIdle([&] { ::PostMessage(::GetDlgItem(escaped.m_hWnd, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001); });
    EXPECT_EQ(IDCANCEL, escaped.DoModal());
    EXPECT_EQ(1, escaped.m_nCancels) << "Escape reaches the overridden OnCancel";

    CLoopDialog entered;
    RunWhenIdle([&] { ::PostMessage(::GetDlgItem(entered.m_hWnd, IDC_TEST_BUTTON), WM_KEYDOWN, VK_RETURN, 0x001C0001); });
    EXPECT_EQ(IDOK, entered.DoModal()) << "Enter presses the default button";
}

TEST_F(ModalLoopTest, MainWindowOwnsAndIsDisabledDuringAParentlessDialog)
{
    CLoopDialog mainDlg;
    HWND hWndMain = NULL, hWndOwner = NULL;
    BOOL bMainEnabledDuring = TRUE, bMainEnabledAfter = FALSE;
    RunWhenIdle([&] {
        hWndMain = mainDlg.m_hWnd;
        TestApp().m_pMainWnd = &mainDlg;
        CLoopDialog popup(IDD_HIDDEN_TEMPLATE);
        RunWhenIdle([&] {
            hWndOwner = ::GetWindow(popup.m_hWnd, GW_OWNER);
            bMainEnabledDuring = ::IsWindowEnabled(hWndMain);
            popup.EndDialog(IDOK);
        });
        popup.DoModal();
        bMainEnabledAfter = ::IsWindowEnabled(hWndMain);
        TestApp().m_pMainWnd = NULL;
        mainDlg.EndDialog(IDOK);
    });

    mainDlg.DoModal();
    EXPECT_EQ(hWndMain, hWndOwner);
    EXPECT_FALSE(bMainEnabledDuring);
    EXPECT_TRUE(bMainEnabledAfter);
}

TEST_F(ModalLoopTest, EndOfTheMainWindowClearsItAndEndsTheApplication)
{
    CLoopDialog mainDlg;
    TestApp().m_pMainWnd = &mainDlg;
    RunWhenIdle([&] { mainDlg.EndDialog(IDOK); });

    EXPECT_EQ(IDOK, mainDlg.DoModal());
    EXPECT_EQ(NULL, AfxGetMainWnd());
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(ModalLoopTest, MissingTemplateReturnsMinusOne)
{
    CDialog dlg(IDD_MISSING);
    EXPECT_EQ(-1, dlg.DoModal());
    EXPECT_EQ(NULL, dlg.m_hWnd);
}

}  // namespace
