// CColumnComboBox owns its items' records: each is freed exactly once however
// the item goes (DeleteString, ResetContent, the window's end, the object's
// end). And DDX_Control makes the system's drawing and deletion messages reach
// the bound object.
#include "allocation_watch.h"
#include "combo_host.h"

#include <algorithm>

namespace {

class ColumnComboBoxRecordsTest : public uitest::UiTest {
protected:
    void TearDown() override
    {
        allocwatch::Reset();
        uitest::UiTest::TearDown();
    }

    ColumnItem* WatchedRecord()
    {
        ColumnItem* pItem = new ColumnItem;
        pItem->columnTexts[1] = "text";
        allocwatch::Watch(pItem);
        return pItem;
    }

    CComboHostDialog host;
};

TEST_F(ColumnComboBoxRecordsTest, DeleteStringFreesThatItemsRecordOnce)
{
    ColumnItem* records[3] = { WatchedRecord(), WatchedRecord(), WatchedRecord() };
    RunInHost(host, [&](CComboHostDialog& dlg) {
        for (ColumnItem* pItem : records) dlg.m_ownerDrawn.AddItem("item", pItem);
        dlg.m_ownerDrawn.DeleteString(1);
        EXPECT_EQ(0, allocwatch::DeleteCount(records[0]));
        EXPECT_EQ(1, allocwatch::DeleteCount(records[1]));
        EXPECT_EQ(0, allocwatch::DeleteCount(records[2]));
        EXPECT_EQ(std::vector<ULONG_PTR>{0}, dlg.m_ownerDrawn.m_reflectedDeletes)
            << "the owner's reflected deletion comes after the record is gone";
        EXPECT_EQ(reinterpret_cast<DWORD_PTR>(records[2]), dlg.m_ownerDrawn.GetItemData(1));
        dlg.m_ownerDrawn.ResetContent();
    });
}

TEST_F(ColumnComboBoxRecordsTest, ResetContentFreesEveryRecordOnce)
{
    ColumnItem* records[3] = { WatchedRecord(), WatchedRecord(), WatchedRecord() };
    RunInHost(host, [&](CComboHostDialog& dlg) {
        for (ColumnItem* pItem : records) dlg.m_ownerDrawn.AddItem("item", pItem);
        dlg.m_ownerDrawn.AddItem("no record", NULL);
        dlg.m_ownerDrawn.ResetContent();
        for (ColumnItem* pItem : records) EXPECT_EQ(1, allocwatch::DeleteCount(pItem));
        EXPECT_EQ(0, dlg.m_ownerDrawn.GetCount());
    });
}

TEST_F(ColumnComboBoxRecordsTest, EndOfTheWindowFreesTheRemainingRecordsOnce)
{
    ColumnItem* ownerDrawn[2] = { WatchedRecord(), WatchedRecord() };
    ColumnItem* systemDrawn[2] = { WatchedRecord(), WatchedRecord() };
    RunInHost(host, [&](CComboHostDialog& dlg) {
        for (ColumnItem* pItem : ownerDrawn) dlg.m_ownerDrawn.AddItem("item", pItem);
        for (ColumnItem* pItem : systemDrawn) dlg.m_plain.AddItem("item", pItem);
    });
    for (ColumnItem* pItem : ownerDrawn) EXPECT_EQ(1, allocwatch::DeleteCount(pItem));
    for (ColumnItem* pItem : systemDrawn) EXPECT_EQ(1, allocwatch::DeleteCount(pItem));
}

TEST_F(ColumnComboBoxRecordsTest, SystemDrawnComboFreesRecordsOnDeletion)
{
    ColumnItem* records[2] = { WatchedRecord(), WatchedRecord() };
    RunInHost(host, [&](CComboHostDialog& dlg) {
        dlg.m_plain.AddItem("b", records[0]);
        dlg.m_plain.AddItem("a", records[1]);  // sorted before "b"
        dlg.m_plain.DeleteString(0);
        EXPECT_EQ(1, allocwatch::DeleteCount(records[1]));
        EXPECT_EQ(0, allocwatch::DeleteCount(records[0]));
        dlg.m_plain.ResetContent();
        EXPECT_EQ(1, allocwatch::DeleteCount(records[0]));
    });
}

TEST_F(ColumnComboBoxRecordsTest, ObjectEndingBeforeItsWindowFreesTheRecords)
{
    ColumnItem* records[2] = { WatchedRecord(), WatchedRecord() };
    HWND hCombo = NULL;
    RunInHost(host, [&](CComboHostDialog& dlg) {
        hCombo = ::CreateWindowEx(0, "COMBOBOX", NULL, WS_CHILD | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                                  0, 0, 100, 100, dlg.m_hWnd, NULL, ::GetModuleHandle(NULL), NULL);
        CColumnComboBox* pCombo = new CColumnComboBox;
        ASSERT_TRUE(pCombo->SubclassWindow(hCombo));
        for (ColumnItem* pItem : records) pCombo->AddItem("item", pItem);
        delete pCombo;
        EXPECT_FALSE(::IsWindow(hCombo));
        for (ColumnItem* pItem : records) EXPECT_EQ(1, allocwatch::DeleteCount(pItem));
    });
}

TEST_F(ColumnComboBoxRecordsTest, SystemDrawingReachesDrawItemThroughTheOwner)
{
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CProbeComboBox& combo = dlg.m_ownerDrawn;
        for (const char* text : {"zero", "one", "two"}) combo.AddItem(text, NULL);
        combo.SetCurSel(1);
        combo.m_drawnItems.clear();
        ::RedrawWindow(combo.m_hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_NE(combo.m_drawnItems.end(), std::find(combo.m_drawnItems.begin(), combo.m_drawnItems.end(), 1u))
            << "the selection field";

        combo.m_drawnItems.clear();
        combo.SendMessage(CB_SHOWDROPDOWN, TRUE);
        COMBOBOXINFO info = {};
        info.cbSize = sizeof info;
        ASSERT_TRUE(::GetComboBoxInfo(combo.m_hWnd, &info));
        ::RedrawWindow(info.hwndList, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        combo.SendMessage(CB_SHOWDROPDOWN, FALSE);
        for (UINT item : {0u, 1u, 2u}) {
            EXPECT_NE(combo.m_drawnItems.end(), std::find(combo.m_drawnItems.begin(), combo.m_drawnItems.end(), item))
                << "list item " << item;
        }
    });
}

}  // namespace
