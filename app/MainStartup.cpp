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
    return GetControl<CApplicationsTree>(id == IDC_STARTUP_LIST ? 6 : 7, id);
}

void MainApplicationDialog::FillStartupList()
{
    CApplicationsTree* list = FindApplicationsList(IDC_STARTUP_LIST);
    if (list == nullptr)
        return;
    list->DeleteAllItems();
    m_listReady = 0;
    {
        CWaitCursor wait;
        CArray<StartupEntry> entries;
        ReadStartupEntries(entries);
        // One repaint at the end rather than one per row.
        list->SetAutoRedraw(false);
        AddStartupRows(*list, entries);
        list->SetAutoRedraw(true);
    }
    m_listReady = 1;
    list->Redraw(true);
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
    list->DeleteAllItems();
    m_listReady = 0;
    {
        CWaitCursor wait;
        CArray<UninstallEntry> entries;
        ReadUninstallEntries(entries, GetProgramFilesFolder());
        list->SetAutoRedraw(false);
        AddUninstallRows(*list, entries);
        list->SetAutoRedraw(true);
    }
    m_listReady = 1;
    list->Redraw(true);
}

void MainApplicationDialog::UninstallCheckedApplications()
{
    CApplicationsTree* list = FindApplicationsList(IDC_UNINSTALL_LIST);
    if (list == nullptr)
        return;
    RunCheckedUninstallers(*list);
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
        ShowPage(6);
        return true;
    case IDC_PAGE_UNINSTALL:
        FillUninstallList();
        ShowPage(7);
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
