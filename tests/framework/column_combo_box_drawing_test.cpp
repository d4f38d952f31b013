// CColumnComboBox's item drawing, rendered into a bitmap and checked pixel by
// pixel: columns and separators, one column, nothing drawn for no item,
// selected colours, bold text, the icon and the text indent.
#include "combo_host.h"

#include <string>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kSeparator = RGB(192, 192, 192);
const COLORREF kSentinel = RGB(0x12, 0x34, 0x56);

// The item rectangle used throughout; L is its left edge plus 1.
const RECT kItemRect = { 10, 5, 310, 25 };
const int L = kItemRect.left + 1;

// A 32-bit top-down bitmap in a memory DC, with a plain, non-antialiased font
// selected, white background colour and black text colour.
class Canvas {
public:
    Canvas(int width = 320, int height = 30, COLORREF fill = kWhite) : m_width(width), m_height(height)
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof bmi.bmiHeader;
        bmi.bmiHeader.biWidth = width;
        bmi.bmiHeader.biHeight = -height;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        void* pBits = nullptr;
        m_hBitmap = ::CreateDIBSection(NULL, &bmi, DIB_RGB_COLORS, &pBits, NULL, 0);
        m_pBits = static_cast<DWORD*>(pBits);
        m_hDC = ::CreateCompatibleDC(NULL);
        m_hOldBitmap = ::SelectObject(m_hDC, m_hBitmap);
        m_hFont = ::CreateFont(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH, "Tahoma");
        m_hOldFont = ::SelectObject(m_hDC, m_hFont);
        ::SetBkColor(m_hDC, kWhite);
        ::SetTextColor(m_hDC, kBlack);
        Fill(fill);
    }
    ~Canvas()
    {
        ::SelectObject(m_hDC, m_hOldFont);
        ::SelectObject(m_hDC, m_hOldBitmap);
        ::DeleteObject(m_hFont);
        ::DeleteObject(m_hBitmap);
        ::DeleteDC(m_hDC);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return m_hDC; }
    HFONT Font() const { return m_hFont; }

    void Fill(COLORREF color)
    {
        ::GdiFlush();
        DWORD pixel = Pixel(color);
        for (int i = 0; i < m_width * m_height; ++i) m_pBits[i] = pixel;
    }

    COLORREF At(int x, int y) const
    {
        ::GdiFlush();
        DWORD p = m_pBits[y * m_width + x];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

    // First and last x in [x0, x1) where a pixel of the item's rows is not
    // `background`; -1 when there is none.
    int FirstInk(int x0, int x1, COLORREF background) const
    {
        for (int x = x0; x < x1; ++x) {
            if (HasInk(x, background)) return x;
        }
        return -1;
    }
    int LastInk(int x0, int x1, COLORREF background) const
    {
        for (int x = x1 - 1; x >= x0; --x) {
            if (HasInk(x, background)) return x;
        }
        return -1;
    }

    // Pixels of this colour inside the item rectangle, or in the whole bitmap.
    int Count(COLORREF color) const { return CountIn(kItemRect, color); }
    int CountAll(COLORREF color) const { return CountIn(RECT{0, 0, m_width, m_height}, color); }
    int CountIn(const RECT& rc, COLORREF color) const
    {
        int n = 0;
        for (int y = rc.top; y < rc.bottom; ++y) {
            for (int x = rc.left; x < rc.right; ++x) n += At(x, y) == color;
        }
        return n;
    }

    // x of every column inside the item drawn in the separator colour from the
    // item's top to its bottom.
    std::vector<int> SeparatorColumns() const
    {
        std::vector<int> columns;
        for (int x = kItemRect.left; x < kItemRect.right; ++x) {
            bool bLine = true;
            for (int y = kItemRect.top; y < kItemRect.bottom && bLine; ++y) bLine = At(x, y) == kSeparator;
            if (bLine) columns.push_back(x);
        }
        return columns;
    }

    bool SolidBlock(int x0, int y0, int x1, int y1, COLORREF color) const
    {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (At(x, y) != color) return false;
            }
        }
        return true;
    }

