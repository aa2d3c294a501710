// The main window's initialisation on the null display driver: every
// control of the window and its pages bound to its skinned class with the
// language file's text, the start state of the pages and groups, the lists
// and menus it fills, the profile it loads, page switching, the layout after
// a resize and the frame painted by WM_ERASEBKGND.
#include "app/MainApplicationDialog.h"
#include "app/EmptyFileTree.h"
#include "engine/Profile.h"
#include "engine/Settings.h"
#include "foundation/Dc.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"
#include "skin/CustomFileDirTree.h"
#include "skin/CustomStatic.h"
#include "skin/FrameBar.h"
#include "skin/SkinButton.h"
#include "skin/SkinComboBox.h"
#include "skin/SkinFiles.h"
#include "tests/support/BmpFile.h"
#include "tests/support/Surface.h"
#include "tests/app/MessageDialogTestSupport.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace
{
CString TextOf(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof(text));
    return CString(text);
}

bool WriteSolidBmp(const char* path, int width, int height, COLORREF colour)
{
    return WriteBmp(path, width, height, [colour](int, int) { return colour; });
}

bool CopyTree(const CString& from, const CString& to)
{
    CreateDirectoryA(to, nullptr);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(from + "\\*", &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do
    {
        if (found.cFileName[0] == '.')
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + "\\" + found.cFileName, to + "\\" + found.cFileName) && ok;
        else
            ok = CopyFileA(from + "\\" + found.cFileName, to + "\\" + found.cFileName, FALSE) && ok;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return ok;
}

CRect RectInParent(HWND child)
{
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return CRect(rect);
}

CSize ClientSize(HWND window)
{
    RECT rect = {};
    GetClientRect(window, &rect);
    return CSize(rect.right, rect.bottom);
}

const Page kMadePages[] = {Page::Backup,    Page::Blank,     Page::Restore,
                           Page::BackupOptions, Page::MiscOptions, Page::Startup,
                           Page::Uninstall,     Page::Support,     Page::Optimize};

// Each test runs the window in the surroundings of its own (per-user
// folder, program folder, registry key, pipes; a first start, so the window
// shows), with a test language whose every text differs from the English
// one ("T<number>").
class MainWindowInitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_userFolder = m_environment.AppData() + "\\ORVANEL Brindlewox";
        m_program = m_environment.ProgramFolder();
        ASSERT_TRUE(MakeFolder(m_userFolder));
        ASSERT_TRUE(MakeFolder(m_program + "\\Languages\\Test"));
        std::string language = "[Language]\r\n";
        for (int n = 1; n < 700; ++n)
            language += "DL_N_101_" + std::to_string(n) + "=T" + std::to_string(n) + "\r\n";
        ASSERT_TRUE(WriteTextFile(m_program + "\\Languages\\Test\\default.ini", language.c_str()));
        UseSkin("Default");
    }

    void UseSkin(const char* skin)
    {
        std::string settings = std::string("[Skin]\r\nDirectory=") + skin +
                               "\r\n[Language]\r\nDirectory=Test\r\n";
        ASSERT_TRUE(WriteTextFile(m_userFolder + "\\settings.ini", settings.c_str()));
    }

    // The shipped skin, copied beside the test's program.
    void CopyShippedSkin(const char* name)
    {
        ASSERT_TRUE(CopyTree(CString(BRINDLEWOX_BINARY_DIR) + "\\Skins\\" + name,
                             m_program + "\\Skins\\" + name))
            << "the build's skins are missing";
    }

    MainWindowTestEnvironment m_environment{false};
    TempFolder m_folder{"maininit"};
    CString m_userFolder;
    CString m_program;
};

bool IsTestText(const CString& text)
{
    const char* p = text;
    if (*p != 'T')
        return false;
    ++p;
    if (*p == 0)
        return false;
    for (; *p != 0; ++p)
    {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}
} // namespace

