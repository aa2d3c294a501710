#include "skin/SkinXPMenu.h"

#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/Window.h"

#include "tests/support/WindowTestSupport.h"
#include "tests/support/MenuTestSupport.h"

#include <gtest/gtest.h>

namespace
{
constexpr UINT kOpen = 9300;
constexpr UINT kQuiet = 9301;
constexpr UINT kRadio = 9302;

// Colours that tell every part apart.
SkinMenuColours TestColours()
{
    SkinMenuColours colours;
    colours.selection = RGB(250, 170, 20);
    colours.verticalBar = RGB(20, 40, 120);
    colours.border = RGB(200, 0, 0);
    colours.text = RGB(0, 90, 0);
    colours.textBack = RGB(240, 240, 230);
    return colours;
}

// Open (with shortcut), a separator, a radio item and a plain item.
void FillMenu(CMenu& menu)
{
    AppendMenuA(menu, MF_STRING, kOpen, "Open\tCtrl+O");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kRadio, "Radio");
    MENUITEMINFOA radio = {};
    radio.cbSize = GetMenuItemInfoSize();
    radio.fMask = MIIM_FTYPE;
    radio.fType = MFT_STRING | MFT_RADIOCHECK;
    SetMenuItemInfoA(menu, kRadio, FALSE, &radio);
    AppendMenuA(menu, MF_STRING, kQuiet, "Quiet");
}

ULONG_PTR DataOf(HMENU menu, UINT item, bool byPosition)
{
    MENUITEMINFOA info = {};
    info.cbSize = GetMenuItemInfoSize();
    info.fMask = MIIM_DATA;
    GetMenuItemInfoA(menu, item, byPosition, &info);
    return info.dwItemData;
}

DRAWITEMSTRUCT DrawRecord(const CMenu& menu, UINT id, ULONG_PTR data, HDC dc, RECT rect, UINT state)
{
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemID = id;
    draw.itemData = data;
    draw.hwndItem = reinterpret_cast<HWND>(menu.GetHandle());
    draw.hDC = dc;
    draw.rcItem = rect;
    draw.itemState = state;
    return draw;
}

class SkinXPMenuTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartFramework();
        ASSERT_TRUE(m_menu.Create(true));
        m_menu.SetPopupOnly(true);
        m_menu.SetColours(TestColours());
        FillMenu(m_menu);
        ASSERT_TRUE(m_menu.ConvertToOwnerDraw());
    }

    LRESULT Draw(UINT id, ULONG_PTR data, UINT state, const RECT& rect)
    {
        DRAWITEMSTRUCT draw = DrawRecord(m_menu, id, data, m_canvas.Dc(), rect, state);
        int passOn = 1;
        LRESULT result = m_menu.DrawItem(&draw, passOn);
        EXPECT_EQ(passOn, 0);
        return result;
    }

    CSkinXPMenu m_menu;
    MenuCanvas m_canvas{240, 30};
    const SkinMenuColours m_colours = TestColours();
};
} // namespace

TEST_F(SkinXPMenuTest, MeasuresSeparatorsSmallAndPopupItemsLargerThanTheBitmapMenu)
{
    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = DataOf(m_menu, 1, true);
    int passOn = 1;
    ASSERT_EQ(m_menu.MeasureItem(&measure, passOn), 1);
    EXPECT_EQ(measure.itemWidth, 4u);
    EXPECT_EQ(measure.itemHeight, 3u);

    // The same item measured by a bitmap menu is the base.
    CBitmapMenu plain;
    ASSERT_TRUE(plain.Create(true));
    plain.SetPopupOnly(true);
    FillMenu(plain);
    ASSERT_TRUE(plain.ConvertToOwnerDraw());
    MEASUREITEMSTRUCT base = {};
    base.CtlType = ODT_MENU;
    base.itemData = DataOf(plain, kOpen, false);
    ASSERT_EQ(plain.MeasureItem(&base, passOn), 1);
    measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = DataOf(m_menu, kOpen, false);
    ASSERT_EQ(m_menu.MeasureItem(&measure, passOn), 1);
    EXPECT_EQ(measure.itemWidth, base.itemWidth + 20);
    EXPECT_EQ(measure.itemHeight, base.itemHeight + 2);

    // Items of other menus, and other controls, are not measured.
    measure.itemData = base.itemData;
    EXPECT_EQ(m_menu.MeasureItem(&measure, passOn), 0);
    measure.CtlType = ODT_BUTTON;
    EXPECT_EQ(m_menu.MeasureItem(&measure, passOn), 0);

    // The own shadow is off: two pixels on every side.
    int left = 0, top = 0, right = 0, bottom = 0;
    m_menu.GetItemMargins(left, top, right, bottom);
    EXPECT_EQ(left, 2);
    EXPECT_EQ(top, 2);
    EXPECT_EQ(right, 2);
    EXPECT_EQ(bottom, 2);
    EXPECT_FALSE(m_menu.HasOwnShadow());
    EXPECT_TRUE(m_menu.UseOwnerDraw());
}

