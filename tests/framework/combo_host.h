// A dialog (IDD_HARNESS) whose owner-drawn and system-drawn combo boxes are
// bound to CColumnComboBox objects that record what reaches them.
#pragma once

#include "column_combo_box.h"
#include "test_resource.h"
#include "ui_test_support.h"

#include <functional>
#include <vector>

class CProbeComboBox : public CColumnComboBox {
public:
    std::vector<UINT> m_drawnItems;             // itemID of each DrawItem call
    std::vector<ULONG_PTR> m_reflectedDeletes;  // itemData seen by the reflected DeleteItem

    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override
    {
        m_drawnItems.push_back(lpDrawItemStruct->itemID);
        CColumnComboBox::DrawItem(lpDrawItemStruct);
    }
    void DeleteItem(LPDELETEITEMSTRUCT lpDeleteItemStruct) override
    {
        m_reflectedDeletes.push_back(lpDeleteItemStruct->itemData);
        CColumnComboBox::DeleteItem(lpDeleteItemStruct);
    }
};

class CComboHostDialog : public CDialog {
public:
    CComboHostDialog() : CDialog(IDD_HARNESS) {}

    CProbeComboBox m_ownerDrawn;  // IDC_OWNERDRAW_COMBO
    CProbeComboBox m_plain;       // IDC_PLAIN_COMBO

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        CDialog::DoDataExchange(pDX);
        DDX_Control(pDX, IDC_OWNERDRAW_COMBO, m_ownerDrawn);
        DDX_Control(pDX, IDC_PLAIN_COMBO, m_plain);
    }
};

// Runs body inside a running host dialog, then ends the dialog.
inline void RunInHost(CComboHostDialog& host, std::function<void(CComboHostDialog&)> body)
{
    uitest::RunWhenIdle([&host, body] {
        body(host);
        host.EndDialog(IDOK);
    });
    EXPECT_EQ(IDOK, host.DoModal());
}