TEST_F(MainWindowInitTest, EveryControlIsBoundWithTheLanguageFilesText)
{
    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    // Texts the window sets itself, and the "..." the templates keep.
    const std::set<std::string> literals = {"...", "0", "00:00", ""};
    int bound = 0;
    for (Page page : kMadePages)
    {
        const int number = PageNumber(page);
        WizardDialog* dialog = window.GetPage(page);
        ASSERT_NE(nullptr, dialog) << number;
        for (HWND child = GetWindow(dialog->GetHwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
        {
            const UINT id = GetDlgCtrlID(child);
            CWindow* object = window.FindBoundControl(page, id);
            ASSERT_NE(nullptr, object) << "page " << number << ", control " << id;
            ++bound;
            char className[64] = "";
            GetClassNameA(child, className, sizeof(className));
            const CString text = TextOf(child);
            if (lstrcmpiA(className, "Static") == 0 || lstrcmpiA(className, "Button") == 0)
            {
                EXPECT_TRUE(IsTestText(text) || literals.count(std::string(text)) != 0)
                    << "page " << number << ", control " << id << ": \"" << text << "\"";
            }
            if (lstrcmpiA(className, "Edit") == 0)
            {
                EXPECT_NE(nullptr, dynamic_cast<CSkinEdit*>(object)) << id;
            }
            if (lstrcmpiA(className, "ComboBox") == 0)
            {
                EXPECT_NE(nullptr, dynamic_cast<CSkinComboBox*>(object)) << id;
            }
        }
    }
    EXPECT_GT(bound, 120);

    // A few by name: class and text.
    EXPECT_STREQ("T36", TextOf(GetDlgItem(window.GetPage(Page::Backup)->GetHwnd(), IDC_BACKUP_START)));
    EXPECT_STREQ("T547", TextOf(GetDlgItem(window.GetPage(Page::BackupOptions)->GetHwnd(), IDC_OPTIONS_TAB_GENERAL)));
    EXPECT_STREQ("T348", TextOf(GetDlgItem(window.GetPage(Page::MiscOptions)->GetHwnd(), IDC_OPTIONS_TAB_MISC)));
    EXPECT_STREQ("T552", TextOf(GetDlgItem(window.GetPage(Page::Uninstall)->GetHwnd(), IDC_PAGE_TITLE)));
    EXPECT_STREQ("...", TextOf(GetDlgItem(window.GetPage(Page::Restore)->GetHwnd(), IDC_RESTORE_CHOOSE_TARGET)));
    EXPECT_NE(nullptr, window.GetControl<CCustomGradientStatic>(Page::Support, IDC_PAGE_TITLE));
    EXPECT_NE(nullptr, window.GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST));
    EXPECT_NE(nullptr, window.GetControl<CApplicationsTree>(Page::Startup, IDC_STARTUP_LIST));
    EXPECT_NE(nullptr, window.GetControl<CApplicationsTree>(Page::Uninstall, IDC_UNINSTALL_LIST));
    EXPECT_NE(nullptr, window.GetControl<CProgressBar>(Page::Backup, IDC_BACKUP_PROGRESS));
    EXPECT_NE(nullptr, window.GetControl<EmptyFileTree>(Page::Restore, IDC_RESTORE_TREE));
    EXPECT_NE(nullptr, window.GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_SATURDAY));
    EXPECT_NE(nullptr, window.GetControl<CCustomGroup>(Page::Optimize, IDC_OPTIMIZE_TOOLS_GROUP));
    EXPECT_NE(nullptr, window.GetControl<CFrameBar>(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS));
    EXPECT_EQ(nullptr, window.GetControl<CSkinButton>(Page::Backup, IDC_BACKUP_LIST)) << "wrong class";

    // The window's own controls: the left bar with texts, tooltips on the
    // title buttons, and the frame anchors never shown.
    EXPECT_STREQ("T546", TextOf(GetDlgItem(window.GetSafeHwnd(), IDC_PAGE_BACKUP)));
    EXPECT_STREQ("T536", TextOf(GetDlgItem(window.GetSafeHwnd(), IDC_PAGE_OPTIMIZE)));
    auto* help = window.GetControl<CSkinButton>(IDC_TITLE_HELP);
    ASSERT_NE(nullptr, help);
    EXPECT_STREQ("T172", help->GetToolTipTextValue());
    for (UINT id : {IDC_FRAME_TOP_LEFT, IDC_FRAME_TITLE, IDC_FRAME_TOP_RIGHT, IDC_FRAME_MENU,
                    IDC_FRAME_RIGHT, IDC_FRAME_BOTTOM, IDC_FRAME_PAGE})
    {
        HWND anchor = GetDlgItem(window.GetSafeHwnd(), id);
        ASSERT_NE(nullptr, anchor) << id;
        EXPECT_FALSE(GetWindowLongA(anchor, GWL_STYLE) & WS_VISIBLE) << id;
        EXPECT_NE(nullptr, window.FindBoundControl(id)) << id;
    }
    EXPECT_EQ(7, window.GetPageButtonGroup().GetSize());
    EXPECT_EQ(2, window.GetOptionsTabGroup().GetSize());
}

