#include "foundation/Menu.h"

#include "foundation/BitmapMenu.h"
#include "foundation/Dc.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Gdi.h"
#include "foundation/MenuHook.h"
#include "foundation/Window.h"

#include "tests/support/Surface.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CMenu>, "a menu object holds its handle alone");
static_assert(!std::is_copy_constructible_v<CBitmapMenu>, "a menu object holds its handle alone");
#ifdef _WIN64
static_assert(offsetof(MENUITEMINFOA, hbmpItem) == 72, "the older MENUITEMINFOA form has 72 bytes");
static_assert(sizeof(MENUITEMINFOA) == 80, "MENUITEMINFOA has 80 bytes on 64-bit Windows");
#endif

namespace
{
constexpr UINT kOpen = 9100;
constexpr UINT kSave = 9101;
constexpr UINT kInner = 9102;
constexpr UINT kPicture = 9103;
constexpr UINT kMissing = 9199;

MENUITEMINFOA ReadItem(HMENU menu, UINT item, bool byPosition, char* text = nullptr,
                       UINT textSize = 0)
{
    MENUITEMINFOA info = {};
    info.cbSize = GetMenuItemInfoSize();
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_DATA | MIIM_ID | MIIM_SUBMENU;
    if (text != nullptr)
    {
        info.fMask |= MIIM_STRING;
        info.dwTypeData = text;
        info.cch = textSize;
    }
    EXPECT_TRUE(GetMenuItemInfoA(menu, item, byPosition, &info)) << "item " << item;
    return info;
}

// Open (with accelerator), separator, a bitmap item, separator, a submenu
// "More" holding Inner, and Save:
//   0 Open  1 ---  2 [bitmap]  3 ---  4 More > Inner  5 Save
// Three text items and a submenu item make four records.
void FillSample(CMenu& menu, HBITMAP picture)
{
    HMENU handle = menu.GetHandle();
    AppendMenuA(handle, MF_STRING, kOpen, "&Open\tCtrl+O");
    AppendMenuA(handle, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(handle, MF_BITMAP, kPicture, reinterpret_cast<const char*>(picture));
    AppendMenuA(handle, MF_SEPARATOR, 0, nullptr);
    HMENU more = CreatePopupMenu();
    AppendMenuA(more, MF_STRING, kInner, "Inner");
    AppendMenuA(handle, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "More");
    AppendMenuA(handle, MF_STRING, kSave, "Save");
}

// A surface that starts (1, 2, 3), a colour no menu draws.
class Canvas : public Surface
{
public:
    Canvas(int width, int height) : Surface(width, height, RGB(1, 2, 3)) {}
};

// A framework window to own menus and popups.
HWND MakeOwner(CWindow& owner)
{
    StartFramework();
    EXPECT_TRUE(owner.CreateEx(0, nullptr, "menu owner", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                               nullptr, nullptr));
    ShowWindow(owner.GetSafeHwnd(), SW_SHOW);
    return owner.GetSafeHwnd();
}
} // namespace

TEST(MenuTest, TemporaryWrappersNeverDestroyTheirMenus)
{
    HMENU foreign = CreatePopupMenu();
    CMenu* first = CMenu::FromHandle(foreign);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(CMenu::FromHandle(foreign), first);
    EXPECT_TRUE(g_temporaryMenuList.Contains(first));
    EXPECT_FALSE(IsFrameworkMenu(foreign));
    EXPECT_EQ(CMenu::FromHandle(nullptr), nullptr);
    DestroyTemporaryMenus();
    EXPECT_TRUE(g_temporaryMenuList.IsEmpty());
    EXPECT_TRUE(IsMenu(foreign));
    DestroyMenu(foreign);

    CMenu owned;
    ASSERT_TRUE(owned.Create(false));
    HMENU handle = owned.GetHandle();
    EXPECT_EQ(CMenu::FromHandle(handle), &owned);
    EXPECT_TRUE(IsFrameworkMenu(handle));
    HMENU extra = CreateMenu();
    EXPECT_FALSE(owned.Attach(extra)) << "one is held already";
    DestroyMenu(extra);

    // The window's destruction leaves the menu of a menu object alive.
    CWindow owner;
    HWND window = MakeOwner(owner);
    ASSERT_TRUE(SetMenu(window, handle));
    owner.Destroy();
    EXPECT_TRUE(IsMenu(handle));

    // The current menu names the object of the menu list only.
    CWindow::SetCurrentMenu(handle);
    EXPECT_EQ(CMenu::FromCurrentMenu(), &owned);
    CWindow::SetCurrentMenu(nullptr);
    EXPECT_EQ(CMenu::FromCurrentMenu(), nullptr);

    EXPECT_TRUE(owned.Destroy());
    EXPECT_FALSE(IsMenu(handle));
    EXPECT_EQ(owned.GetHandle(), nullptr);
}

TEST(BitmapMenuTest, ConversionGivesTextItemsRecordsAndSeparatorsTheSharedOne)
{
    CBitmap picture;
    {
        CGetDC screen;
        ASSERT_TRUE(picture.CreateCompatibleBitmap(screen, 8, 8));
    }
    CBitmapMenu menu;
    ASSERT_TRUE(menu.Create(false));
    FillSample(menu, picture.GetSafeHandle());
    ASSERT_TRUE(menu.ConvertToOwnerDraw());
    ASSERT_EQ(menu.GetRecordCount(), 4);

    char text[64] = {};
    MENUITEMINFOA open = ReadItem(menu, 0, true, text, sizeof(text));
    EXPECT_TRUE(open.fType & MFT_OWNERDRAW);
    CBitmapMenuItem* record = menu.FindRecord(open.dwItemData);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->text, "&Open\tCtrl+O");
    EXPECT_EQ(record->id, kOpen);
    EXPECT_EQ(record->image, -1);
    EXPECT_EQ(record->kind, CBitmapMenuItem::Text);
    EXPECT_EQ(record->topLevel, 1) << "an item of the object's own menu bar";
    EXPECT_EQ(record->menu, &menu);

