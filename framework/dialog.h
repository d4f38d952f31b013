// dialog.h - CDialog (modal dialogs from templates) and dialog data exchange.
//
// DoModal creates the dialog from its template and runs a modal message loop
// as MFC's does:
//   - the loop runs until EndDialog, whether the dialog is visible or hidden;
//   - taking WM_QUIT from the queue ends it too: the WM_QUIT is posted again
//     (so enclosing loops end as well) and DoModal returns -1;
//   - a dialog whose template is not visible is shown when the queue first
//     goes idle, and a dialog at template position 0,0 is centred over its
//     owner (or the screen) after OnInitDialog;
//   - the owner is the parent given to the constructor, or else the
//     application's main window (its last active popup); it is disabled while
//     the dialog runs;
//   - keyboard input goes through IsDialogMessage (PreTranslateMessage).
//
// OnInitDialog binds the controls (UpdateData(FALSE) runs DoDataExchange);
// when a DDX_Control finds no control, the dialog ends with -1.
#pragma once

#include "wnd.h"

// Carries one data exchange between a dialog's controls and its members.
class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
    BOOL m_bFailed;           // set by Fail; UpdateData then returns FALSE

    // The window of control nIDC, or NULL (and the exchange failed).
    HWND PrepareCtrl(int nIDC);
    void Fail() { m_bFailed = TRUE; }
};

// Binds rControl to control nIDC of the dialog and subclasses it, so the
// control's own messages and the owner-draw messages its parent reflects
// reach rControl. Binding happens once; later exchanges leave it as it is.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);
    // Destroys a window still open (a dialog object should outlive its window).
    virtual ~CDialog();

    // Runs the dialog; returns the EndDialog result, or -1 when the template
    // cannot be loaded, the initialisation fails, or WM_QUIT ended the loop.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    // IDOK: UpdateData(TRUE), then EndDialog(IDOK). IDCANCEL: EndDialog(IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();

    DECLARE_MESSAGE_MAP()

private:
    HWND FindOwner() const;
    void RunModalLoop();
    void CenterIfAutoPlaced(const RECT& rcBefore, DWORD dwStyleBefore);
    BOOL IsTemplateAutoPlaced() const;

    LPCTSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;
    INT_PTR m_nModalResult;
    BOOL m_bContinueModal;

    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

// The dialog procedure of every CDialog: runs OnInitDialog for WM_INITDIALOG.
// Everything else reaches the object through its subclassed window procedure.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