TEST_F(MainWindowInitTest, StartStateOfPagesListsAndMenus)
{
    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    for (Page page : kMadePages)
    {
        EXPECT_EQ(page == Page::Backup, IsWindowVisible(window.GetPage(page)->GetHwnd()) != FALSE)
            << "page " << PageNumber(page);
    }
    EXPECT_EQ(nullptr, window.GetPage(Page::SpareOptions));
    EXPECT_TRUE(window.GetControl<CSkinButton>(IDC_PAGE_BACKUP)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinButton>(IDC_PAGE_RESTORE)->IsChecked());
    EXPECT_TRUE(window.GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_MISC)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinButton>(Page::MiscOptions, IDC_OPTIONS_TAB_MISC)->IsChecked());

    // The hours: 24 items, data = index, "8:00" selected.
    HWND hour = GetDlgItem(window.GetPage(Page::BackupOptions)->GetHwnd(), IDC_OPTIONS_HOUR);
    ASSERT_EQ(24, SendMessageA(hour, CB_GETCOUNT, 0, 0));
    for (int h = 0; h < 24; ++h)
    {
        char text[16] = "";
        SendMessageA(hour, CB_GETLBTEXT, h, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(std::to_string(h) + ":00", std::string(text));
        EXPECT_EQ(h, SendMessageA(hour, CB_GETITEMDATA, h, 0));
    }
    EXPECT_EQ(8, SendMessageA(hour, CB_GETCURSEL, 0, 0));
    // The proxy types: exactly HTTP (0) and SOCKS5 (1), HTTP selected.
    HWND type = GetDlgItem(window.GetPage(Page::MiscOptions)->GetHwnd(), IDC_PROXY_TYPE);
    ASSERT_EQ(2, SendMessageA(type, CB_GETCOUNT, 0, 0));
    char text[16] = "";
    SendMessageA(type, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ("HTTP", text);
    EXPECT_EQ(0, SendMessageA(type, CB_GETITEMDATA, 0, 0));
    SendMessageA(type, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ("SOCKS5", text);
    EXPECT_EQ(1, SendMessageA(type, CB_GETITEMDATA, 1, 0));
    EXPECT_EQ(0, SendMessageA(type, CB_GETCURSEL, 0, 0));

    // The counters "0" and the destination empty (a "0" there would be
    // saved as a relative destination).
    HWND backup = window.GetPage(Page::Backup)->GetHwnd();
    EXPECT_STREQ("0", TextOf(GetDlgItem(backup, IDC_BACKUP_FILES)));
    EXPECT_STREQ("0", TextOf(GetDlgItem(backup, IDC_BACKUP_ERRORS)));
    EXPECT_STREQ("", TextOf(GetDlgItem(backup, IDC_BACKUP_DESTINATION)));
    EXPECT_STREQ("00:00", TextOf(GetDlgItem(backup, IDC_BACKUP_ELAPSED)));

    // The fields keep a live font of their own: the field font went once,
    // and nothing the window deleted is still in use.
    for (UINT id : {IDC_BACKUP_FILES, IDC_BACKUP_DESTINATION, IDC_BACKUP_CURRENT_FILE})
    {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(GetDlgItem(backup, id), WM_GETFONT, 0, 0));
        ASSERT_NE(nullptr, font) << id;
        EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(font)) << id;
        LOGFONTA logFont = {};
        GetObjectA(font, sizeof(logFont), &logFont);
        EXPECT_EQ(15, logFont.lfHeight) << id;
    }

    // The menu icon list: 14 images of 16 x 16.
    int width = 0;
    int height = 0;
    EXPECT_EQ(14, ImageList_GetImageCount(window.GetMenuImages()));
    ImageList_GetIconSize(window.GetMenuImages(), &width, &height);
    EXPECT_EQ(16, width);
    EXPECT_EQ(16, height);

    // The startup list's pop-up menu: Select All, Deselect All, a separator,
    // Remove selected, with images 5, 6 and 7.
    CSkinXPMenu& menu = window.GetProgramLists().GetStartupMenu();
    HMENU handle = menu.GetHandle();
    ASSERT_NE(nullptr, handle);
    ASSERT_EQ(4, GetMenuItemCount(handle));
    const UINT ids[] = {ID_STARTUP_MENU_SELECT_ALL, ID_STARTUP_MENU_DESELECT_ALL, 0,
                        ID_STARTUP_MENU_REMOVE};
    const int images[] = {5, 6, -1, 7};
    const char* texts[] = {"T88", "T89", nullptr, "T214"};
    for (int i = 0; i < 4; ++i)
    {
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_DATA;
        ASSERT_TRUE(GetMenuItemInfoA(handle, i, TRUE, &info)) << i;
        CBitmapMenuItem* record = menu.FindRecord(info.dwItemData);
        ASSERT_NE(nullptr, record) << i;
        if (ids[i] == 0)
        {
            EXPECT_EQ(CBitmapMenuItem::Separator, record->kind);
            continue;
        }
        EXPECT_EQ(ids[i], info.wID);
        EXPECT_EQ(images[i], record->image) << i;
        EXPECT_STREQ(texts[i], record->text) << i;
    }
    EXPECT_EQ(window.GetMenuImages(), menu.GetImageList());

    // The window's icons are its own, not the shared one.
    HICON big = reinterpret_cast<HICON>(SendMessageA(window.GetSafeHwnd(), WM_GETICON, ICON_BIG, 0));
    HICON small = reinterpret_cast<HICON>(
        SendMessageA(window.GetSafeHwnd(), WM_GETICON, ICON_SMALL, 0));
    EXPECT_NE(nullptr, big);
    EXPECT_NE(nullptr, small);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(102)), big);
}