    for (UINT position : {1u, 3u})
    {
        MENUITEMINFOA separator = ReadItem(menu, position, true);
        EXPECT_EQ(separator.fType & (MFT_OWNERDRAW | MFT_SEPARATOR),
                  UINT(MFT_OWNERDRAW | MFT_SEPARATOR));
        EXPECT_EQ(separator.fState & (MFS_DISABLED | MFS_GRAYED), UINT(MFS_DISABLED | MFS_GRAYED));
        EXPECT_EQ(separator.dwItemData, reinterpret_cast<ULONG_PTR>(&menu.GetSeparatorRecord()));
    }
    EXPECT_EQ(menu.GetSeparatorRecord().kind, CBitmapMenuItem::Separator);

    MENUITEMINFOA bitmap = ReadItem(menu, 2, true);
    EXPECT_TRUE(bitmap.fType & MFT_BITMAP);
    EXPECT_FALSE(bitmap.fType & MFT_OWNERDRAW);
    EXPECT_EQ(bitmap.dwItemData, 0u);

    MENUITEMINFOA more = ReadItem(menu, 4, true);
    EXPECT_EQ(menu.FindRecord(more.dwItemData)->topLevel, 1);
    MENUITEMINFOA inner = ReadItem(more.hSubMenu, 0, true);
    ASSERT_NE(menu.FindRecord(inner.dwItemData), nullptr);
    EXPECT_EQ(menu.FindRecord(inner.dwItemData)->topLevel, 0) << "a submenu item is a popup item";

    // Items converted already stay as they are: nothing is counted twice.
    ASSERT_TRUE(menu.ConvertToOwnerDraw());
    EXPECT_EQ(menu.GetRecordCount(), 4);

    // A popup-only menu has no bar items.
    CBitmapMenu popup;
    ASSERT_TRUE(popup.Create(true));
    popup.SetPopupOnly(true);
    AppendMenuA(popup.GetHandle(), MF_STRING, kOpen, "Open");
    ASSERT_TRUE(popup.ConvertToOwnerDraw());
    EXPECT_EQ(popup.GetRecord(0)->topLevel, 0);

