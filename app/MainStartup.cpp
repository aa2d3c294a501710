// The startup page (6) and the uninstall page (7) of the main window: the
// lists filled from the registry (app/StartupEntries.h,
// app/UninstallEntries.h) and the commands of both pages.
#include "app/MainApplicationDialog.h"

#include "app/StartupEntries.h"
#include "app/UninstallEntries.h"
#include "foundation/Controls.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"

CApplicationsTree* MainApplicationDialog::FindApplicationsList(UINT id) const
{
    return GetControl<CApplicationsTree>(id == IDC_STARTUP_LIST ? Page::Startup : Page::Uninstall, id);
}

namespace
{
// Empties the list, then fills it under the wait cursor, with one repaint at
// the end rather than one per row; `ready` (the window's list-ready flag)
// is 0 meanwhile.
template <class Entry, class Read, class Add>
void Refill(CApplicationsTree& list, int& ready, Read read, Add add)
{
    list.DeleteAllItems();
    ready = 0;
    {
        CWaitCursor wait;
        CArray<Entry> entries;
        read(entries);
        list.SetAutoRedraw(false);
        add(list, entries);
        list.SetAutoRedraw(true);
    }
    ready = 1;
    list.Redraw(true);
}
} // namespace

void MainApplicationDialog::FillStartupList()
{
    if (CApplicationsTree* list = FindApplicationsList(IDC_STARTUP_LIST))
        Refill<StartupEntry>(*list, m_listReady, ReadStartupEntries, AddStartupRows);
}

void MainApplicationDialog::RemoveCheckedStartupEntries()
{
    if (CApplicationsTree* list = FindApplicationsList(IDC_STARTUP_LIST))
    {
        RemoveCheckedStartupRows(*list);
        list->Redraw(false);
    }
}

void MainApplicationDialog::SetCheckedStartupEntriesEnabled(bool enable)
{
    if (CApplicationsTree* list = FindApplicationsList(IDC_STARTUP_LIST))
    {
        SetCheckedStartupRowsEnabled(*list, enable);
        list->Redraw(false);
    }
}

void MainApplicationDialog::FillUninstallList()
{
    CApplicationsTree* list = FindApplicationsList(IDC_UNINSTALL_LIST);
    if (list == nullptr)
        return;
    const CString programFiles = GetFolders().programFiles;
    Refill<UninstallEntry>(
        *list, m_listReady,
        [&programFiles](CArray<UninstallEntry>& entries)
        { ReadUninstallEntries(entries, programFiles); },
        AddUninstallRows);
}

void MainApplicationDialog::UninstallCheckedApplications()
{
    CApplicationsTree* list = FindApplicationsList(IDC_UNINSTALL_LIST);
    // The wait serves commands sent from other threads: one uninstall at a
    // time.
    if (list == nullptr || m_uninstalling)
        return;
    m_uninstalling = true;
    RunCheckedUninstallers(*list);
    m_uninstalling = false;
    // An uninstaller may end before its last files and keys are gone.
    Sleep(500);
    FillUninstallList();
}

bool MainApplicationDialog::HandleToolsCommand(UINT id)
{
    switch (id)
    {
    case IDC_PAGE_STARTUP:
        FillStartupList();
        ShowPage(Page::Startup);
        return true;
    case IDC_PAGE_UNINSTALL:
        FillUninstallList();
        ShowPage(Page::Uninstall);
        return true;
    case IDC_STARTUP_SELECT_ALL:
    case ID_STARTUP_MENU_SELECT_ALL:
    case IDC_STARTUP_DESELECT_ALL:
    case ID_STARTUP_MENU_DESELECT_ALL:
    case IDC_UNINSTALL_SELECT_ALL:
    case IDC_UNINSTALL_DESELECT_ALL:
    {
        const bool startup = id != IDC_UNINSTALL_SELECT_ALL && id != IDC_UNINSTALL_DESELECT_ALL;
        const bool check = id == IDC_STARTUP_SELECT_ALL || id == ID_STARTUP_MENU_SELECT_ALL ||
                           id == IDC_UNINSTALL_SELECT_ALL;
        if (CApplicationsTree* list =
                FindApplicationsList(startup ? IDC_STARTUP_LIST : IDC_UNINSTALL_LIST))
        {
            CheckAllRows(*list, check);
            list->Redraw(false);
        }
        return true;
    }
    case IDC_STARTUP_REMOVE:
    case ID_STARTUP_MENU_REMOVE:
        RemoveCheckedStartupEntries();
        return true;
    case IDC_STARTUP_ALLOW:
    case IDC_STARTUP_DENY:
        SetCheckedStartupEntriesEnabled(id == IDC_STARTUP_ALLOW);
        return true;
    case IDC_UNINSTALL:
        UninstallCheckedApplications();
        return true;
    default:
        return false;
    }
}
