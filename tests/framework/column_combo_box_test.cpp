// CColumnComboBox: item drawing rendered into a bitmap and checked pixel by
// pixel (columns and separators, colours, bold face, icon and indent, nothing
// for no item), the column rules, the records it owns, and the system's
// drawing messages reaching it through its owner.
#include "column_combo_box.h"
#include "test_resource.h"
#include "ui_test_support.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

// While counting, deleted blocks are recorded and never given back, so an
// address cannot be reused and a second delete shows as a count of 2.
namespace {
bool g_bCountingDeletes = false;
std::vector<const void*> g_deleted;
int DeleteCount(const void* p) { return static_cast<int>(std::count(g_deleted.begin(), g_deleted.end(), p)); }
}  // namespace

void operator delete(void* p) noexcept
{
    if (!g_bCountingDeletes || p == nullptr) return std::free(p);
    g_bCountingDeletes = false;  // the record list's own allocations are not counted
    g_deleted.push_back(p);
    g_bCountingDeletes = true;
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using uitest::RunWhenIdle;

const COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0), kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255), kSeparator = RGB(192, 192, 192), kSentinel = RGB(0x12, 0x34, 0x56);
const RECT kItemRect = { 10, 5, 310, 25 };
const int L = kItemRect.left + 1;  // left edge of the text rectangle

// A 32-bit bitmap in a memory DC with a non-antialiased font, white
// background colour and black text colour.
class Canvas {
public:
    explicit Canvas(COLORREF fill = kWhite)
        : m_hDC(::CreateCompatibleDC(NULL)), m_hBitmap(::CreateBitmap(kWidth, kHeight, 1, 32, NULL)),
          m_hFont(::CreateFont(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Tahoma"))
    {
        ::SelectObject(m_hDC, m_hBitmap);
        ::SelectObject(m_hDC, m_hFont);
        ::SetBkColor(m_hDC, fill);
        ::ExtTextOut(m_hDC, 0, 0, ETO_OPAQUE, &kAll, NULL, 0, NULL);
        ::SetBkColor(m_hDC, kWhite);
        ::SetTextColor(m_hDC, kBlack);
    }
    ~Canvas()
    {
        ::DeleteDC(m_hDC);
        ::DeleteObject(m_hFont);
        ::DeleteObject(m_hBitmap);
    }
    HDC Dc() const { return m_hDC; }
    HFONT Font() const { return m_hFont; }
    COLORREF At(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    bool Column(int x, COLORREF color) const  // the whole item height in this colour
    {
        return Count(color, RECT{x, kItemRect.top, x + 1, kItemRect.bottom}) == kItemRect.bottom - kItemRect.top;
    }
    // First (step 1) or last (step -1) x in [x0, x1) whose item column is not all white; -1 if none.
    int Ink(int x0, int x1, int step = 1) const
    {
        for (int i = 0; i < x1 - x0; ++i)
            if (!Column(step > 0 ? x0 + i : x1 - 1 - i, kWhite)) return step > 0 ? x0 + i : x1 - 1 - i;
        return -1;
    }
    std::vector<int> Separators() const
    {
        std::vector<int> columns;
        for (int x = kItemRect.left; x < kItemRect.right; ++x)
            if (Column(x, kSeparator)) columns.push_back(x);
        return columns;
    }
    int Count(COLORREF color, const RECT& rc = kItemRect) const
    {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y)
            for (int x = rc.left; x < rc.right; ++x) n += At(x, y) == color;
        return n;
    }
    static const int kWidth = 320, kHeight = 30;
    static const RECT kAll;

private:
    HDC m_hDC;
    HBITMAP m_hBitmap;
    HFONT m_hFont;
};
const RECT Canvas::kAll = { 0, 0, Canvas::kWidth, Canvas::kHeight };

// Where a text's first ink falls right of its rectangle's left edge, in the canvas font.
int InkOffset(const char* text)
{
    Canvas scratch;
    RECT rc = { 0, kItemRect.top, 200, kItemRect.bottom };
    ::DrawText(scratch.Dc(), text, -1, &rc, DT_SINGLELINE | DT_VCENTER);
    return scratch.Ink(0, 200);
}

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
    }
    void Draw(Canvas& canvas, int itemID, UINT itemState = 0)
    {
        DRAWITEMSTRUCT dis = { ODT_COMBOBOX, IDC_OWNERDRAW_COMBO, static_cast<UINT>(itemID), ODA_DRAWENTIRE,
                               itemState, m_hWnd, canvas.Dc(), kItemRect, 0 };
        if (itemID >= 0) dis.itemData = static_cast<ULONG_PTR>(SendMessage(CB_GETITEMDATA, itemID));
        DrawItem(&dis);
    }
};