    // A system menu (it holds SC_CLOSE) is never converted.
    CBitmapMenu system;
    ASSERT_TRUE(system.Create(true));
    AppendMenuA(system.GetHandle(), MF_STRING, kOpen, "Restore");
    AppendMenuA(system.GetHandle(), MF_STRING, SC_CLOSE, "Close");
    EXPECT_TRUE(IsSystemMenu(system.GetHandle()));
    EXPECT_FALSE(system.ConvertToOwnerDraw());
    EXPECT_EQ(system.GetRecordCount(), 0);
    EXPECT_FALSE(ReadItem(system.GetHandle(), 0, true).fType & MFT_OWNERDRAW);
}

TEST(BitmapMenuTest, ItemImagesSkipOnlyTheEntriesThatFail)
{
    CBitmapMenu menu;
    ASSERT_TRUE(menu.Create(true));
    menu.SetPopupOnly(true);
    FillSample(menu, nullptr);

    HIMAGELIST images = ImageList_Create(20, 18, ILC_COLOR32 | ILC_MASK, 4, 1);
    EXPECT_EQ(menu.SetImageList(images), nullptr);
    EXPECT_EQ(menu.GetIconWidth(), 20);
    EXPECT_EQ(menu.GetIconHeight(), 18);
    EXPECT_EQ(menu.SetImageList(nullptr), images);
    ImageList_Destroy(images);

    // A table that ends at once changes nothing but converts the menu.
    const CBitmapMenuImage none[] = {{4, CBitmapMenu::ImagesEnd}};
    EXPECT_TRUE(menu.SetItemImages(none, false));
    EXPECT_TRUE(menu.IsConverted());
    for (int i = 0; i < menu.GetRecordCount(); ++i)
        EXPECT_EQ(menu.GetRecord(i)->image, -1);

    // A command the menu lacks fails its entry; those after it still apply.
    const CBitmapMenuImage table[] = {
        {3, kOpen}, {7, kMissing}, {5, kInner}, {6, 0xFFFF}, {9, kSave}};
    EXPECT_FALSE(menu.SetItemImages(table, false));
    auto imageOf = [&](UINT id)
    {
        MENUITEMINFOA info = ReadItem(menu, id, false);
        return menu.FindRecord(info.dwItemData)->image;
    };
    EXPECT_EQ(imageOf(kOpen), 3);
    EXPECT_EQ(imageOf(kInner), 5) << "found in the submenu by command";
    EXPECT_EQ(imageOf(kSave), -1) << "behind the end marker";

    // By position: the separator at 1 has no record of its own to take one.
    const CBitmapMenuImage byPosition[] = {{8, 1}, {2, 5}, {0, CBitmapMenu::ImagesEnd}};
    EXPECT_FALSE(menu.SetItemImages(byPosition, true));
    EXPECT_EQ(imageOf(kSave), 2);
    EXPECT_EQ(menu.GetSeparatorRecord().image, -1);
}