private:
    static DWORD Pixel(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

    bool HasInk(int x, COLORREF background) const
    {
        for (int y = kItemRect.top; y < kItemRect.bottom; ++y) {
            if (At(x, y) != background) return true;
        }
        return false;
    }

    int m_width, m_height;
    HBITMAP m_hBitmap;
    DWORD* m_pBits;
    HDC m_hDC;
    HGDIOBJ m_hOldBitmap;
    HFONT m_hFont;
    HGDIOBJ m_hOldFont;
};

// How far right of its rectangle's left edge a text's first ink falls in the canvas font.
int InkOffset(const char* text)
{
    Canvas scratch;
    RECT rc = { 0, kItemRect.top, 200, kItemRect.bottom };
    ::DrawText(scratch.Dc(), text, -1, &rc, DT_SINGLELINE | DT_VCENTER);
    return scratch.FirstInk(0, 200, kWhite);
}

void Draw(CColumnComboBox& combo, Canvas& canvas, int itemID, UINT itemState = 0)
{
    DRAWITEMSTRUCT dis = {};
    dis.CtlType = ODT_COMBOBOX;
    dis.CtlID = IDC_OWNERDRAW_COMBO;
    dis.itemID = static_cast<UINT>(itemID);
    dis.itemAction = ODA_DRAWENTIRE;
    dis.itemState = itemState;
    dis.hwndItem = combo.m_hWnd;
    dis.hDC = canvas.Dc();
    dis.rcItem = kItemRect;
    dis.itemData = itemID >= 0 ? combo.GetItemData(itemID) : 0;
    combo.DrawItem(&dis);
}

ColumnItem* Record(std::map<int, CString> texts, COLORREF textColor = kBlack, int imageIndex = -1, BOOL bold = FALSE)
{
    ColumnItem* pItem = new ColumnItem;
    pItem->columnTexts = texts;
    pItem->textColor = textColor;
    pItem->imageIndex = imageIndex;
    pItem->bold = bold;
    return pItem;
}

// A 16 x 16 solid blue icon.
HICON BlueIcon()
{
    BYTE andMask[16 * 16 / 8] = {};
    std::vector<DWORD> colour(16 * 16, 0x000000FF);
    HBITMAP hMask = ::CreateBitmap(16, 16, 1, 1, andMask);
    HBITMAP hColor = ::CreateBitmap(16, 16, 1, 32, colour.data());
    ICONINFO info = { TRUE, 0, 0, hMask, hColor };
    HICON hIcon = ::CreateIconIndirect(&info);
    ::DeleteObject(hMask);
    ::DeleteObject(hColor);
    return hIcon;
}

class ColumnComboBoxDrawingTest : public uitest::UiTest {
protected:
    CComboHostDialog host;
};

TEST_F(ColumnComboBoxDrawingTest, ThreeColumnsLineUpAtTheirWidthsAndTheLastReachesTheItemEdge)
{
    const char* kLongText = "The last column runs on well past its own width";
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        combo.SetColumnCount(3);
        combo.SetColumnWidth(0, 40);
        combo.SetColumnWidth(1, 60);
        combo.SetColumnWidth(2, 50);
        combo.AddItem("Wx", Record({{0, "Zero is never drawn"}, {1, "Mid"}, {2, kLongText}}));
        combo.AddItem("Wx", Record({{1, "Mid"}}));

        Canvas canvas;
        Draw(combo, canvas, 0);
        EXPECT_EQ((std::vector<int>{L + 40, L + 100}), canvas.SeparatorColumns());
        EXPECT_NE(kSeparator, canvas.At(L + 40, kItemRect.bottom)) << "the line stops above the bottom edge";
        EXPECT_EQ(L + 1 + InkOffset("Wx"), canvas.FirstInk(L, L + 40, kWhite));
        EXPECT_LT(canvas.LastInk(L, L + 40, kWhite), L + 1 + 25) << "column 0 shows the list text only";
        EXPECT_EQ(L + 41 + InkOffset("Mid"), canvas.FirstInk(L + 41, L + 100, kWhite));
        EXPECT_EQ(L + 101 + InkOffset("The"), canvas.FirstInk(L + 101, kItemRect.right, kWhite));
        int lastInk = canvas.LastInk(L + 101, kItemRect.right, kWhite);
        EXPECT_GT(lastInk, L + 150 + 50) << "the last column is not cut at its width";
        EXPECT_LT(lastInk, kItemRect.right - 1) << "nor drawn past the item's right edge less 1";

        Canvas second;
        Draw(combo, second, 1);
        EXPECT_EQ(-1, second.FirstInk(L + 101, kItemRect.right, kWhite)) << "a column without text stays blank";
    });
}