// A dialog whose owner-drawn and system-drawn combo boxes are bound to probes.
class CComboHost : public CDialog {
public:
    CComboHost() : CDialog(IDD_HARNESS) {}
    CProbeComboBox m_ownerDrawn, m_plain;

    // Runs body inside the running dialog, then ends it.
    void Run(std::function<void(CProbeComboBox&)> body)
    {
        RunWhenIdle([&] {
            body(m_ownerDrawn);
            EndDialog(IDOK);
        });
        EXPECT_EQ(IDOK, DoModal());
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, IDC_OWNERDRAW_COMBO, m_ownerDrawn);
        DDX_Control(pDX, IDC_PLAIN_COMBO, m_plain);
    }
};

ColumnItem* Record(std::map<int, CString> texts, COLORREF textColor = kBlack, int imageIndex = -1, BOOL bold = FALSE)
{
    ColumnItem* pItem = new ColumnItem;
    pItem->columnTexts = texts;
    pItem->textColor = textColor, pItem->imageIndex = imageIndex, pItem->bold = bold;
    return pItem;
}

class ColumnComboBoxTest : public uitest::UiTest {
protected:
    CComboHost host;
};

TEST_F(ColumnComboBoxTest, ColumnsLineUpAtTheirWidthsTheLastReachesTheItemEdgeAndNoItemDrawsNothing)
{
    host.Run([](CProbeComboBox& combo) {
        Canvas untouched(kSentinel);
        combo.Draw(untouched, 0, ODS_SELECTED);  // empty list
        for (int i = 0; i < 5; ++i) combo.SetColumnWidth(i, 30 + i);
        combo.SetColumnCount(3);
        combo.AddItem("Wx", Record({{0, "Zero is never drawn"}, {1, "Mid"}, {2, "The last column runs on well past its width"}}));
        combo.AddItem("Wx", Record({{1, "Mid"}}));
        Canvas canvas, second, five;
        combo.Draw(canvas, 0);
        combo.Draw(second, 1);
        EXPECT_EQ((std::vector<int>{L + 30, L + 61}), canvas.Separators());
        EXPECT_NE(kSeparator, canvas.At(L + 30, kItemRect.bottom)) << "the line stops above the bottom edge";
        EXPECT_EQ(L + 1 + InkOffset("Wx"), canvas.Ink(L, L + 30));
        EXPECT_LT(canvas.Ink(L, L + 30, -1), L + 1 + 25) << "column 0 shows the list text only";
        EXPECT_EQ(L + 31 + InkOffset("Mid"), canvas.Ink(L + 31, L + 61));
        EXPECT_EQ(L + 62 + InkOffset("The"), canvas.Ink(L + 62, kItemRect.right));
        int lastInk = canvas.Ink(L + 62, kItemRect.right, -1);
        EXPECT_GT(lastInk, L + 93 + 50) << "the last column is not cut at its width";
        EXPECT_LT(lastInk, kItemRect.right - 1) << "nor drawn past the item's right edge less 1";
        EXPECT_EQ(-1, second.Ink(L + 62, kItemRect.right)) << "a column without text stays blank";

        combo.SetColumnCount(5);  // keeps the widths set beyond the old count
        combo.Draw(five, 1);
        EXPECT_EQ((std::vector<int>{L + 30, L + 61, L + 93, L + 143}), five.Separators()) << "new columns are 50 wide";
        RECT update;
        ::ValidateRect(combo.m_hWnd, NULL);
        combo.SetColumnWidth(-1, 5);
        combo.SetColumnWidth(5, 5);
        EXPECT_FALSE(::GetUpdateRect(combo.m_hWnd, &update, FALSE)) << "no repaint for a column outside";
        Canvas unchanged;
        combo.Draw(unchanged, 1);
        EXPECT_EQ(five.Separators(), unchanged.Separators());
        combo.SetColumnWidth(4, 5);
        EXPECT_TRUE(::GetUpdateRect(combo.m_hWnd, &update, FALSE));

        combo.SetColumnCount(1);  // the list text alone, over the whole item
        combo.SetColumnWidth(0, 10);
        combo.AddItem("Wide text that goes well beyond ten pixels", Record({{1, "never shown"}}));
        combo.Draw(untouched, -1, ODS_SELECTED);
        combo.Draw(untouched, 3, ODS_SELECTED);  // past the end
        EXPECT_EQ(Canvas::kWidth * Canvas::kHeight, untouched.Count(kSentinel, Canvas::kAll));
        Canvas one;
        combo.Draw(one, 2);
        EXPECT_TRUE(one.Separators().empty());
        EXPECT_EQ(L + InkOffset("Wide"), one.Ink(kItemRect.left, kItemRect.right));
        EXPECT_GT(one.Ink(kItemRect.left, kItemRect.right, -1), L + 100);
    });
}

