// controls.h - CButton, CStatic and CComboBox: CWnd wrappers of the standard controls.
#pragma once

#include "wnd.h"

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};

class CStatic : public CWnd {
};

// Owner-drawn combo boxes get their drawing and deletion messages reflected
// from the parent into the virtual functions below (see wnd.h).
class CComboBox : public CWnd {
public:
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int nSelect);
    // Empty when nIndex is not an item.
    void GetLBText(int nIndex, CString& rString) const;
    int AddString(LPCTSTR lpszString);
    int SetItemData(int nIndex, DWORD_PTR dwItemData);

    // Owner-draw hooks; the base versions do nothing (CompareItem returns 0).
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct);
    virtual int CompareItem(LPCOMPAREITEMSTRUCT lpCompareItemStruct);
    virtual void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct);

protected:
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
};
