// gdi.cpp - CDC, CPaintDC, CImageList.
#include "gdi.h"

#include "handle_map.h"
#include "wnd.h"

namespace {

typedef CHandleMap<CDC, HDC, &CDC::m_hDC> CDCMap;

CDCMap& DCMap()
{
    static CDCMap map;
    return map;
}

}  // namespace

/////////////////////////////////////////////////////////////////////////////
// CDC

CDC::~CDC()
{
    if (m_hDC != NULL) ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC hDC) { return DCMap().FromHandle(hDC); }
void CDC::DeleteTempMap() { DCMap().DeleteTemp(); }

BOOL CDC::Attach(HDC hDC)
{
    if (hDC == NULL || m_hDC != NULL) return FALSE;
    m_hDC = hDC;
    return TRUE;
}

HDC CDC::Detach()
{
    HDC hDC = m_hDC;
    m_hDC = NULL;
    return hDC;
}

void CDC::FillSolidRect(LPCRECT lpRect, COLORREF clr)
{
    ::SetBkColor(m_hDC, clr);
    ::ExtTextOut(m_hDC, 0, 0, ETO_OPAQUE, lpRect, NULL, 0, NULL);
}

POINT CDC::MoveTo(int x, int y)
{
    POINT previous = { 0, 0 };
    ::MoveToEx(m_hDC, x, y, &previous);
    return previous;
}

int CDC::DrawText(LPCTSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat)
{
    return ::DrawText(m_hDC, lpszString, nCount, lpRect, nFormat);
}

/////////////////////////////////////////////////////////////////////////////
// CPaintDC

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd)
{
    Attach(::BeginPaint(m_hWnd, &m_ps));
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
    Detach();
}

/////////////////////////////////////////////////////////////////////////////
// CImageList

CImageList::~CImageList()
{
    if (m_hImageList != NULL) ::ImageList_Destroy(m_hImageList);
}

BOOL CImageList::Create(int cx, int cy, UINT nFlags, int nInitial, int nGrow)
{
    if (m_hImageList != NULL) return FALSE;
    m_hImageList = ::ImageList_Create(cx, cy, nFlags, nInitial, nGrow);
    return m_hImageList != NULL;
}
