#include "app/Page.h"

#include "app/MainApplicationDialog.h"
#include "engine/RestoreRun.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"

const PageInfo kPages[kPageCount] = {
    {Page::Backup, IDD_PAGE_BACKUP, IDC_PAGE_BACKUP},
    {Page::Blank, IDD_PAGE_BLANK, IDC_PAGE_BLANK},
    {Page::Restore, IDD_PAGE_RESTORE, IDC_PAGE_RESTORE},
    {Page::BackupOptions, IDD_PAGE_OPTIONS, IDC_PAGE_OPTIONS},
    {Page::MiscOptions, IDD_PAGE_PROXY, IDC_PAGE_OPTIONS},
    {Page::Startup, IDD_PAGE_STARTUP, IDC_PAGE_STARTUP},
    {Page::Uninstall, IDD_PAGE_UNINSTALL, IDC_PAGE_UNINSTALL},
    {Page::Support, IDD_PAGE_SUPPORT, IDC_PAGE_SUPPORT},
    {Page::Optimize, IDD_PAGE_OPTIMIZE, IDC_PAGE_OPTIMIZE},
};

const PageInfo* FindPage(Page page)
{
    for (const PageInfo& info : kPages)
    {
        if (info.page == page)
            return &info;
    }
    return nullptr;
}

bool ShowOnlyPage(HWND const (&pages)[kPageNumberCount], Page shown, bool busy,
                  HWND fallbackFocus)
{
    if (busy)
        return false;
    HWND focus = GetFocus();
    HWND focusPage = nullptr;
    for (int number = 0; number < kPageNumberCount; ++number)
    {
        HWND page = pages[number];
        if (page == nullptr || !IsWindow(page))
            continue;
        if (focus != nullptr && (focus == page || IsChild(page, focus)))
            focusPage = page;
        ShowWindow(page, number == PageNumber(shown) ? SW_SHOW : SW_HIDE);
    }
    if (focusPage != nullptr && !IsWindowVisible(focusPage))
    {
        const int number = PageNumber(shown);
        HWND target = nullptr;
        if (number >= 0 && number < kPageNumberCount && pages[number] != nullptr)
            target = GetNextDlgTabItem(pages[number], nullptr, FALSE);
        if (target == nullptr || !IsWindowVisible(target))
            target = fallbackFocus;
        SetFocus(target);
    }
    return true;
}

HWND MainApplicationDialog::PageWindow(Page page) const
{
    const int number = PageNumber(page);
    if (number < 0 || number >= kPageNumberCount)
        return nullptr;
    return m_pages[number].GetSafeHwnd();
}

WizardDialog* MainApplicationDialog::GetPage(Page page)
{
    if (PageWindow(page) == nullptr)
        return nullptr;
    return &m_pages[PageNumber(page)];
}

bool MainApplicationDialog::IsRunActive() const
{
    return m_run.activeRun.load() != 0 || m_run.engineBusy.load() != 0;
}

void MainApplicationDialog::ShowPage(Page page)
{
    HWND pages[kPageNumberCount] = {};
    for (const PageInfo& info : kPages)
        pages[PageNumber(info.page)] = PageWindow(info.page);
    if (!ShowOnlyPage(pages, page, IsRunActive(), m_hWnd))
        return;
    // The spare options page has no entry of its own: Options stays checked.
    const PageInfo* info = FindPage(page == Page::SpareOptions ? Page::BackupOptions : page);
    if (info == nullptr)
        return;
    if (auto* button = GetControl<CSkinButton>(info->menuButton))
        button->SetRadioChecked();
}

bool MainApplicationDialog::HandlePageCommand(UINT id)
{
    // An options tab shows itself pressed, unless a run keeps the page.
    const auto checkTab = [this](Page page, UINT tab)
    {
        if (IsRunActive())
            return;
        if (auto* button = GetControl<CSkinButton>(page, tab))
            button->SetRadioChecked();
    };
    switch (id)
    {
    case IDC_PAGE_BACKUP:
        ShowPage(Page::Backup);
        return true;
    case IDC_PAGE_BLANK:
        ShowPage(Page::Blank);
        return true;
    case IDC_PAGE_RESTORE:
    case IDC_OPTIMIZE_SHOW:
    {
        // The restore page's fields as they were last left.
        if (!IsRunActive())
        {
            CString what;
            CString where;
            LoadRestorePaths(what, where);
            if (CWindow* field = FindBoundControl(Page::Restore, IDC_RESTORE_WHAT))
                field->SetWindowText(what);
            if (CWindow* field = FindBoundControl(Page::Restore, IDC_RESTORE_TARGET))
                field->SetWindowText(where);
        }
        ShowPage(Page::Restore);
        return true;
    }
    case IDC_PAGE_OPTIONS:
    case IDC_OPTIONS_TAB_GENERAL:
        ShowPage(Page::BackupOptions);
        checkTab(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL);
        return true;
    case IDC_OPTIONS_TAB_MISC:
        ShowPage(Page::MiscOptions);
        checkTab(Page::MiscOptions, IDC_OPTIONS_TAB_MISC);
        return true;
    case IDC_OPTIONS_TAB_SPARE:
        // The spare page does not exist: both options pages go, none comes,
        // and Options stays the checked page button.
        ShowPage(Page::SpareOptions);
        checkTab(Page::BackupOptions, IDC_OPTIONS_TAB_SPARE);
        return true;
    case IDC_PAGE_STARTUP:
        ShowPage(Page::Startup);
        return true;
    case IDC_PAGE_UNINSTALL:
        ShowPage(Page::Uninstall);
        return true;
    case IDC_PAGE_SUPPORT:
        ShowPage(Page::Support);
        return true;
    case IDC_PAGE_OPTIMIZE:
        ShowPage(Page::Optimize);
        return true;
    default:
        return false;
    }
}