TEST_F(ColumnComboBoxTest, SelectionColoursAndBoldFace)
{
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT), highlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    ASSERT_NE(highlightText, kBlack);
    host.Run([&](CProbeComboBox& combo) {
        combo.SetColumnCount(1);
        combo.AddItem("Black", Record({}, kBlack));
        combo.AddItem("Red", Record({}, kRed));
        Canvas black, red, unselected;
        combo.Draw(black, 0, ODS_SELECTED | ODS_FOCUS);
        combo.Draw(red, 1, ODS_SELECTED);
        combo.Draw(unselected, 1, ODS_FOCUS | ODS_DISABLED);
        EXPECT_TRUE(black.Column(kItemRect.left, highlight) && black.Column(L, highlight));
        EXPECT_GT(black.Count(highlightText), 0);
        EXPECT_EQ(0, black.Count(kBlack));
        EXPECT_EQ(kBlack, ::GetTextColor(black.Dc())) << "the DC's colours are restored";
        EXPECT_EQ(kWhite, ::GetBkColor(black.Dc()));
        EXPECT_GT(red.Count(kRed), 0);
        EXPECT_EQ(0, red.Count(highlightText));
        EXPECT_TRUE(red.Column(L, highlight));
        EXPECT_GT(unselected.Count(kRed), 0);
        EXPECT_EQ(0, unselected.Count(highlight)) << "no highlight, no focus rectangle";

        combo.AddItem("Heavy lettering", Record({}, kBlack, -1, TRUE));
        combo.AddItem("Heavy lettering", Record({}, kBlack, -1, FALSE));
        Canvas bold, normal;
        combo.Draw(bold, 2);
        combo.Draw(normal, 3);
        EXPECT_GT(bold.Count(kBlack), normal.Count(kBlack) * 5 / 4) << "a bold copy of the DC's font";
        EXPECT_EQ(bold.Font(), ::GetCurrentObject(bold.Dc(), OBJ_FONT)) << "the DC's font is selected back";
    });
}

