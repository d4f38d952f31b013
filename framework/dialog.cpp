// dialog.cpp - CDialog, its modal loop, and dialog data exchange.
#include "dialog.h"

#include "app.h"

#include <string.h>

namespace {

// The dialog whose window CreateDialogParam is making; AfxDlgProc subclasses
// that window at the first message it sees.
CDialog* g_pDialogInit = NULL;

// Messages after which the loop counts as idle again (MFC's rule, less the
// mouse-move filtering).
bool IsIdleMessage(const MSG& msg)
{
    const UINT WM_SYSTIMER = 0x0118;  // caret blink
    return msg.message != WM_PAINT && msg.message != WM_SYSTIMER;
}

}  // namespace

/////////////////////////////////////////////////////////////////////////////
// Data exchange

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd), m_bFailed(FALSE)
{
}

HWND CDataExchange::PrepareCtrl(int nIDC)
{
    HWND hWndCtrl = ::GetDlgItem(m_pDlgWnd->m_hWnd, nIDC);
    if (hWndCtrl == NULL) Fail();
    return hWndCtrl;
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd != NULL) return;  // bound by an earlier exchange
    HWND hWndCtrl = pDX->PrepareCtrl(nIDC);
    if (hWndCtrl == NULL || !rControl.SubclassWindow(hWndCtrl)) pDX->Fail();
}

/////////////////////////////////////////////////////////////////////////////
// CDialog

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCE(nIDTemplate)), m_pParentWnd(pParentWnd), m_nModalResult(-1),
      m_bContinueModal(FALSE)
{
}

CDialog::~CDialog()
{
    if (m_hWnd != NULL) DestroyWindow();
}

