// The pages: their templates, what they forward to the main window, and the
// rule that shows one of them.
#include "app/Page.h"
#include "app/WizardDialog.h"
#include "foundation/Dc.h"
#include "foundation/Module.h"
#include "resources/MainPages.h"
#include "tests/support/Surface.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{
void StartFramework()
{
    if (!GetModuleState()->AreClassesRegistered())
    {
        ASSERT_TRUE(GetModuleState()->Init(GetModuleHandleA(nullptr), "", SW_SHOWNORMAL));
    }
    ASSERT_TRUE(RegisterPanelClass(GetModuleHandleA(nullptr)));
}

// A main window stand-in that records what reaches it.
class RecordingParent : public CWindow
{
public:
    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        commands.push_back({code, id, control});
        return 77;
    }
    LRESULT OnNotify(NMHDR* header) override
    {
        notified = header;
        return 55;
    }

    struct Command
    {
        UINT code;
        UINT id;
        HWND control;
    };
    std::vector<Command> commands;
    NMHDR* notified = nullptr;
};

bool MakeParent(CWindow& parent)
{
    if (!parent.CreateEx(0, nullptr, "pages", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr))
        return false;
    ShowWindow(parent.GetHwnd(), SW_SHOWNA);
    return true;
}
} // namespace

TEST(MainWindowPages, EveryPageTemplateMakesAFramelessChild)
{
    StartFramework();
    RecordingParent parent;
    ASSERT_TRUE(MakeParent(parent));
    for (const PageInfo& info : kPages)
    {
        WizardDialog page;
        ASSERT_TRUE(page.Create(&parent, info.templateId)) << info.templateId;
        const LONG style = GetWindowLongA(page.GetHwnd(), GWL_STYLE);
        EXPECT_TRUE(style & WS_CHILD) << info.templateId;
        EXPECT_FALSE(style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME)) << info.templateId;
        // Only the backup page starts shown.
        EXPECT_EQ(info.page == Page::Backup, (style & WS_VISIBLE) != 0) << info.templateId;
        // No default push button on any page.
        for (HWND child = GetWindow(page.GetHwnd(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT))
        {
            char className[32] = {};
            GetClassNameA(child, className, sizeof(className));
            if (lstrcmpiA(className, "Button") == 0)
            {
                EXPECT_NE(BS_DEFPUSHBUTTON, GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK)
                    << GetDlgCtrlID(child);
            }
        }
    }
    EXPECT_EQ(nullptr, FindPage(Page::SpareOptions));
    EXPECT_EQ(nullptr, FindPage(static_cast<Page>(8)));
    EXPECT_EQ(252u, FindPage(Page::MiscOptions)->menuButton);
    EXPECT_EQ(IDD_PAGE_OPTIMIZE, FindPage(Page::Optimize)->templateId);
}

TEST(MainWindowPages, PagePaintsWhiteAndForwardsCommandsAndNotifications)
{
    StartFramework();
    RecordingParent parent;
    ASSERT_TRUE(MakeParent(parent));
    WizardDialog page;
    ASSERT_TRUE(page.Create(&parent, IDD_PAGE_BACKUP));

    HWND start = GetDlgItem(page.GetHwnd(), IDC_BACKUP_START);
    ASSERT_NE(nullptr, start);
    LRESULT result = page.OnCommand(1, IDC_BACKUP_START, start);
    EXPECT_EQ(77, result);
    ASSERT_EQ(1u, parent.commands.size());
    EXPECT_EQ(1u, parent.commands[0].code);
    EXPECT_EQ(static_cast<UINT>(IDC_BACKUP_START), parent.commands[0].id);
    EXPECT_EQ(start, parent.commands[0].control);

    // Through the page's window procedure too, IDOK (Enter) included: it goes
    // to the main window and the page stays.
    SendMessageA(page.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_EQ(2u, parent.commands.size());
    EXPECT_EQ(static_cast<UINT>(IDOK), parent.commands[1].id);
    EXPECT_TRUE(IsWindow(page.GetHwnd()));

    NMHDR header = {start, IDC_BACKUP_START, NM_CLICK};
    EXPECT_EQ(55, page.OnNotify(&header));
    EXPECT_EQ(&header, parent.notified);

    // The ground is the page's white brush.
    Surface surface(20, 20, RGB(0, 0, 0));
    EXPECT_EQ(1, page.OnEraseBkgnd(&surface.Object()));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(5, 5));
}

TEST(MainWindowPages, ShowingAPageShowsExactlyItAndMovesTheFocus)
{
    StartFramework();
    RecordingParent parent;
    ASSERT_TRUE(MakeParent(parent));
    std::vector<std::unique_ptr<WizardDialog>> objects;
    HWND pages[kPageNumberCount] = {};
    for (const PageInfo& info : kPages)
    {
        objects.push_back(std::make_unique<WizardDialog>());
        ASSERT_TRUE(objects.back()->Create(&parent, info.templateId));
        pages[PageNumber(info.page)] = objects.back()->GetHwnd();
    }
    for (const PageInfo& info : kPages)
    {
        EXPECT_TRUE(ShowOnlyPage(pages, info.page, false, parent.GetHwnd()));
        for (const PageInfo& other : kPages)
        {
            EXPECT_EQ(other.page == info.page, IsWindowVisible(pages[PageNumber(other.page)]) != FALSE)
                << "showing " << PageNumber(info.page) << ", page " << PageNumber(other.page);
        }
    }
    // The spare options page has no window: every page is hidden, nothing
    // fails.
    EXPECT_TRUE(ShowOnlyPage(pages, Page::SpareOptions, false, parent.GetHwnd()));
    for (const PageInfo& info : kPages)
        EXPECT_FALSE(IsWindowVisible(pages[PageNumber(info.page)]));

    // While a run is busy nothing changes.
    ShowOnlyPage(pages, Page::Backup, false, parent.GetHwnd());
    EXPECT_FALSE(ShowOnlyPage(pages, Page::Startup, true, parent.GetHwnd()));
    EXPECT_TRUE(IsWindowVisible(pages[PageNumber(Page::Backup)]));
    EXPECT_FALSE(IsWindowVisible(pages[PageNumber(Page::Startup)]));

    // The focus in an edit of the proxy page moves to the shown page.
    SetForegroundWindow(parent.GetHwnd());
    ShowOnlyPage(pages, Page::MiscOptions, false, parent.GetHwnd());
    HWND host = GetDlgItem(pages[PageNumber(Page::MiscOptions)], IDC_PROXY_HOST);
    SetFocus(host);
    if (GetFocus() == host)
    {
        ShowOnlyPage(pages, Page::Support, false, parent.GetHwnd());
        HWND support = pages[PageNumber(Page::Support)];
        HWND focus = GetFocus();
        EXPECT_TRUE(focus != nullptr && IsChild(support, focus))
            << "the focus went to " << focus;
        // The blank page has no control: the focus goes to the main window.
        SetFocus(GetDlgItem(support, IDC_SUPPORT_EMAIL));
        ShowOnlyPage(pages, Page::Blank, false, parent.GetHwnd());
        EXPECT_EQ(parent.GetHwnd(), GetFocus());
    }
    else
    {
        ADD_FAILURE() << "the test could not put the focus into the proxy page";
    }
}