TEST_F(ColumnComboBoxTest, IconDrawsAtTheLeftAndEveryTextIndentsByTheImageWidth)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32, 1, 1));
    std::vector<DWORD> blue(16 * 16, 0x000000FF);
    HBITMAP hBlue = ::CreateBitmap(16, 16, 1, 32, blue.data());
    ASSERT_EQ(0, ::ImageList_Add(images.GetSafeHandle(), hBlue, NULL));
    ::DeleteObject(hBlue);
    host.Run([&](CProbeComboBox& combo) {
        combo.SetColumnCount(1);
        combo.SetImageList(&images);
        combo.AddItem("Icon", Record({}, kBlack, 0));
        combo.AddItem("Icon", Record({}, kBlack, -1));
        combo.AddItem("Icon", NULL);
        const int indented = L + 16 + InkOffset("Icon");
        for (int item = 0; item < 3; ++item) {
            Canvas canvas;
            combo.Draw(canvas, item);
            EXPECT_EQ(item == 0 ? 16 * 16 : 0, canvas.Count(kBlue, RECT{L, kItemRect.top, L + 16, kItemRect.top + 16}));
            EXPECT_EQ(indented, canvas.Ink(L + 16, kItemRect.right)) << "item " << item;
        }
        combo.ShowImages(FALSE);
        Canvas hidden;
        combo.Draw(hidden, 0);
        EXPECT_EQ(0, hidden.Count(kBlue));
        EXPECT_EQ(L + InkOffset("Icon"), hidden.Ink(kItemRect.left, kItemRect.right));
    });
}

TEST_F(ColumnComboBoxTest, EveryRecordIsFreedOnceHoweverItsItemGoes)
{
    g_bCountingDeletes = true;
    ColumnItem* records[8];
    for (ColumnItem*& pItem : records) pItem = Record({{1, "text"}});
    HWND hLoose = NULL;
    host.Run([&](CProbeComboBox& combo) {
        for (int i = 0; i < 3; ++i) combo.AddItem("item", records[i]);
        combo.AddItem("no record", NULL);
        combo.SendMessage(CB_DELETESTRING, 1);
        EXPECT_EQ(1, DeleteCount(records[1]));
        EXPECT_EQ(std::vector<ULONG_PTR>{0}, combo.m_reflectedDeletes) << "the owner's reflection comes after";
        combo.SendMessage(CB_RESETCONTENT);
        EXPECT_EQ(1, DeleteCount(records[0]));
        EXPECT_EQ(1, DeleteCount(records[2]));

        combo.AddItem("left at the end", records[3]);
        host.m_plain.AddItem("b", records[4]);
        host.m_plain.AddItem("a", records[5]);  // sorted before "b"
        host.m_plain.SendMessage(CB_DELETESTRING, 0);
        EXPECT_EQ(1, DeleteCount(records[5])) << "a system-drawn box frees its records too";

        hLoose = ::CreateWindowEx(0, "COMBOBOX", NULL, WS_CHILD | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                                  0, 0, 100, 100, host.m_hWnd, NULL, ::GetModuleHandle(NULL), NULL);
        CColumnComboBox* pLoose = new CColumnComboBox;
        ASSERT_TRUE(pLoose->SubclassWindow(hLoose));
        pLoose->AddItem("a", records[6]);
        pLoose->AddItem("b", records[7]);
        delete pLoose;  // the object ending before its window
    });
    g_bCountingDeletes = false;
    EXPECT_FALSE(::IsWindow(hLoose));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(1, DeleteCount(records[i])) << "record " << i;
}

TEST_F(ColumnComboBoxTest, SystemDrawingReachesDrawItemThroughTheOwner)
{
    host.Run([](CProbeComboBox& combo) {
        for (const char* text : {"zero", "one", "two"}) combo.AddItem(text, NULL);
        combo.SetCurSel(1);
        combo.m_drawnItems.clear();
        ::RedrawWindow(combo.m_hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        EXPECT_EQ(std::vector<UINT>{1}, combo.m_drawnItems) << "the selection field";
        combo.m_drawnItems.clear();
        combo.SendMessage(CB_SHOWDROPDOWN, TRUE);
        COMBOBOXINFO info = { sizeof info };
        ASSERT_TRUE(::GetComboBoxInfo(combo.m_hWnd, &info));
        ::RedrawWindow(info.hwndList, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        combo.SendMessage(CB_SHOWDROPDOWN, FALSE);
        for (UINT item : {0u, 1u, 2u})
            EXPECT_NE(std::count(combo.m_drawnItems.begin(), combo.m_drawnItems.end(), item), 0) << "list item " << item;
    });
}

}  // namespace