TEST_F(MainWindowInitTest, TheProfileFillsTheBackupPage)
{
    {
        // The constructor of a first window made the profile.
        MainApplicationDialog first;
    }
    const CString profilePath = m_userFolder + "\\Profile\\profile.prb";
    CProfileDB profile(profilePath);
    ProfileItem folder;
    folder.path = "C:\\Data's";
    profile.AddItem(folder);
    ProfileItem site;
    site.type = PROFILE_ITEM_DATABASE;
    site.path = "example.org";
    profile.AddItem(site);
    CSimpleArray<ProfileCheck> checks;
    CArray<ProfileItem> rows;
    profile.LoadItems(rows);
    ASSERT_EQ(2, rows.GetSize());
    checks.Add(ProfileCheck{rows[0].id, true});
    checks.Add(ProfileCheck{rows[1].id, false});
    profile.Save(checks, "D:\\Back'up\\", true, false, 0);

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    auto* list = window.GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
    ASSERT_NE(nullptr, list);
    ASSERT_EQ(2, list->GetItemCount());
    EXPECT_STREQ("[FS] C:\\Data's", list->GetItem(0)->text);
    EXPECT_EQ(1u, list->GetItem(0)->checked);
    EXPECT_EQ(static_cast<DWORD>(rows[0].id), list->GetItem(0)->value1);
    EXPECT_STREQ("[DB] example.org", list->GetItem(1)->text);
    EXPECT_EQ(0u, list->GetItem(1)->checked);
    EXPECT_STREQ("-", list->GetItem(1)->path);
    HWND backup = window.GetPage(Page::Backup)->GetHwnd();
    EXPECT_STREQ("D:\\Back'up\\", TextOf(GetDlgItem(backup, IDC_BACKUP_DESTINATION)));
    EXPECT_TRUE(window.GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_COMPRESS)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_ENCRYPT)->IsChecked());

    // Loading again replaces the rows; a file that is no profile leaves the
    // list empty and the window working.
    EXPECT_EQ(TRUE, window.LoadProfile());
    EXPECT_EQ(2, list->GetItemCount());
    window.GetRunContext().profilePath = m_folder / "missing.prb";
    EXPECT_EQ(TRUE, window.LoadProfile());
    EXPECT_EQ(0, list->GetItemCount());
}