TEST_F(ColumnComboBoxDrawingTest, OneColumnFillsTheItemWhateverItsWidth)
{
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        combo.SetColumnCount(1);
        combo.SetColumnWidth(0, 10);
        combo.AddItem("Wide text that goes well beyond ten pixels", Record({{1, "never shown"}}));

        Canvas canvas;
        Draw(combo, canvas, 0);
        EXPECT_TRUE(canvas.SeparatorColumns().empty());
        EXPECT_EQ(L + InkOffset("Wide"), canvas.FirstInk(kItemRect.left, kItemRect.right, kWhite));
        EXPECT_GT(canvas.LastInk(kItemRect.left, kItemRect.right, kWhite), L + 100);
        EXPECT_EQ(0, canvas.Count(kSeparator));
    });
}

TEST_F(ColumnComboBoxDrawingTest, EmptyListAndItemMinusOneDrawNothing)
{
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        Canvas canvas(320, 30, kSentinel);
        const int kAllPixels = 320 * 30;
        combo.AddItem("one", Record({}));
        Draw(combo, canvas, -1, ODS_SELECTED);
        EXPECT_EQ(kAllPixels, canvas.CountAll(kSentinel));
        Draw(combo, canvas, 1, ODS_SELECTED);
        EXPECT_EQ(kAllPixels, canvas.CountAll(kSentinel)) << "an item past the end";
        combo.ResetContent();
        Draw(combo, canvas, 0, ODS_SELECTED);
        EXPECT_EQ(kAllPixels, canvas.CountAll(kSentinel));
    });
}

TEST_F(ColumnComboBoxDrawingTest, SelectedItemShowsHighlightAndOnlyANonBlackTextColourOfItsOwn)
{
    const COLORREF highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF highlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    ASSERT_NE(highlightText, kBlack);
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        combo.SetColumnCount(1);
        combo.AddItem("Black", Record({}, kBlack));
        combo.AddItem("Red", Record({}, kRed));

        Canvas black;
        Draw(combo, black, 0, ODS_SELECTED | ODS_FOCUS);
        EXPECT_TRUE(black.SolidBlock(kItemRect.left, kItemRect.top, L + 1, kItemRect.bottom, highlight));
        EXPECT_GT(black.Count(highlightText), 0);
        EXPECT_EQ(0, black.Count(kBlack));
        EXPECT_EQ(kBlack, ::GetTextColor(black.Dc())) << "the DC's colours are restored";
        EXPECT_EQ(kWhite, ::GetBkColor(black.Dc()));

        Canvas red;
        Draw(combo, red, 1, ODS_SELECTED);
        EXPECT_GT(red.Count(kRed), 0);
        EXPECT_EQ(0, red.Count(highlightText));
        EXPECT_TRUE(red.SolidBlock(kItemRect.left, kItemRect.top, L + 1, kItemRect.bottom, highlight));

        Canvas unselected;
        Draw(combo, unselected, 1, ODS_FOCUS | ODS_DISABLED);
        EXPECT_GT(unselected.Count(kRed), 0);
        EXPECT_EQ(0, unselected.Count(highlight)) << "no highlight, no focus rectangle";
        EXPECT_TRUE(unselected.SolidBlock(kItemRect.left, kItemRect.top, L + 1, kItemRect.bottom, kWhite));
    });
}

