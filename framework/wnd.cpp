// wnd.cpp - CCmdTarget, CWnd and the framework's window procedure.
#include "wnd.h"

#include "app.h"
#include "dialog.h"
#include "gdi.h"
#include "handle_map.h"
#include "menu.h"

namespace {

typedef CHandleMap<CWnd, HWND, &CWnd::m_hWnd> CWndMap;

CWndMap& WndMap()
{
    static CWndMap map;
    return map;
}

// The message AfxWndProc is handling (the innermost one), for Default and reflection.
MSG g_lastSentMsg;

bool EntryMatches(const AFX_MSGMAP_ENTRY& entry, UINT nMsg, UINT nCode, UINT nID)
{
    if (entry.pnRegisteredMessage != NULL)
        return *entry.pnRegisteredMessage != 0 && *entry.pnRegisteredMessage == nMsg;
    if (entry.nMessage != nMsg) return false;
    return nMsg != WM_COMMAND || (entry.nCode == nCode && entry.nID <= nID && nID <= entry.nLastID);
}

}  // namespace

/////////////////////////////////////////////////////////////////////////////
// CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = { { 0, 0, 0, 0, NULL, NULL } };
    static const AFX_MSGMAP messageMap = { NULL, &entries[0] };
    return &messageMap;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(UINT nMsg, UINT nCode, UINT nID) const
{
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != NULL;
         pMap = pMap->pfnGetBaseMap != NULL ? pMap->pfnGetBaseMap() : NULL) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->pfnHandler != NULL; ++pEntry) {
            if (EntryMatches(*pEntry, nMsg, nCode, nID)) return pEntry;
        }
    }
    return NULL;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode)
{
    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(WM_COMMAND, static_cast<UINT>(nCode), nID);
    if (pEntry == NULL) return FALSE;
    LRESULT lResult = 0;
    return pEntry->pfnHandler(this, WM_COMMAND, MAKEWPARAM(nID, nCode), 0, &lResult);
}

/////////////////////////////////////////////////////////////////////////////
// Window procedure

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == NULL) return ::DefWindowProc(hWnd, nMsg, wParam, lParam);

    MSG saved = g_lastSentMsg;
    g_lastSentMsg.hwnd = hWnd;
    g_lastSentMsg.message = nMsg;
    g_lastSentMsg.wParam = wParam;
    g_lastSentMsg.lParam = lParam;
    LRESULT lResult = pWnd->WindowProc(nMsg, wParam, lParam);
    g_lastSentMsg = saved;
    return lResult;
}

/////////////////////////////////////////////////////////////////////////////
// CWnd: handles and subclassing

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
    ON_WM_DRAWITEM()
    ON_WM_MEASUREITEM()
    ON_WM_DELETEITEM()
    ON_WM_COMPAREITEM()
    ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL) {}

CWnd::~CWnd()
{
    if (m_hWnd != NULL && FromHandlePermanent(m_hWnd) == this) DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    return WndMap().FromHandle(hWnd);
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd != NULL ? WndMap().LookupPermanent(hWnd) : NULL;
}

void CWnd::DeleteTempMap()
{
    WndMap().DeleteTemp();
    CDC::DeleteTempMap();
    CMenu::DeleteTempMap();
}

