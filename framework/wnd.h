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
    virtual BOOL DestroyWindow();

    DWORD GetStyle() const;
    BOOL ShowWindow(int nCmdShow);
    BOOL IsIconic() const;
    BOOL EnableWindow(BOOL bEnable = TRUE);
    CWnd* SetFocus();
    void UpdateWindow();
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    // Centres a top-level window over its owner, or over the work area when
    // it has none (or a hidden or minimised one); keeps it on the work area.
    void CenterWindow();
    void SetWindowText(LPCTSTR lpszString);
    void SetDlgItemText(int nID, LPCTSTR lpszString);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
    BOOL KillTimer(UINT_PTR nIDEvent);
    CMenu* GetSystemMenu(BOOL bRevert) const;

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
    // Routes the command to the message map chain (OnCmdMsg).
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A message the parent reflects to this control; TRUE when handled.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual void DoDataExchange(CDataExchange* pDX);

    // Default processing of the message being handled.
    LRESULT Default();
    // Hands the message being handled to hWndChild's object, if it has one.
    BOOL ReflectLastMsg(HWND hWndChild, LRESULT* pResult = NULL);

    // Default handlers that derived classes call on: the default processing.
    afx_msg void OnPaint();
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
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