TEST_F(ColumnComboBoxDrawingTest, BoldItemUsesABoldCopyOfTheCurrentFont)
{
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        combo.SetColumnCount(1);
        combo.AddItem("Heavy lettering", Record({}, kBlack, -1, TRUE));
        combo.AddItem("Heavy lettering", Record({}, kBlack, -1, FALSE));

        Canvas bold, normal;
        Draw(combo, bold, 0);
        Draw(combo, normal, 1);
        int boldInk = bold.Count(kBlack), normalInk = normal.Count(kBlack);
        EXPECT_GT(boldInk, normalInk * 5 / 4) << boldInk << " bold pixels against " << normalInk;
        EXPECT_EQ(bold.Font(), ::GetCurrentObject(bold.Dc(), OBJ_FONT)) << "the DC's font is selected back";
    });
}

TEST_F(ColumnComboBoxDrawingTest, IconDrawsAtTheLeftAndEveryTextIndentsByTheImageWidth)
{
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
    HICON hIcon = BlueIcon();
    ASSERT_EQ(0, images.Add(hIcon));
    ::DestroyIcon(hIcon);
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        combo.SetColumnCount(1);
        combo.SetImageList(&images);
        combo.AddItem("Icon", Record({}, kBlack, 0));
        combo.AddItem("Icon", Record({}, kBlack, -1));
        combo.AddItem("Icon", NULL);

        Canvas withIcon, noIcon, noRecord;
        Draw(combo, withIcon, 0);
        Draw(combo, noIcon, 1);
        Draw(combo, noRecord, 2);
        EXPECT_TRUE(withIcon.SolidBlock(L, kItemRect.top, L + 16, kItemRect.top + 16, kBlue));
        const int indented = L + 16 + InkOffset("Icon");
        EXPECT_EQ(indented, withIcon.FirstInk(L + 16, kItemRect.right, kWhite));
        EXPECT_EQ(0, noIcon.Count(kBlue));
        EXPECT_EQ(indented, noIcon.FirstInk(kItemRect.left, kItemRect.right, kWhite));
        EXPECT_EQ(indented, noRecord.FirstInk(kItemRect.left, kItemRect.right, kWhite));

        combo.ShowImages(FALSE);
        Canvas hidden;
        Draw(combo, hidden, 0);
        EXPECT_EQ(0, hidden.Count(kBlue));
        EXPECT_EQ(L + InkOffset("Icon"), hidden.FirstInk(kItemRect.left, kItemRect.right, kWhite));
    });
}

TEST_F(ColumnComboBoxDrawingTest, ColumnCountKeepsWidthsAndIgnoresWidthsOutsideTheColumns)
{
    RunInHost(host, [&](CComboHostDialog& dlg) {
        CColumnComboBox& combo = dlg.m_ownerDrawn;
        for (int i = 0; i < 5; ++i) combo.SetColumnWidth(i, 30 + i);
        combo.AddItem("x", NULL);

        combo.SetColumnCount(3);
        Canvas three;
        Draw(combo, three, 0);
        EXPECT_EQ((std::vector<int>{L + 30, L + 61}), three.SeparatorColumns());

        combo.SetColumnCount(5);
        Canvas five;
        Draw(combo, five, 0);
        EXPECT_EQ((std::vector<int>{L + 30, L + 61, L + 93, L + 143}), five.SeparatorColumns());

        RECT update;
        ::ValidateRect(combo.m_hWnd, NULL);
        combo.SetColumnWidth(-1, 5);
        combo.SetColumnWidth(5, 5);
        EXPECT_FALSE(::GetUpdateRect(combo.m_hWnd, &update, FALSE)) << "no repaint for a column outside";
        Canvas unchanged;
        Draw(combo, unchanged, 0);
        EXPECT_EQ(five.SeparatorColumns(), unchanged.SeparatorColumns());
        combo.SetColumnWidth(4, 5);
        EXPECT_TRUE(::GetUpdateRect(combo.m_hWnd, &update, FALSE));
    });
}

}  // namespace