TEST(BitmapMenuTest, SweepsFreeTheRecordsOfItemsThatAreGone)
{
    CBitmapMenu menu;
    ASSERT_TRUE(menu.Create(true));
    menu.SetPopupOnly(true);
    FillSample(menu, nullptr);
    ASSERT_TRUE(menu.ConvertToOwnerDraw());
    ASSERT_EQ(menu.GetRecordCount(), 4);
    ULONG_PTR openData = ReadItem(menu, kOpen, false).dwItemData;

    // Deleted behind the object's back: the record stays until a sweep.
    ASSERT_TRUE(::DeleteMenu(menu.GetHandle(), kOpen, MF_BYCOMMAND));
    ASSERT_TRUE(::DeleteMenu(menu.GetHandle(), 0, MF_BYPOSITION)) << "the first separator";
    EXPECT_EQ(menu.GetRecordCount(), 4);
    menu.OnExitMenuLoop(nullptr, TRUE);
    EXPECT_EQ(menu.GetRecordCount(), 3);
    EXPECT_EQ(menu.FindRecord(openData), nullptr);
    // The other separator still holds the shared record, which is intact.
    MENUITEMINFOA separator = ReadItem(menu, 1, true);
    EXPECT_EQ(separator.dwItemData, reinterpret_cast<ULONG_PTR>(&menu.GetSeparatorRecord()));
    EXPECT_EQ(menu.FindRecord(separator.dwItemData)->kind, CBitmapMenuItem::Separator);

    // The object's own deletion frees a submenu's records with its item.
    //   0 [bitmap]  1 ---  2 More > Inner  3 Save
    ASSERT_TRUE(menu.DeleteMenu(2, true));
    EXPECT_EQ(menu.GetRecordCount(), 1);
    EXPECT_EQ(menu.GetRecord(0)->id, kSave);

    // Rebuild gives new items records.
    AppendMenuA(menu.GetHandle(), MF_STRING, kOpen, "Open again");
    ASSERT_TRUE(menu.Rebuild());
    EXPECT_EQ(menu.GetRecordCount(), 2);
    menu.OnUninitMenuPopup(nullptr, 0, 0);
    EXPECT_EQ(menu.GetRecordCount(), 2) << "nothing gone, nothing freed";
}

TEST(BitmapMenuTest, ForeignOrStaleItemDataIsNeverRead)
{
    CBitmapMenu menu;
    ASSERT_TRUE(menu.Create(true));
    FillSample(menu, nullptr);
    ASSERT_TRUE(menu.ConvertToOwnerDraw());
    ULONG_PTR stale = ReadItem(menu, kOpen, false).dwItemData;
    ASSERT_TRUE(::DeleteMenu(menu.GetHandle(), kOpen, MF_BYCOMMAND));
    menu.FreeMissingRecords();

    Canvas canvas(40, 20);
    for (ULONG_PTR data : {ULONG_PTR(0), ULONG_PTR(0x00DEADBEEF000010ull), stale})
    {
        MEASUREITEMSTRUCT measure = {};
        measure.CtlType = ODT_MENU;
        measure.itemData = data;
        measure.itemWidth = 11;
        measure.itemHeight = 12;
        int passOn = 1;
        EXPECT_EQ(menu.MeasureItem(&measure, passOn), 0);
        EXPECT_EQ(measure.itemWidth, 11u);
        EXPECT_EQ(measure.itemHeight, 12u);

        DRAWITEMSTRUCT draw = {};
        draw.CtlType = ODT_MENU;
        draw.itemData = data;
        draw.hDC = canvas.Dc();
        draw.rcItem = {0, 0, 40, 20};
        draw.itemState = ODS_SELECTED;
        EXPECT_EQ(menu.DrawItem(&draw, passOn), 0);
        EXPECT_EQ(passOn, 1) << "the window's own handler still runs";
        EXPECT_EQ(canvas.Pixel(5, 5), RGB(1, 2, 3));
    }
    // A record's address from another control type is no menu item.
    MEASUREITEMSTRUCT listItem = {};
    listItem.CtlType = ODT_LISTBOX;
    listItem.itemData = ReadItem(menu, kSave, false).dwItemData;
    int passOn = 1;
    EXPECT_EQ(menu.MeasureItem(&listItem, passOn), 0);

    // Handed back to its owner, the menu keeps no owner-drawn item with a
    // freed record: every converted item is plain again.
    HMENU handle = menu.GetHandle();
    menu.SetDoNotDestroy(true);
    EXPECT_TRUE(menu.Destroy());
    EXPECT_EQ(menu.GetHandle(), nullptr);
    EXPECT_EQ(menu.GetRecordCount(), 0);
    ASSERT_TRUE(IsMenu(handle));
    char text[64] = {};
    MENUITEMINFOA save = ReadItem(handle, kSave, false, text, sizeof(text));
    EXPECT_FALSE(save.fType & MFT_OWNERDRAW);
    EXPECT_EQ(save.dwItemData, 0u);
    EXPECT_STREQ(text, "Save");
    MENUITEMINFOA separator = ReadItem(handle, 0, true);
    EXPECT_EQ(separator.fType & (MFT_OWNERDRAW | MFT_SEPARATOR), UINT(MFT_SEPARATOR));
    EXPECT_EQ(separator.dwItemData, 0u);
    MENUITEMINFOA inner = ReadItem(handle, kInner, false);
    EXPECT_FALSE(inner.fType & MFT_OWNERDRAW);
    DestroyMenu(handle);
}

