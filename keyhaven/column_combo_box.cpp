// column_combo_box.cpp - CColumnComboBox.
#include "column_combo_box.h"

namespace {

const unsigned kInitialColumnCount = 100;
const int kDefaultColumnWidth = 50;
const COLORREF kSeparatorColor = RGB(192, 192, 192);
const UINT kTextFormat = DT_SINGLELINE | DT_VCENTER;

}  // namespace

BEGIN_MESSAGE_MAP(CColumnComboBox, CComboBox)
    ON_WM_DELETEITEM()
END_MESSAGE_MAP()

CColumnComboBox::CColumnComboBox()
    : m_columnWidths(kInitialColumnCount, kDefaultColumnWidth), m_pImageList(NULL), m_bShowImages(TRUE)
{
}

CColumnComboBox::~CColumnComboBox()
{
    // Destroy a window that outlives this object while OnDeleteItem can still
    // free the records (the base destructor could not).
    if (m_hWnd != NULL) DestroyWindow();
}

void CColumnComboBox::SetColumnCount(unsigned count)
{
    m_columnWidths.resize(count, kDefaultColumnWidth);
    Repaint();
}

void CColumnComboBox::SetColumnWidth(int index, int width)
{
    if (index < 0 || static_cast<size_t>(index) >= m_columnWidths.size()) return;
    m_columnWidths[static_cast<size_t>(index)] = width;
    Repaint();
}

void CColumnComboBox::SetImageList(CImageList* pImageList)
{
    m_pImageList = pImageList;
    Repaint();
}

void CColumnComboBox::ShowImages(BOOL bShow)
{
    m_bShowImages = bShow;
    Repaint();
}

int CColumnComboBox::AddItem(LPCTSTR lpszText, ColumnItem* pItem)
{
    int nIndex = m_hWnd != NULL ? AddString(lpszText) : CB_ERR;
    if (nIndex < 0) {
        delete pItem;
        return nIndex;
    }
    if (pItem != NULL && SetItemData(nIndex, reinterpret_cast<DWORD_PTR>(pItem)) == CB_ERR) delete pItem;
    return nIndex;
}

void CColumnComboBox::Repaint()
{
    if (m_hWnd != NULL) ::InvalidateRect(m_hWnd, NULL, TRUE);
}

void CColumnComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

void CColumnComboBox::OnDeleteItem(int nIDCtl, LPDELETEITEMSTRUCT lpDeleteItemStruct)
{
    if (lpDeleteItemStruct->itemData != 0) {
        delete reinterpret_cast<ColumnItem*>(lpDeleteItemStruct->itemData);
        lpDeleteItemStruct->itemData = 0;
    }
    CComboBox::OnDeleteItem(nIDCtl, lpDeleteItemStruct);
}

void CColumnComboBox::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    int nCount = GetCount();
    if (nCount <= 0 || lpDrawItemStruct->itemID >= static_cast<UINT>(nCount)) return;

    const ColumnItem* pItem = reinterpret_cast<const ColumnItem*>(lpDrawItemStruct->itemData);
    CString listText;
    GetLBText(static_cast<int>(lpDrawItemStruct->itemID), listText);

    CDC dc;
    dc.Attach(lpDrawItemStruct->hDC);
    COLORREF savedTextColor = dc.GetTextColor();
    COLORREF savedBkColor = dc.GetBkColor();

    bool bSelected = (lpDrawItemStruct->itemState & ODS_SELECTED) != 0;
    if (bSelected) {
        dc.SetTextColor(::GetSysColor(COLOR_HIGHLIGHTTEXT));
        dc.SetBkColor(::GetSysColor(COLOR_HIGHLIGHT));
        dc.FillSolidRect(&lpDrawItemStruct->rcItem, ::GetSysColor(COLOR_HIGHLIGHT));
    } else {
        dc.FillSolidRect(&lpDrawItemStruct->rcItem, savedBkColor);
    }

    CRect rcText(lpDrawItemStruct->rcItem);
    rcText.InflateRect(-1, 0);
    DrawItemIcon(dc, rcText, pItem);
    IndentForImages(rcText);

    HFONT hBoldFont = NULL;
    HGDIOBJ hPreviousFont = NULL;
    if (pItem != NULL) {
        if (pItem->bold) {
            hBoldFont = CreateBoldFont(dc);
            if (hBoldFont != NULL) hPreviousFont = dc.SelectObject(hBoldFont);
        }
        if (!bSelected || pItem->textColor != 0) dc.SetTextColor(pItem->textColor);
    }

    if (m_columnWidths.size() > 1)
        DrawColumns(dc, rcText, listText, pItem);
    else
        dc.DrawText(listText, -1, rcText, kTextFormat);

    if (hBoldFont != NULL) {
        dc.SelectObject(hPreviousFont);
        ::DeleteObject(hBoldFont);
    }
    dc.SetTextColor(savedTextColor);
    dc.SetBkColor(savedBkColor);
    dc.Detach();
}

void CColumnComboBox::DrawItemIcon(CDC& dc, const RECT& rcText, const ColumnItem* pItem) const
{
    if (m_pImageList == NULL || !m_bShowImages || pItem == NULL || pItem->imageIndex == -1) return;
    HICON hIcon = ::ImageList_GetIcon(m_pImageList->GetSafeHandle(), pItem->imageIndex, ILD_NORMAL);
    if (hIcon == NULL) return;
    ::DrawIconEx(dc, rcText.left, rcText.top, hIcon, 0, 0, 0, NULL, DI_NORMAL);
    ::DestroyIcon(hIcon);
}

void CColumnComboBox::IndentForImages(RECT& rcText) const
{
    if (!m_bShowImages || m_pImageList == NULL) return;
    IMAGEINFO info;
    if (::ImageList_GetImageInfo(m_pImageList->GetSafeHandle(), 0, &info)) rcText.left += info.rcImage.right;
}

void CColumnComboBox::DrawColumns(CDC& dc, const RECT& rcText, const CString& listText,
                                  const ColumnItem* pItem) const
{
    HPEN hPen = ::CreatePen(PS_SOLID, 0, kSeparatorColor);
    HGDIOBJ hPreviousPen = dc.SelectObject(hPen);
    const size_t last = m_columnWidths.size() - 1;
    int offset = 0;
    for (size_t i = 0; i <= last; ++i) {
        const int width = m_columnWidths[i];
        const int right = rcText.left + offset + width;
        if (i != last) {
            dc.MoveTo(right, rcText.top);
            dc.LineTo(right, rcText.bottom);
        }
        CRect rcColumn(rcText.left + offset + 1, rcText.top, i == last ? rcText.right : right, rcText.bottom);
        offset += width;

        if (i == 0) {
            dc.DrawText(listText, -1, rcColumn, kTextFormat);
        } else if (pItem != NULL) {
            std::map<int, CString>::const_iterator it = pItem->columnTexts.find(static_cast<int>(i));
            if (it != pItem->columnTexts.end()) dc.DrawText(it->second, -1, rcColumn, kTextFormat);
        }
    }
    dc.SelectObject(hPreviousPen);
    ::DeleteObject(hPen);
}

HFONT CColumnComboBox::CreateBoldFont(CDC& dc)
{
    LOGFONT logFont;
    HGDIOBJ hFont = ::GetCurrentObject(dc, OBJ_FONT);
    if (hFont == NULL || ::GetObject(hFont, sizeof logFont, &logFont) != sizeof logFont) return NULL;
    logFont.lfWeight = FW_BOLD;
    return ::CreateFontIndirect(&logFont);
}