INT_PTR CDialog::DoModal()
{
    HWND hWndOwner = FindOwner();
    BOOL bEnableOwner = FALSE;
    if (hWndOwner != NULL && ::IsWindowEnabled(hWndOwner)) {
        ::EnableWindow(hWndOwner, FALSE);
        bEnableOwner = TRUE;
    }

    m_nModalResult = -1;
    m_bContinueModal = TRUE;
    HINSTANCE hInst = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
    g_pDialogInit = this;
    HWND hWnd = ::CreateDialogParam(hInst, m_lpszTemplateName, hWndOwner, AfxDlgProc,
                                    reinterpret_cast<LPARAM>(this));
    g_pDialogInit = NULL;

    if (hWnd != NULL && m_hWnd != NULL && m_bContinueModal) RunModalLoop();
    m_bContinueModal = FALSE;
    if (m_hWnd != NULL)
        ::SetWindowPos(m_hWnd, NULL, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    if (bEnableOwner) ::EnableWindow(hWndOwner, TRUE);
    if (hWndOwner != NULL && m_hWnd != NULL && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(hWndOwner);
    if (m_hWnd != NULL) DestroyWindow();
    return m_nModalResult;
}

HWND CDialog::FindOwner() const
{
    if (m_pParentWnd == NULL && AfxGetMainWnd() == this) return NULL;
    return GetSafeOwner(m_pParentWnd);
}

void CDialog::RunModalLoop()
{
    BOOL bIdle = TRUE;
    BOOL bShowIdle = (GetStyle() & WS_VISIBLE) == 0;
    MSG msg;
    for (;;) {
        while (bIdle && !::PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            if (bShowIdle) {
                ShowWindow(SW_SHOWNORMAL);
                UpdateWindow();
                bShowIdle = FALSE;
            }
            AfxOnIdle();
            bIdle = FALSE;
        }
        do {
            if (!m_bContinueModal) return;
            if (!AfxPumpMessage()) return;  // WM_QUIT, posted again by AfxPumpMessage
            if (!m_bContinueModal) return;
            if (IsIdleMessage(*AfxGetCurrentMessage())) bIdle = TRUE;
        } while (::PeekMessage(&msg, NULL, 0, 0, PM_NOREMOVE));
    }
}

void CDialog::EndDialog(int nResult)
{
    if (m_bContinueModal) {
        m_nModalResult = nResult;
        m_bContinueModal = FALSE;
        PostMessage(WM_NULL);  // wakes the modal loop
    }
    ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog()
{
    if (!UpdateData(FALSE)) {
        EndDialog(-1);
        return FALSE;
    }
    return TRUE;  // focus to the first tab stop
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg)
{
    bool bInput = (pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST) ||
                  (pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST);
    return bInput && m_hWnd != NULL && ::IsDialogMessage(m_hWnd, pMsg);
}

BOOL CDialog::OnCmdMsg(UINT nID, int nCode)
{
    if (CWnd::OnCmdMsg(nID, nCode)) return TRUE;
    // Framework commands the dialog does not handle go to the application.
    const UINT kFirstCommandId = 0x8000, kFirstSystemId = 0xF000;
    if (nCode != CN_COMMAND || nID < kFirstCommandId || nID >= kFirstSystemId) return FALSE;
    CWinApp* pApp = AfxGetApp();
    return pApp != NULL && pApp->OnCmdMsg(nID, nCode);
}

BOOL CDialog::IsTemplateAutoPlaced() const
{
    HINSTANCE hInst = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
    HRSRC hResource = ::FindResource(hInst, m_lpszTemplateName, RT_DIALOG);
    HGLOBAL hTemplate = hResource != NULL ? ::LoadResource(hInst, hResource) : NULL;
    const WORD* pWords = hTemplate != NULL ? static_cast<const WORD*>(::LockResource(hTemplate)) : NULL;
    if (pWords == NULL) return FALSE;
    // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF.
    bool bExtended = pWords[0] == 1 && pWords[1] == 0xFFFF;
    const BYTE* pBytes = reinterpret_cast<const BYTE*>(pWords);
    DWORD dwStyle;
    short x, y;
    if (bExtended) {
        memcpy(&dwStyle, pBytes + 12, sizeof dwStyle);
        memcpy(&x, pBytes + 18, sizeof x);
        memcpy(&y, pBytes + 20, sizeof y);
    } else {
        memcpy(&dwStyle, pBytes, sizeof dwStyle);
        memcpy(&x, pBytes + 10, sizeof x);
        memcpy(&y, pBytes + 12, sizeof y);
    }
    return (dwStyle & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0 && x == 0 && y == 0;
}

// MFC places a dialog that the template leaves at 0,0: once initialised, if it
// is still hidden, has not been moved and its owner (if any) is disabled, it
// is centred over the owner.
void CDialog::CenterIfAutoPlaced(const RECT& rcBefore, DWORD dwStyleBefore)
{
    if (dwStyleBefore & WS_VISIBLE) return;
    if (GetStyle() & (WS_VISIBLE | WS_CHILD)) return;
    RECT rcNow;
    GetWindowRect(&rcNow);
    if (rcNow.left != rcBefore.left || rcNow.top != rcBefore.top) return;
    HWND hWndOwner = ::GetWindow(m_hWnd, GW_OWNER);
    if (hWndOwner != NULL && ::IsWindowEnabled(hWndOwner)) return;
    if (!IsTemplateAutoPlaced()) return;
    CenterWindow();
}

INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT nMsg, WPARAM, LPARAM)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == NULL && g_pDialogInit != NULL) {
        CDialog* pNew = g_pDialogInit;
        g_pDialogInit = NULL;
        if (pNew->SubclassWindow(hWnd)) pWnd = pNew;
    }
    if (nMsg != WM_INITDIALOG) return FALSE;

    CDialog* pDialog = dynamic_cast<CDialog*>(pWnd);
    if (pDialog == NULL) return TRUE;
    RECT rcBefore;
    ::GetWindowRect(hWnd, &rcBefore);
    DWORD dwStyleBefore = pDialog->GetStyle();
    BOOL bSetFocus = pDialog->OnInitDialog();
    if (::IsWindow(hWnd)) pDialog->CenterIfAutoPlaced(rcBefore, dwStyleBefore);
    return bSetFocus;
}
