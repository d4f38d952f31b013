// wnd.h - CCmdTarget (message-map owner) and CWnd (a window handle with message routing).
//
// A CWnd receives its window's messages once the window is subclassed
// (SubclassWindow, DDX_Control, or CDialog creating its own window): the
// window procedure becomes AfxWndProc, which finds the object in the permanent
// handle map and calls WindowProc. WindowProc looks the message up in the
// object's message map (OnWndMsg) and passes what nobody handles to the
// previous window procedure (DefWindowProc). Default() does the same for the
// message being handled, from inside a handler.
//
// Owner-drawn controls: WM_DRAWITEM, WM_MEASUREITEM, WM_DELETEITEM and
// WM_COMPAREITEM that reach a parent window are reflected to the control's own
// object (OnChildNotify; CComboBox turns them into DrawItem, MeasureItem,
// DeleteItem and CompareItem), as MFC does.
#pragma once

#include <windows.h>

#include "cstring.h"
#include "msgmap.h"

class CDC;
class CMenu;
class CDataExchange;

class CCmdTarget {
public:
    virtual ~CCmdTarget() {}

    // Calls the WM_COMMAND entry for this id and notification code, if the
    // message map chain has one. TRUE when a handler ran.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);

protected:
    // The first entry of this object's message map chain that matches.
    const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT nMsg, UINT nCode, UINT nID) const;

    DECLARE_MESSAGE_MAP()
};

class CWnd : public CCmdTarget {
public:
    HWND m_hWnd;

    CWnd();
    // Destroys a window still attached to this object (as MFC does).
    virtual ~CWnd();

    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to hWnd, else a temporary one (see handle_map.h).
    static CWnd* FromHandle(HWND hWnd);
    // The object attached to hWnd, or NULL.
    static CWnd* FromHandlePermanent(HWND hWnd);
    // Deletes the temporary CWnd, CDC and CMenu objects (done at idle time).
    static void DeleteTempMap();

    // Attach/Detach bind the object to a window without touching its messages.
    BOOL Attach(HWND hWndNew);
    HWND Detach();
    // Attaches and routes the window's messages through this object. Fails when
    // hWnd is NULL or already attached to another object.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
    // Gives the window its previous window procedure back and detaches it.
    HWND UnsubclassWindow();
    virtual BOOL DestroyWindow();

    CWnd* GetDlgItem(int nID) const;
    void GetDlgItem(int nID, HWND* phWnd) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;
    DWORD GetStyle() const;
    DWORD GetExStyle() const;

    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    CWnd* SetFocus();
    void UpdateWindow();
    void Invalidate(BOOL bErase = TRUE);
    void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    void CenterWindow(CWnd* pAlternateOwner = NULL);

    void SetWindowText(LPCTSTR lpszString);
    int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const;
    void GetWindowText(CString& rString) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int nID, LPCTSTR lpszString);
    void CheckDlgButton(int nIDButton, UINT nCheck);
    UINT IsDlgButtonChecked(int nIDButton) const;
    LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);

    CMenu* GetSystemMenu(BOOL bRevert) const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = NULL, UINT nType = MB_OK);

    // Moves data between the controls and the members (DoDataExchange).
    // FALSE when the exchange failed, for example a control missing.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Chance to take a message out of the loop before it is dispatched.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // The owner a modal window or message box should get: pParent's top-level
    // window, or else the last active popup of the application's main window.
    static HWND GetSafeOwner(CWnd* pParent);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // The window procedure the window had before it was subclassed.
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Reflects control notifications, then routes the command (OnCmdMsg).
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A message the parent reflects to this control; TRUE when handled.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void DoDataExchange(CDataExchange* pDX);
    // Called after the window is gone and the object detached.
    virtual void PostNcDestroy();

    // Default processing of the message being handled.
    LRESULT Default();
    // Hands the message being handled to hWndChild's object, if it has one.
    BOOL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = NULL);

    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg void OnPaint();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
    afx_msg UINT OnPowerBroadcast(UINT nPowerEvent, LPARAM nEventData);
    afx_msg HBRUSH OnCtlColor(CDC* pDC, CWnd* pWnd, UINT nCtlColor);
    afx_msg void OnDrawItem(int nIDCtl, LPDRAWITEMSTRUCT lpDrawItemStruct);
    afx_msg void OnMeasureItem(int nIDCtl, LPMEASUREITEMSTRUCT lpMeasureItemStruct);
    afx_msg void OnDeleteItem(int nIDCtl, LPDELETEITEMSTRUCT lpDeleteItemStruct);
    afx_msg int OnCompareItem(int nIDCtl, LPCOMPAREITEMSTRUCT lpCompareItemStruct);
    afx_msg void OnNcDestroy();

    WNDPROC m_pfnSuper;  // previous window procedure of a subclassed window

    DECLARE_MESSAGE_MAP()

private:
    CWnd(const CWnd&);
    CWnd& operator=(const CWnd&);

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
};

// The window procedure of every subclassed window.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