TEST_F(MainWindowInitTest, PageCommandsShowExactlyOnePageAndNothingWhileARunIsActive)
{
    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    struct
    {
        UINT command;
        Page page;
        UINT button;
    } const steps[] = {{IDC_PAGE_RESTORE, Page::Restore, IDC_PAGE_RESTORE},
                       {IDC_PAGE_OPTIONS, Page::BackupOptions, IDC_PAGE_OPTIONS},
                       {IDC_OPTIONS_TAB_MISC, Page::MiscOptions, IDC_PAGE_OPTIONS},
                       {IDC_PAGE_STARTUP, Page::Startup, IDC_PAGE_STARTUP},
                       {IDC_PAGE_UNINSTALL, Page::Uninstall, IDC_PAGE_UNINSTALL},
                       {IDC_PAGE_SUPPORT, Page::Support, IDC_PAGE_SUPPORT},
                       {IDC_PAGE_OPTIMIZE, Page::Optimize, IDC_PAGE_OPTIMIZE},
                       {IDC_PAGE_BLANK, Page::Blank, IDC_PAGE_BLANK},
                       {IDC_OPTIMIZE_SHOW, Page::Restore, IDC_PAGE_RESTORE},
                       {IDC_PAGE_BACKUP, Page::Backup, IDC_PAGE_BACKUP}};
    for (const auto& step : steps)
    {
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(step.command, 1), 0);
        for (Page page : kMadePages)
        {
            EXPECT_EQ(page == step.page, IsWindowVisible(window.GetPage(page)->GetHwnd()) != FALSE)
                << "command " << step.command << ", page " << PageNumber(page);
        }
        if (step.button != IDC_PAGE_BLANK)
        {
            EXPECT_TRUE(window.GetControl<CSkinButton>(step.button)->IsChecked())
                << step.command;
        }
    }

    // The options tabs: the tab of the page shown is the pressed one.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_TAB_MISC, 1), 0);
    EXPECT_TRUE(window.GetControl<CSkinButton>(Page::MiscOptions, IDC_OPTIONS_TAB_MISC)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL)->IsChecked());
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_TAB_GENERAL, 1), 0);
    EXPECT_TRUE(window.GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL)->IsChecked());
    EXPECT_FALSE(window.GetControl<CSkinButton>(Page::MiscOptions, IDC_OPTIONS_TAB_MISC)->IsChecked());

    // A run is active: nothing changes, the checked button neither.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_PAGE_BACKUP, 1), 0);
    window.GetRunContext().engineBusy = 1;
    for (UINT command : {IDC_PAGE_RESTORE, IDC_PAGE_SUPPORT, IDC_OPTIMIZE_SHOW, IDC_PAGE_BLANK})
    {
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(command, 1), 0);
        EXPECT_TRUE(IsWindowVisible(window.GetPage(Page::Backup)->GetHwnd())) << command;
        EXPECT_FALSE(IsWindowVisible(window.GetPage(Page::Restore)->GetHwnd())) << command;
        EXPECT_TRUE(window.GetControl<CSkinButton>(IDC_PAGE_BACKUP)->IsChecked()) << command;
    }
    window.ShowPage(Page::Support);
    EXPECT_FALSE(IsWindowVisible(window.GetPage(Page::Support)->GetHwnd()));
    window.GetRunContext().engineBusy = 0;
    window.ShowPage(Page::Support);
    EXPECT_TRUE(IsWindowVisible(window.GetPage(Page::Support)->GetHwnd()));
    window.ShowPage(Page::Backup);
    EXPECT_FALSE(IsWindowVisible(window.GetPage(Page::Support)->GetHwnd()));

    // The spare options page is never made: showing it makes no window and
    // leaves no page shown (as its tab, below).
    std::set<HWND> children;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.insert(child);
    window.ShowPage(Page::SpareOptions);
    EXPECT_EQ(nullptr, window.GetPage(Page::SpareOptions));
    for (Page page : kMadePages)
        EXPECT_FALSE(IsWindowVisible(window.GetPage(page)->GetHwnd())) << PageNumber(page);
    std::set<HWND> after;
    for (HWND child = GetWindow(hwnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        after.insert(child);
    EXPECT_EQ(children, after);

    // Its tab (IDC_OPTIONS_TAB_SPARE) hides both options pages and shows
    // none; Options stays the checked page button.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_TAB_MISC, 1), 0);
    ASSERT_TRUE(IsWindowVisible(window.GetPage(Page::MiscOptions)->GetHwnd()));
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_TAB_SPARE, 1), 0);
    for (Page page : kMadePages)
        EXPECT_FALSE(IsWindowVisible(window.GetPage(page)->GetHwnd())) << PageNumber(page);
    EXPECT_TRUE(window.GetControl<CSkinButton>(IDC_PAGE_OPTIONS)->IsChecked());
    // And nothing while a run is active.
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_PAGE_BACKUP, 1), 0);
    window.GetRunContext().engineBusy = 1;
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_TAB_SPARE, 1), 0);
    EXPECT_TRUE(IsWindowVisible(window.GetPage(Page::Backup)->GetHwnd()));
    EXPECT_TRUE(window.GetControl<CSkinButton>(IDC_PAGE_BACKUP)->IsChecked());
    window.GetRunContext().engineBusy = 0;
}

