// gdi.h - CRect, CDC (a device context handle), CPaintDC and CImageList.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "cstring.h"

class CWnd;

class CRect : public RECT {
public:
    CRect() { left = top = right = bottom = 0; }
    CRect(int l, int t, int r, int b) { left = l; top = t; right = r; bottom = b; }
    CRect(const RECT& rc) { left = rc.left; top = rc.top; right = rc.right; bottom = rc.bottom; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    void InflateRect(int dx, int dy) { ::InflateRect(this, dx, dy); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

class CDC {
public:
    HDC m_hDC;

    CDC() : m_hDC(NULL) {}
    // Deletes an attached DC: detach first to keep a DC that belongs to
    // someone else.
    virtual ~CDC();

    // A temporary object for a DC nobody attached (see handle_map.h).
    static CDC* FromHandle(HDC hDC);
    static void DeleteTempMap();

    BOOL Attach(HDC hDC);
    HDC Detach();
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    COLORREF SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
    COLORREF SetBkColor(COLORREF crColor) { return ::SetBkColor(m_hDC, crColor); }
    HGDIOBJ SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }

    // Fills with a solid colour; leaves the DC's background colour at clr (as MFC does).
    void FillSolidRect(LPCRECT lpRect, COLORREF clr);
    POINT MoveTo(int x, int y);
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    int DrawText(LPCTSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat);
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

private:
    CDC(const CDC&);
    CDC& operator=(const CDC&);
};

// BeginPaint on construction, EndPaint on destruction (for WM_PAINT handlers).
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    virtual ~CPaintDC();

    PAINTSTRUCT m_ps;

protected:
    HWND m_hWnd;
};

// An image list that this object creates and destroys.
class CImageList {
public:
    HIMAGELIST m_hImageList;

    CImageList() : m_hImageList(NULL) {}
    ~CImageList();

    // FALSE when the object already holds a list or the list cannot be made.
    BOOL Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow);
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }

private:
    CImageList(const CImageList&);
    CImageList& operator=(const CImageList&);
};
