// column_combo_box.h - CColumnComboBox: a combo box that draws its items in columns.
//
// Each item of an owner-drawn instance (CBS_OWNERDRAWFIXED or
// CBS_OWNERDRAWVARIABLE, with CBS_HASSTRINGS so the items keep their texts) is
// drawn in columns separated by light-grey lines, with an optional icon from
// an image list at the left, a text colour of its own and an optional bold
// face. Column 0 shows the item's list text; the other columns show the texts
// of the item's ColumnItem record. Instances without an owner-drawn style are
// drawn by the system and only use the record's ownership rules.
#pragma once

#include "afxwin.h"

#include <map>
#include <vector>

// The optional record behind one item, stored as the item's item data. It is
// allocated with operator new by whoever adds the item and belongs to the
// combo box from then on: the box frees it when the item is deleted
// (CB_DELETESTRING, CB_RESETCONTENT, or the window's destruction).
struct ColumnItem {
    ColumnItem() : textColor(RGB(0, 0, 0)), imageIndex(-1), bold(FALSE) {}

    COLORREF textColor;                 // 0 keeps the highlight text colour when selected
    int imageIndex;                     // icon in the image list; -1: none
    std::map<int, CString> columnTexts; // texts of columns 1 and up (column 0 is the list text)
    BOOL bold;                          // draw the texts in a bold copy of the current font
};

class CColumnComboBox : public CComboBox {
public:
    CColumnComboBox();
    virtual ~CColumnComboBox();

    // Resizes the column list: new columns are 50 pixels wide, existing widths stay.
    void SetColumnCount(unsigned count);
    // Sets one column's width in pixels; ignores an index outside the columns.
    void SetColumnWidth(int index, int width);

    // Source of the items' icons (not owned; NULL for none). With an image
    // list, and images shown, every item's text is indented by the width of image 0.
    void SetImageList(CImageList* pImageList);
    void ShowImages(BOOL bShow);

    // Adds an item with its record (NULL for none) and returns its index, or
    // CB_ERR (no window) / CB_ERRSPACE. The box owns pItem from this call on,
    // even when adding fails (it is then freed at once).
    int AddItem(LPCTSTR lpszText, ColumnItem* pItem);

    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
    // Item heights stay as the system set them.
    virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);

protected:
    // The list box of the combo reports each deleted item here first: frees
    // the item's record and clears itemData before the message goes on to the
    // owner (which reflects it to DeleteItem, then with itemData 0).
    afx_msg void OnDeleteItem(int nIDCtl, LPDELETEITEMSTRUCT lpDeleteItemStruct);

    DECLARE_MESSAGE_MAP()

private:
    void Repaint();
    void DrawItemIcon(CDC& dc, const RECT& rcText, const ColumnItem* pItem) const;
    void IndentForImages(RECT& rcText) const;
    void DrawColumns(CDC& dc, const RECT& rcText, const CString& listText, const ColumnItem* pItem) const;
    static HFONT CreateBoldFont(CDC& dc);

    std::vector<int> m_columnWidths;
    CImageList* m_pImageList;
    BOOL m_bShowImages;
};