TEST_F(MainWindowInitTest, AResizeMovesTheTitleButtonsAndGrowsPagesTwoToTen)
{
    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    const CSize before = ClientSize(hwnd);
    auto distanceFromRight = [hwnd](UINT id) {
        return ClientSize(hwnd).cx - RectInParent(GetDlgItem(hwnd, id)).left;
    };
    std::map<UINT, LONG> distance;
    std::map<UINT, LONG> top;
    for (UINT id : {IDC_TITLE_MINIMISE, IDC_TITLE_MAXIMISE, IDC_TITLE_HELP, IDC_TITLE_ABOUT})
    {
        distance[id] = distanceFromRight(id);
        top[id] = RectInParent(GetDlgItem(hwnd, id)).top;
        EXPECT_GT(distance[id], 0) << id;
    }
    const CRect area = RectInParent(GetDlgItem(hwnd, IDC_FRAME_PAGE));
    // At the start every page stands on the page area.
    for (Page page : kMadePages)
        EXPECT_EQ(area.Size().cx, RectInParent(window.GetPage(page)->GetHwnd()).Width());
    const CSize list = CRect(RectInParent(GetDlgItem(window.GetPage(Page::Startup)->GetHwnd(),
                                                       IDC_STARTUP_LIST)))
                           .Size();

    RECT bounds = {};
    GetWindowRect(hwnd, &bounds);
    SetWindowPos(hwnd, nullptr, 0, 0, bounds.right - bounds.left + 100, bounds.bottom - bounds.top + 80,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const CSize after = ClientSize(hwnd);
    ASSERT_EQ(before.cx + 100, after.cx);
    ASSERT_EQ(before.cy + 80, after.cy);

    for (UINT id : {IDC_TITLE_MINIMISE, IDC_TITLE_MAXIMISE, IDC_TITLE_HELP, IDC_TITLE_ABOUT})
    {
        EXPECT_EQ(distance[id], distanceFromRight(id)) << id;
        EXPECT_EQ(top[id], RectInParent(GetDlgItem(hwnd, id)).top) << id;
    }
    const CRect grown = RectInParent(GetDlgItem(hwnd, IDC_FRAME_PAGE));
    EXPECT_EQ(area.Width() + 100, grown.Width());
    EXPECT_EQ(area.Height() + 80, grown.Height());
    for (Page shown : kMadePages)
    {
        const int number = PageNumber(shown);
        const CRect page = RectInParent(window.GetPage(shown)->GetHwnd());
        if (shown != Page::Backup && shown != Page::Blank)
        {
            EXPECT_EQ(grown.left, page.left) << number;
            EXPECT_EQ(grown.top, page.top) << number;
            EXPECT_EQ(grown.Width(), page.Width()) << number;
            EXPECT_EQ(grown.Height(), page.Height()) << number;
        }
        else
        {
            EXPECT_EQ(area.Width(), page.Width()) << number;
            EXPECT_EQ(area.Height(), page.Height()) << number;
        }
    }
    // The startup list took the growth.
    const CSize grownList =
        CRect(RectInParent(GetDlgItem(window.GetPage(Page::Startup)->GetHwnd(), IDC_STARTUP_LIST))).Size();
    EXPECT_EQ(list.cx + 100, grownList.cx);
    EXPECT_EQ(list.cy + 80, grownList.cy);

    // The template's size is the smallest the window takes.
    MINMAXINFO info = {};
    SendMessageA(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(bounds.right - bounds.left, info.ptMinTrackSize.x);
    EXPECT_EQ(bounds.bottom - bounds.top, info.ptMinTrackSize.y);
    // Minimised: nothing moves.
    SendMessageA(hwnd, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
    EXPECT_EQ(grown.Width(), RectInParent(GetDlgItem(hwnd, IDC_FRAME_PAGE)).Width());
}

TEST_F(MainWindowInitTest, EraseBackgroundPaintsTheWholeFrame)
{
    // A skin of solid pieces.
    const CString skin = m_program + "\\Skins\\Solid";
    ASSERT_TRUE(MakeFolder(skin));
    ASSERT_TRUE(WriteTextFile(skin + "\\default.ini", "[Image]\r\nMAIN_TOP_LEFT=tl.bmp\r\n"
                                                      "MAIN_TOP_RIGHT=tr.bmp\r\nMAIN_MENU=menu.bmp\r\n"
                                                      "MAIN_BOTTOM=bottom.bmp\r\n"
                                                      "MAIN_BOTTOM_RIGHT=br.bmp\r\n"));
    ASSERT_TRUE(WriteSolidBmp(skin + "\\tl.bmp", 10, 10, RGB(200, 0, 0)));
    ASSERT_TRUE(WriteSolidBmp(skin + "\\tr.bmp", 10, 10, RGB(0, 200, 0)));
    ASSERT_TRUE(WriteSolidBmp(skin + "\\menu.bmp", 10, 10, RGB(0, 0, 200)));
    ASSERT_TRUE(WriteSolidBmp(skin + "\\bottom.bmp", 4, 4, RGB(200, 200, 0)));
    ASSERT_TRUE(WriteSolidBmp(skin + "\\br.bmp", 10, 10, RGB(0, 200, 200)));
    UseSkin("Solid");

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    HWND hwnd = window.GetSafeHwnd();
    const CSize client = ClientSize(hwnd);
    const CRect menu = RectInParent(GetDlgItem(hwnd, IDC_FRAME_MENU));
    const CRect title = RectInParent(GetDlgItem(hwnd, IDC_FRAME_TITLE));
    const CRect bottom = RectInParent(GetDlgItem(hwnd, IDC_FRAME_BOTTOM));

    Surface surface(client.cx, client.cy, RGB(1, 2, 3));
    SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.Dc()), 0);
    EXPECT_EQ(RGB(200, 0, 0), surface.Pixel(2, 2)) << "top-left corner";
    EXPECT_EQ(RGB(0, 200, 0), surface.Pixel(client.cx - 2, 2)) << "top-right corner";
    EXPECT_EQ(RGB(0, 0, 200), surface.Pixel(menu.Width() / 2, title.Height() + 5)) << "menu bar";
    EXPECT_EQ(RGB(200, 200, 0), surface.Pixel(client.cx / 2, client.cy - 2)) << "bottom band";
    EXPECT_EQ(RGB(0, 200, 200), surface.Pixel(client.cx - 2, client.cy - 2)) << "grip corner";
    // The background is never erased apart from the frame.
    EXPECT_EQ(1, window.OnEraseBkgnd(&surface.Object()));
    // The page area white, and the pieces this skin lacks white too.
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(client.cx / 2, client.cy / 2));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(client.cx / 2, title.Height() / 2)) << "no title";
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(2, client.cy - bottom.Height() / 2))
        << "no bottom-left corner";
}