TEST_F(SkinXPMenuTest, DrawsTheSelectionBarTheIconColumnAndTheTextArea)
{
    ULONG_PTR open = DataOf(m_menu, kOpen, false);
    RECT item = {0, 0, 240, 24};

    // Not selected: a 24-pixel icon column, then the text background.
    ASSERT_EQ(Draw(kOpen, open, 0, item), 1);
    EXPECT_EQ(m_canvas.Pixel(0, 0), m_colours.verticalBar);
    EXPECT_EQ(m_canvas.Pixel(23, 23), m_colours.verticalBar);
    EXPECT_EQ(m_canvas.Pixel(24, 0), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(239, 23), m_colours.textBack);
    // The label in the text colour, on the left of the text area.
    InkBox label = m_canvas.Ink(24, 0, 132, 24, m_colours.textBack);
    ASSERT_TRUE(label.found);
    EXPECT_GE(label.left, 24 + 8);
    EXPECT_TRUE(m_canvas.Contains(label, m_colours.text));

    // Selected: the whole item, border and fill, in the selection colour.
    ASSERT_EQ(Draw(kOpen, open, ODS_SELECTED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(0, 0), m_colours.selection);
    EXPECT_EQ(m_canvas.Pixel(10, 12), m_colours.selection);
    EXPECT_EQ(m_canvas.Pixel(239, 23), m_colours.selection);

    // Disabled under the mouse: no bar, and the text in light grey.
    ASSERT_EQ(Draw(kOpen, open, ODS_SELECTED | ODS_GRAYED | ODS_DISABLED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(0, 0), m_colours.verticalBar);
    EXPECT_EQ(m_canvas.Pixel(239, 0), m_colours.textBack);
    InkBox grey = m_canvas.Ink(24, 0, 240, 24, m_colours.textBack);
    ASSERT_TRUE(grey.found);
    EXPECT_TRUE(m_canvas.Contains(grey, CSkinXPMenu::DisabledText));
    EXPECT_FALSE(m_canvas.Contains(grey, m_colours.text));

    // The classic look is the bitmap menu's.
    m_menu.SetClassic(true);
    ASSERT_EQ(Draw(kOpen, open, 0, item), 1);
    EXPECT_EQ(m_canvas.Pixel(239, 0), GetSysColor(COLOR_MENU));
    m_menu.SetClassic(false);
}

TEST_F(SkinXPMenuTest, PutsTheShortcutRightOfTheLabelOnTheSameLine)
{
    RECT item = {0, 0, 240, 24};
    ASSERT_EQ(Draw(kOpen, DataOf(m_menu, kOpen, false), 0, item), 1);
    InkBox all = m_canvas.Ink(24, 0, 240, 24, m_colours.textBack);
    ASSERT_TRUE(all.found);
    // Two runs of ink with a wide gap: "Open" from the text area's left
    // (+8), "Ctrl+O" ending at its right (-6).
    InkBox label = m_canvas.Ink(24, 0, 120, 24, m_colours.textBack);
    InkBox shortcut = m_canvas.Ink(120, 0, 240, 24, m_colours.textBack);
    ASSERT_TRUE(label.found);
    ASSERT_TRUE(shortcut.found);
    EXPECT_LE(label.left, 24 + 8 + 2);
    EXPECT_LT(label.right, 100);
    EXPECT_GT(shortcut.left, 150);
    EXPECT_GE(shortcut.right, 240 - 6 - 3);
    EXPECT_LE(shortcut.right, 240 - 6);
    // One line: both start at the capitals' height ("Open" reaches lower
    // with its descender), centred in the item.
    EXPECT_LE(std::abs(label.top - shortcut.top), 3);
    EXPECT_LT(std::abs(shortcut.top + shortcut.bottom - 24), 4);
    EXPECT_LT(all.bottom - all.top, 20);
}

TEST_F(SkinXPMenuTest, DrawsSeparatorsCheckMarksAndRadioBullets)
{
    // The separator: one line in the border colour at mid height, from 8
    // pixels into the text area to its right edge.
    RECT thin = {0, 0, 240, 9};
    ASSERT_EQ(Draw(0, DataOf(m_menu, 1, true), ODS_DISABLED | ODS_GRAYED, thin), 1);
    EXPECT_EQ(m_canvas.Pixel(24 + 8, 4), m_colours.border);
    EXPECT_EQ(m_canvas.Pixel(239, 4), m_colours.border);
    EXPECT_EQ(m_canvas.Pixel(24 + 7, 4), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(100, 3), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(100, 5), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(10, 4), m_colours.verticalBar);

    // A checked item without an image: the icon box framed and filled in
    // the text background, with the check mark in COLOR_MENUTEXT.
    RECT item = {0, 0, 240, 24};
    ASSERT_EQ(Draw(kQuiet, DataOf(m_menu, kQuiet, false), ODS_CHECKED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(1, 1), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(0, 0), m_colours.verticalBar);
    InkBox mark = m_canvas.Ink(1, 1, 22, 23, m_colours.textBack);
    ASSERT_TRUE(mark.found);
    EXPECT_TRUE(m_canvas.Contains(mark, GetSysColor(COLOR_MENUTEXT)));

    // Checked and disabled: the box in the border and icon-column colours.
    ASSERT_EQ(Draw(kQuiet, DataOf(m_menu, kQuiet, false), ODS_CHECKED | ODS_DISABLED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(1, 1), m_colours.border);
    EXPECT_EQ(m_canvas.Pixel(3, 3), m_colours.verticalBar);

    // A radio item: an empty bullet (border ring on the text background);
    // checked, a dot of the check colour inside.
    ULONG_PTR radio = DataOf(m_menu, kRadio, false);
    ASSERT_EQ(Draw(kRadio, radio, 0, item), 1);
    // The icon box is 1..22 x 1..23: the bullet's square spans 5..16, 6..17.
    int centreX = (1 + 22) / 2;
    int centreY = (1 + 23) / 2;
    EXPECT_EQ(m_canvas.Pixel(centreX, centreY), m_colours.textBack);
    EXPECT_EQ(m_canvas.Pixel(centreX, centreY - 6), m_colours.border);
    EXPECT_EQ(m_canvas.Pixel(centreX - 9, centreY), m_colours.verticalBar);
    ASSERT_EQ(Draw(kRadio, radio, ODS_CHECKED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(centreX, centreY), GetSysColor(COLOR_MENUTEXT));
    EXPECT_EQ(m_canvas.Pixel(centreX, centreY - 6), m_colours.border);
    EXPECT_EQ(m_canvas.Pixel(centreX, centreY - 4), m_colours.textBack);
}

TEST_F(SkinXPMenuTest, DrawsItemImagesInTheIconColumn)
{
    HIMAGELIST images = MakeSolidImageList(RGB(0, 200, 0));
    ASSERT_NE(images, nullptr);
    m_menu.SetImageList(images);
    CBitmapMenuImage table[] = {{0, static_cast<WORD>(kQuiet)}, {0, CBitmapMenu::ImagesEnd}};
    ASSERT_TRUE(m_menu.SetItemImages(table, false));
    RECT item = {0, 0, 240, 24};
    ASSERT_EQ(Draw(kQuiet, DataOf(m_menu, kQuiet, false), 0, item), 1);
    // The 16-pixel image centred in the icon box moved one pixel left.
    InkBox icon = m_canvas.Ink(0, 0, 24, 24, m_colours.verticalBar);
    ASSERT_TRUE(icon.found);
    EXPECT_EQ(icon.right - icon.left, 16);
    EXPECT_EQ(icon.bottom - icon.top, 16);
    EXPECT_EQ(m_canvas.Pixel(icon.left + 8, icon.top + 8), RGB(0, 200, 0));
    // The hot flag is drawn as a normal image.
    m_menu.SetHotImage(true);
    ASSERT_EQ(Draw(kQuiet, DataOf(m_menu, kQuiet, false), ODS_SELECTED, item), 1);
    EXPECT_EQ(m_canvas.Pixel(icon.left + 8, icon.top + 8), RGB(0, 200, 0));
    EXPECT_NE(CSkinXPMenu::StateHotImage & CDC::StateOwnDisabled, CDC::StateOwnDisabled);
    m_menu.SetImageList(nullptr);
    ImageList_Destroy(images);
}

TEST(SkinXPMenuColoursTest, ReadsTheFiveColoursWithTheirDefaults)
{
    SkinFilesRedirect redirect("xpmenu");
    // Nothing in the skin file: every default.
    redirect.WriteSkin("Default", "[Color]\r\n");
    CSkinFiles empty;
    SkinMenuColours colours = ReadSkinMenuColours(empty);
    EXPECT_EQ(colours.selection, RGB(255, 173, 27));
    EXPECT_EQ(colours.verticalBar, RGB(0, 0, 0));
    EXPECT_EQ(colours.border, RGB(0, 0, 0));
    EXPECT_EQ(colours.text, RGB(0, 0, 0));
    EXPECT_EQ(colours.textBack, RGB(255, 255, 255));

    // Stored components win, one by one.
    redirect.WriteSkin("Default", "[Color]\r\nCOLOR_TRAY_SELECTION_R=1\r\n"
                                  "COLOR_TRAY_VERTICAL_BAR_R=10\r\nCOLOR_TRAY_VERTICAL_BAR_G=20\r\n"
                                  "COLOR_TRAY_VERTICAL_BAR_B=30\r\nCOLOR_TRAY_TEXT_BACK_B=200\r\n");
    CSkinFiles partial;
    colours = ReadSkinMenuColours(partial);
    EXPECT_EQ(colours.selection, RGB(1, 173, 27));
    EXPECT_EQ(colours.verticalBar, RGB(10, 20, 30));
    EXPECT_EQ(colours.textBack, RGB(255, 255, 200));
}

TEST(SkinXPMenuColoursTest, TheMenuReadsTheChosenSkin)
{
    SkinFilesRedirect redirect("xpskin");
    redirect.WriteSkin("Teal", "[Color]\r\nCOLOR_TRAY_BORDER_R=0\r\nCOLOR_TRAY_BORDER_G=128\r\n"
                               "COLOR_TRAY_BORDER_B=128\r\n");
    redirect.ChooseSkin("Teal");
    CSkinXPMenu menu;
    EXPECT_EQ(menu.GetColours().border, RGB(0, 128, 128));
    EXPECT_EQ(menu.GetColours().selection, RGB(255, 173, 27));
}

TEST(SkinXPMenuGeometryTest, PopupPositionAndItemLayout)
{
    RECT bar = {40, 0, 90, 20};
    // Under the bar item's bottom: 3 down; x at the item's right edge goes
    // to its left edge.
    WINDOWPOS under = {};
    under.x = 90;
    under.y = 18;
    AdjustSkinPopupPosition(under, bar);
    EXPECT_EQ(under.y, 21);
    EXPECT_EQ(under.x, 40);
    // Below the item (or with no item): 1 up; another x stays.
    WINDOWPOS below = {};
    below.x = 300;
    below.y = 20;
    AdjustSkinPopupPosition(below, bar);
    EXPECT_EQ(below.y, 19);
    EXPECT_EQ(below.x, 300);
    RECT none = {};
    WINDOWPOS tray = {};
    tray.x = 500;
    tray.y = 400;
    AdjustSkinPopupPosition(tray, none);
    EXPECT_EQ(tray.y, 399);
    EXPECT_EQ(tray.x, 500);
    // A move that is suppressed is left alone.
    WINDOWPOS still = {};
    still.x = 90;
    still.y = 18;
    still.flags = SWP_NOMOVE;
    AdjustSkinPopupPosition(still, bar);
    EXPECT_EQ(still.y, 18);
    EXPECT_EQ(still.x, 90);

    SkinMenuItemLayout layout = LayOutSkinMenuItem(RECT{10, 5, 200, 29}, 16);
    EXPECT_EQ(layout.iconColumn.left, 10);
    EXPECT_EQ(layout.iconColumn.right, 34);
    EXPECT_EQ(layout.textArea.left, 34);
    EXPECT_EQ(layout.textArea.right, 200);
    EXPECT_EQ(layout.iconBox.left, 11);
    EXPECT_EQ(layout.iconBox.top, 6);
    EXPECT_EQ(layout.iconBox.right, 32);
    EXPECT_EQ(layout.iconBox.bottom, 28);
}

namespace
{
// A framework window that records its frame and client paints.
class PaintRecorder : public CWindow
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_NCPAINT)
            ++frames;
        return CWindow::WindowProc(message, wParam, lParam);
    }
    LRESULT OnPaint(CDC*) override
    {
        PAINTSTRUCT paint = {};
        BeginPaint(GetSafeHwnd(), &paint);
        painted = paint.rcPaint;
        EndPaint(GetSafeHwnd(), &paint);
        return 0;
    }
    int frames = 0;
    RECT painted = {};
};
} // namespace

TEST(SkinXPMenuLoopTest, TheEndOfTheMenuLoopRedrawsTheFrameAndTheWholeClientArea)
{
    StartFramework();
    PaintRecorder window;
    // Far from the screen's corner: screen and client coordinates differ.
    ASSERT_TRUE(window.CreateEx(0, nullptr, "menu loop", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 200,
                                320, 200, nullptr, nullptr));
    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_STRING, kOpen, "File");
    SetMenu(window.GetSafeHwnd(), bar);
    PumpMessages();
    window.frames = 0;
    window.painted = {};

    CSkinXPMenu menu;
    menu.OnExitMenuLoop(&window, TRUE);
    PumpMessages();
    EXPECT_GT(window.frames, 0) << "the frame, with its menu bar, was drawn again";
    RECT client = {};
    GetClientRect(window.GetSafeHwnd(), &client);
    EXPECT_TRUE(EqualRect(&window.painted, &client))
        << window.painted.left << "," << window.painted.top << " " << window.painted.right << ","
        << window.painted.bottom;
    SetMenu(window.GetSafeHwnd(), nullptr);
    DestroyMenu(bar);
}