TEST(BitmapMenuTest, MeasuresAndDrawsItsOwnItems)
{
    StartFramework();
    CBitmapMenu menu;
    ASSERT_TRUE(menu.Create(true));
    menu.SetPopupOnly(true);
    FillSample(menu, nullptr);
    ASSERT_TRUE(menu.ConvertToOwnerDraw());
    ULONG_PTR open = ReadItem(menu, kOpen, false).dwItemData;
    ULONG_PTR separator = ReadItem(menu, 1, true).dwItemData;

    MEASUREITEMSTRUCT measure = {};
    measure.CtlType = ODT_MENU;
    measure.itemData = open;
    int passOn = 1;
    ASSERT_EQ(menu.MeasureItem(&measure, passOn), 1);
    // Icon column, the gap for the accelerator and both texts.
    EXPECT_GT(measure.itemWidth, 16u + 6u + 20u + 10u);
    EXPECT_GE(measure.itemHeight, UINT(GetSystemMetrics(SM_CYMENU)));
    EXPECT_GE(measure.itemHeight, 20u);
    measure.itemData = separator;
    ASSERT_EQ(menu.MeasureItem(&measure, passOn), 1);
    EXPECT_EQ(measure.itemWidth, UINT(3 * GetSystemMetrics(SM_CXFRAME)));
    EXPECT_EQ(measure.itemHeight, UINT(2 * GetSystemMetrics(SM_CYFRAME)));

    // A checked item without an image: its icon column gets the checked
    // background (the menu colour lightened or darkened) inside a sunken
    // edge; the text area the menu colour.
    Canvas canvas(200, 24);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemID = kOpen;
    draw.itemData = open;
    draw.hwndItem = reinterpret_cast<HWND>(menu.GetHandle());
    draw.hDC = canvas.Dc();
    draw.rcItem = {0, 0, 200, 24};
    draw.itemState = ODS_CHECKED;
    passOn = 1;
    ASSERT_EQ(menu.DrawItem(&draw, passOn), 1);
    EXPECT_EQ(passOn, 0);
    COLORREF menuColour = GetSysColor(COLOR_MENU);
    COLORREF checked = CHlsColor(menuColour).GetLuminance() < 220 ? color::Lighten(menuColour, 0.5)
                                                                  : color::Darken(menuColour, 0.1);
    EXPECT_EQ(canvas.Pixel(3, 3), checked);
    EXPECT_EQ(canvas.Pixel(1, 1), GetSysColor(COLOR_BTNSHADOW)) << "the sunken edge";
    EXPECT_EQ(canvas.Pixel(195, 2), menuColour);

    // Selected: the text area is the highlight.
    draw.itemState = ODS_SELECTED;
    ASSERT_EQ(menu.DrawItem(&draw, passOn), 1);
    EXPECT_EQ(canvas.Pixel(195, 2), GetSysColor(COLOR_HIGHLIGHT));

    // A separator: the menu colour with an etched line at half its height.
    draw.itemData = separator;
    draw.rcItem = {0, 0, 200, 10};
    ASSERT_EQ(menu.DrawItem(&draw, passOn), 1);
    EXPECT_EQ(canvas.Pixel(50, 2), menuColour);
    EXPECT_EQ(canvas.Pixel(50, 5), GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(canvas.Pixel(50, 6), GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST(MenuGeometryTest, MarginsAndPopupPlacement)
{
    // With the system's shadow every side is the edge plus one; without it
    // the right and bottom take 4 more for the hand-drawn shadow.
    MenuMargins withSystemShadow = ComputeItemMargins(2, 2, true, true);
    EXPECT_EQ(withSystemShadow.left, 3);
    EXPECT_EQ(withSystemShadow.top, 3);
    EXPECT_EQ(withSystemShadow.right, 3);
    EXPECT_EQ(withSystemShadow.bottom, 3);
    MenuMargins own = ComputeItemMargins(2, 3, true, false);
    EXPECT_EQ(own.left, 3);
    EXPECT_EQ(own.top, 4);
    EXPECT_EQ(own.right, 7);
    EXPECT_EQ(own.bottom, 8);
    EXPECT_EQ(ComputeItemMargins(2, 2, false, false).right, 3);

    // The system sized the popup for a frame of 2 * edge + 2 per axis.
    SIZE grown = GrowPopupSize(SIZE{100, 50}, own, 2, 3);
    EXPECT_EQ(grown.cx, 100 + 10 - 6);
    EXPECT_EQ(grown.cy, 50 + 12 - 8);

    // The edge comes from the popup's own frame: a one-pixel border leaves
    // none (Wine 8's popups), a border with a dialog frame (Windows' three
    // pixels a side) leaves two.
    HWND bordered = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_BORDER, 0, 0, 50, 50,
                                    nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(bordered, nullptr);
    SIZE edge = PopupFrameEdge(bordered);
    EXPECT_EQ(edge.cx, 0);
    EXPECT_EQ(edge.cy, 0);
    DestroyWindow(bordered);
    HWND framed = CreateWindowExA(WS_EX_DLGMODALFRAME, "STATIC", "", WS_POPUP | WS_BORDER, 0, 0,
                                  50, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(framed, nullptr);
    edge = PopupFrameEdge(framed);
    EXPECT_EQ(edge.cx, GetSystemMetrics(SM_CXDLGFRAME) - 1);
    EXPECT_EQ(edge.cy, GetSystemMetrics(SM_CYDLGFRAME) - 1);
    DestroyWindow(framed);

    // Wine 8 gives no system shadow: a bitmap menu takes the wide margins.
    CBitmapMenu menu;
    int left = 0, top = 0, right = 0, bottom = 0;
    menu.GetItemMargins(left, top, right, bottom);
    MenuMargins expected =
        ComputeItemMargins(GetSystemMetrics(SM_CXEDGE), GetSystemMetrics(SM_CYEDGE), true,
                           ModuleState::GetDropShadow() != FALSE);
    EXPECT_EQ(right, expected.right);
    EXPECT_EQ(bottom, expected.bottom);
    menu.SetOwnShadow(false);
    menu.GetItemMargins(left, top, right, bottom);
    EXPECT_EQ(right, GetSystemMetrics(SM_CXEDGE) + 1);

    RECT barItem = {40, 0, 90, 20};
    WINDOWPOS beside = {};
    beside.x = 90;
    beside.y = 20;
    AlignPopupUnderBarItem(beside, barItem);
    EXPECT_EQ(beside.x, 40);
    EXPECT_EQ(beside.y, 20);
    WINDOWPOS elsewhere = beside;
    elsewhere.x = 91;
    AlignPopupUnderBarItem(elsewhere, barItem);
    EXPECT_EQ(elsewhere.x, 91);
    WINDOWPOS notMoved = beside;
    notMoved.x = 90;
    notMoved.flags = SWP_NOMOVE;
    AlignPopupUnderBarItem(notMoved, barItem);
    EXPECT_EQ(notMoved.x, 90);

    EXPECT_EQ(GetMenuItemInfoSize(), sizeof(MENUITEMINFOA));
}

TEST(MenuTest, BarPopupsAreTrackedAndOpenUnderTheirItem)
{
    CWindow owner;
    HWND window = MakeOwner(owner);
    CBitmapMenu bar;
    ASSERT_TRUE(bar.Create(false));
    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kOpen, "Open");
    AppendMenuA(bar.GetHandle(), MF_POPUP, reinterpret_cast<UINT_PTR>(file), "File");
    HMENU edit = CreatePopupMenu();
    AppendMenuA(edit, MF_STRING, kSave, "Cut");
    AppendMenuA(bar.GetHandle(), MF_POPUP, reinterpret_cast<UINT_PTR>(edit), "Edit");
    ASSERT_TRUE(SetMenu(window, bar.GetHandle()));

    bar.OnInitMenuPopup(&owner, edit, 1, FALSE);
    EXPECT_TRUE(bar.IsBarPopupOpen());
    RECT item = {};
    ASSERT_TRUE(GetMenuItemRect(window, bar.GetHandle(), 1, &item));
    const RECT& kept = *static_cast<const RECT*>(bar.GetBarItemRect());
    EXPECT_TRUE(EqualRect(&kept, &item));
    EXPECT_TRUE(ReadItem(edit, 0, true).fType & MFT_OWNERDRAW) << "converted as it opens";

    WINDOWPOS position = {};
    position.x = item.right;
    bar.AdjustPopupPos(&position);
    EXPECT_EQ(position.x, item.left);

    bar.OnUninitMenuPopup(&owner, reinterpret_cast<WPARAM>(edit), 0);
    EXPECT_FALSE(bar.IsBarPopupOpen());
    // A popup that is no submenu of the bar empties the rectangle.
    HMENU other = CreatePopupMenu();
    bar.OnInitMenuPopup(&owner, other, 0, FALSE);
    EXPECT_TRUE(IsRectEmpty(static_cast<const RECT*>(bar.GetBarItemRect())));
    bar.OnExitMenuLoop(&owner, FALSE);
    EXPECT_FALSE(bar.IsBarPopupOpen());
    DestroyMenu(other);
    SetMenu(window, nullptr);
}

namespace
{
// A bitmap menu that counts what the window procedure hands it.
class CountingMenu : public CBitmapMenu
{
public:
    LRESULT MeasureItem(MEASUREITEMSTRUCT* item, int& passOn) override
    {
        ++measured;
        return CBitmapMenu::MeasureItem(item, passOn);
    }
    LRESULT DrawItem(DRAWITEMSTRUCT* item, int& passOn) override
    {
        ++drawn;
        return CBitmapMenu::DrawItem(item, passOn);
    }
    int measured = 0;
    int drawn = 0;
};

// What the timer saw of the open popup.
struct PopupView
{
    HWND popup = nullptr;
    bool hasRecord = false;
    bool subclassed = false;
    int liveRecords = 0;
    RECT window = {};
    RECT client = {};
    COLORREF corner = 0;
    COLORREF frameRight = 0;
    COLORREF shadowBand = 0;
    int width = 0;
    int height = 0;
};
PopupView g_view;

void CALLBACK InspectAndEndMenu(HWND owner, UINT, UINT_PTR id, DWORD)
{
    KillTimer(owner, id);
    HWND popup = FindWindowA("#32768", nullptr);
    g_view.popup = popup;
    if (popup != nullptr)
    {
        ATOM atom = GetModuleState()->GetMenuHookAtom();
        g_view.hasRecord = GetPropA(popup, MAKEINTATOM(atom)) != nullptr;
        g_view.subclassed = GetWindowLongPtrA(popup, GWLP_WNDPROC) !=
                            static_cast<LONG_PTR>(GetClassLongPtrA(popup, GCLP_WNDPROC));
        g_view.liveRecords = GetLivePopupRecordCount();
        GetWindowRect(popup, &g_view.window);
        GetClientRect(popup, &g_view.client);
        POINT origin = {0, 0};
        ClientToScreen(popup, &origin);
        OffsetRect(&g_view.client, origin.x, origin.y);

        // Wine sends no WM_PRINT of its own: ask for the frame.
        int width = g_view.window.right - g_view.window.left;
        int height = g_view.window.bottom - g_view.window.top;
        g_view.width = width;
        g_view.height = height;
        Canvas canvas(width, height);
        SendMessageA(popup, WM_PRINT, reinterpret_cast<WPARAM>(canvas.Dc()), PRF_NONCLIENT);
        g_view.corner = canvas.Pixel(0, 0);
        g_view.frameRight = canvas.Pixel(width - 5, height / 2);
        g_view.shadowBand = canvas.Pixel(width - 3, height / 2);
    }
    EndMenu();
}

PopupView TrackWithTimer(CMenu& menu, HWND owner)
{
    g_view = PopupView();
    SetTimer(owner, 1, 100, InspectAndEndMenu);
    TrackPopupMenu(menu.GetHandle(), 0, 20, 20, 0, owner, nullptr);
    PumpMessages();
    return g_view;
}
} // namespace

TEST(MenuHookTest, TrackedPopupsAreFramedByTheirMenu)
{
    CWindow owner;
    HWND window = MakeOwner(owner);

    // The hook's property is named by a global atom.
    ATOM atom = GetModuleState()->GetMenuHookAtom();
    ASSERT_NE(atom, 0);
    char name[64] = {};
    ASSERT_GT(GlobalGetAtomNameA(atom, name, sizeof(name)), 0u);
    EXPECT_STREQ(name, "75DD5B06-53A7-4be7-8E23-62176C93731A");

    // A plain menu: the popup is subclassed but keeps the system's frame.
    CMenu plain;
    ASSERT_TRUE(plain.Create(true));
    AppendMenuA(plain.GetHandle(), MF_STRING, kOpen, "Open");
    AppendMenuA(plain.GetHandle(), MF_STRING, kSave, "Save");
    PopupView plainView = TrackWithTimer(plain, window);
    ASSERT_NE(plainView.popup, nullptr) << "the popup was open when the timer ran";
    EXPECT_TRUE(plainView.hasRecord);
    int plainFrame = (plainView.window.right - plainView.window.left) -
                     (plainView.client.right - plainView.client.left);
    EXPECT_EQ(GetLivePopupRecordCount(), 0);

    CountingMenu menu;
    ASSERT_TRUE(menu.Create(true));
    menu.SetPopupOnly(true);
    AppendMenuA(menu.GetHandle(), MF_STRING, kOpen, "Open\tCtrl+O");
    AppendMenuA(menu.GetHandle(), MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu.GetHandle(), MF_STRING, kSave, "Save");
    PopupView view = TrackWithTimer(menu, window);
    ASSERT_NE(view.popup, nullptr);
    EXPECT_TRUE(view.hasRecord);
    EXPECT_TRUE(view.subclassed);
    EXPECT_EQ(view.liveRecords, 1);

    // The client area lies inside the menu's margins.
    int left = 0, top = 0, right = 0, bottom = 0;
    menu.GetItemMargins(left, top, right, bottom);
    EXPECT_EQ(view.client.left - view.window.left, left);
    EXPECT_EQ(view.client.top - view.window.top, top);
    EXPECT_EQ(view.window.right - view.client.right, right);
    EXPECT_EQ(view.window.bottom - view.client.bottom, bottom);
    EXPECT_NE(left + right, plainFrame);

    // The printed frame: the raised edge from the corner, the shadow band
    // left outside it (no system shadow under Wine).
    EXPECT_EQ(view.corner, GetSysColor(COLOR_3DLIGHT));
    if (!ModuleState::GetDropShadow())
    {
        EXPECT_EQ(view.frameRight, GetSysColor(COLOR_3DDKSHADOW));
        EXPECT_NE(view.shadowBand, GetSysColor(COLOR_3DDKSHADOW));
    }

    // The window procedure routed the items to the menu object, which
    // converted the popup when it opened; the loop's end closed everything.
    EXPECT_EQ(menu.GetRecordCount(), 2);
    EXPECT_GT(menu.measured, 0);
    EXPECT_GT(menu.drawn, 0);
    EXPECT_FALSE(menu.IsBarPopupOpen());
    EXPECT_EQ(GetLivePopupRecordCount(), 0);

    // The atom is deleted once: a reference of someone else survives the
    // removal, and the module state has nothing left to delete at exit.
    ATOM other = GlobalAddAtomA(name);
    ASSERT_EQ(other, atom);
    RemoveMenuHook();
    EXPECT_EQ(GetModuleState()->GetMenuHookAtom(), 0);
    EXPECT_EQ(GlobalFindAtomA(name), atom);
    GlobalDeleteAtom(other);
}