TEST_F(MainWindowInitTest, ASkinWithoutMenuPictureOrColoursKeepsReadablePageButtons)
{
    CopyShippedSkin("Default");
    const CString skin = m_program + "\\Skins\\Default";
    ASSERT_TRUE(DeleteFileA(skin + "\\menu.png"));
    // The skin file without its [Color] section.
    std::string ini(ReadTextFile(skin + "\\default.ini"));
    const size_t image = ini.find("[Image]");
    ASSERT_NE(std::string::npos, image);
    ASSERT_TRUE(WriteTextFile(skin + "\\default.ini", ini.substr(image).c_str()));

    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    for (UINT id : {IDC_PAGE_BACKUP, IDC_PAGE_RESTORE, IDC_PAGE_OPTIONS, IDC_PAGE_STARTUP,
                    IDC_PAGE_UNINSTALL, IDC_PAGE_SUPPORT, IDC_PAGE_OPTIMIZE})
    {
        auto* button = window.GetControl<CSkinButton>(id);
        ASSERT_NE(nullptr, button) << id;
        EXPECT_TRUE(IsTestText(TextOf(button->GetHwnd()))) << id;
        // The default text colours (white) over the button's own picture.
        EXPECT_EQ(RGB(255, 255, 255), button->GetTextColor(0)) << id;
        RECT rect = {};
        GetClientRect(button->GetHwnd(), &rect);
        Surface surface(rect.right, rect.bottom, RGB(1, 2, 3));
        SendMessageA(button->GetHwnd(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(surface.Dc()),
                     PRF_CLIENT | PRF_ERASEBKGND);
        // Text pixels (near white) and a darker ground around them.
        int light = 0;
        int dark = 0;
        for (int y = 0; y < rect.bottom; ++y)
        {
            for (int x = 0; x < rect.right; ++x)
            {
                const COLORREF c = surface.Pixel(x, y);
                const int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
                if (sum > 700)
                    ++light;
                else if (sum < 400)
                    ++dark;
            }
        }
        EXPECT_GT(light, 10) << id << ": no text to be seen";
        EXPECT_GT(dark, rect.right * rect.bottom / 2) << id << ": no ground under the text";
    }
}