BOOL CWnd::Attach(HWND hWndNew)
{
    if (hWndNew == NULL || m_hWnd != NULL || FromHandlePermanent(hWndNew) != NULL) return FALSE;
    WndMap().SetPermanent(hWndNew, this);
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    if (hWnd != NULL && FromHandlePermanent(hWnd) == this) WndMap().RemovePermanent(hWnd);
    m_hWnd = NULL;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (!Attach(hWnd)) return FALSE;
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtr(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    if (m_pfnSuper == NULL) {  // not a window of this process
        Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    HWND hWnd = m_hWnd;
    if (hWnd == NULL) return FALSE;
    BOOL bResult = ::DestroyWindow(hWnd);
    // A window attached without subclassing never showed us its WM_NCDESTROY.
    if (m_hWnd == hWnd && !::IsWindow(hWnd)) Detach();
    return bResult;
}

/////////////////////////////////////////////////////////////////////////////
// CWnd: message routing

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult)) lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) return FALSE;
        *pResult = 1;
        return TRUE;
    }
    UINT nKey = (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) ? WM_CTLCOLOR : message;
    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(nKey, 0, 0);
    if (pEntry == NULL) return FALSE;
    return pEntry->pfnHandler(this, message, wParam, lParam, pResult);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != NULL) return ::CallWindowProc(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProc(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(g_lastSentMsg.message, g_lastSentMsg.wParam, g_lastSentMsg.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    HWND hWndCtrl = reinterpret_cast<HWND>(lParam);
    int nCode = HIWORD(wParam);
    if (hWndCtrl == NULL) nCode = CN_COMMAND;  // menu or accelerator
    if (nID == 0) return FALSE;
    return OnCmdMsg(nID, nCode);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return FALSE;
}

BOOL CWnd::ReflectLastMsg(HWND hWndChild, LRESULT* pResult)
{
    CWnd* pChild = FromHandlePermanent(hWndChild);
    if (pChild == NULL || pChild == this) return FALSE;
    LRESULT lResult = 0;
    if (!pChild->OnChildNotify(g_lastSentMsg.message, g_lastSentMsg.wParam, g_lastSentMsg.lParam, &lResult))
        return FALSE;
    if (pResult != NULL) *pResult = lResult;
    return TRUE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return !dx.m_bFailed;
}

/////////////////////////////////////////////////////////////////////////////
// CWnd: default message handlers

void CWnd::OnPaint() { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HBRUSH CWnd::OnCtlColor(CDC*, CWnd*, UINT) { return reinterpret_cast<HBRUSH>(Default()); }

void CWnd::OnDrawItem(int, LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    if (lpDrawItemStruct->CtlType != ODT_MENU && ReflectLastMsg(lpDrawItemStruct->hwndItem)) return;
    Default();
}

void CWnd::OnMeasureItem(int, LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    if (lpMeasureItemStruct->CtlType != ODT_MENU) {
        HWND hWndCtrl = ::GetDlgItem(m_hWnd, static_cast<int>(lpMeasureItemStruct->CtlID));
        if (hWndCtrl != NULL && ReflectLastMsg(hWndCtrl)) return;
    }
    Default();
}

void CWnd::OnDeleteItem(int, LPDELETEITEMSTRUCT lpDeleteItemStruct)
{
    if (ReflectLastMsg(lpDeleteItemStruct->hwndItem)) return;
    Default();
}

int CWnd::OnCompareItem(int, LPCOMPAREITEMSTRUCT lpCompareItemStruct)
{
    LRESULT lResult = 0;
    if (ReflectLastMsg(lpCompareItemStruct->hwndItem, &lResult)) return static_cast<int>(lResult);
    return static_cast<int>(Default());
}

void CWnd::OnNcDestroy()
{
    // The main window going away ends the application's message loop.
    CWinApp* pApp = AfxGetApp();
    if (pApp != NULL && pApp->m_pMainWnd == this) {
        pApp->m_pMainWnd = NULL;
        ::PostQuitMessage(0);
    }
    LONG_PTR ourProc = ::GetWindowLongPtr(m_hWnd, GWLP_WNDPROC);
    Default();
    // Put the previous procedure back unless someone subclassed after us.
    if (m_pfnSuper != NULL && ::GetWindowLongPtr(m_hWnd, GWLP_WNDPROC) == ourProc)
        ::SetWindowLongPtr(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = NULL;
    Detach();
}

/////////////////////////////////////////////////////////////////////////////
// CWnd: window state and text

DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLong(m_hWnd, GWL_STYLE)); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }
BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
void CWnd::UpdateWindow() { ::UpdateWindow(m_hWnd); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }

void CWnd::CenterWindow()
{
    HWND hWndCenter = ::GetWindow(m_hWnd, GW_OWNER);
    // Never centre over a hidden or minimised owner: use the work area instead.
    if (hWndCenter != NULL && (!::IsWindowVisible(hWndCenter) || ::IsIconic(hWndCenter))) hWndCenter = NULL;
    MONITORINFO mi;
    mi.cbSize = sizeof mi;
    ::GetMonitorInfo(::MonitorFromWindow(hWndCenter != NULL ? hWndCenter : m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    RECT rcArea = mi.rcWork;
    RECT rcCenter = rcArea;
    if (hWndCenter != NULL) ::GetWindowRect(hWndCenter, &rcCenter);
    RECT rcWindow;
    GetWindowRect(&rcWindow);
    int cx = rcWindow.right - rcWindow.left;
    int cy = rcWindow.bottom - rcWindow.top;
    int x = (rcCenter.left + rcCenter.right) / 2 - cx / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - cy / 2;
    if (x + cx > rcArea.right) x = rcArea.right - cx;
    if (x < rcArea.left) x = rcArea.left;
    if (y + cy > rcArea.bottom) y = rcArea.bottom - cy;
    if (y < rcArea.top) y = rcArea.top;
    ::SetWindowPos(m_hWnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::SetWindowText(LPCTSTR lpszString) { ::SetWindowText(m_hWnd, lpszString); }
void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) { ::SetDlgItemText(m_hWnd, nID, lpszString); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer)
{
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const
{
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

HWND CWnd::GetSafeOwner(CWnd* pParent)
{
    HWND hWnd = pParent != NULL ? pParent->m_hWnd : NULL;
    bool bFromMainWnd = hWnd == NULL;
    if (bFromMainWnd) {
        CWnd* pMainWnd = AfxGetMainWnd();
        hWnd = pMainWnd != NULL ? pMainWnd->m_hWnd : NULL;
    }
    // A popup cannot be owned by a child window.
    while (hWnd != NULL && (::GetWindowLong(hWnd, GWL_STYLE) & WS_CHILD)) hWnd = ::GetParent(hWnd);
    if (bFromMainWnd && hWnd != NULL) hWnd = ::GetLastActivePopup(hWnd);
    return hWnd;
}
