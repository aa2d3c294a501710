#include "app/ProgramListPages.h"

#include "app/MainApplicationDialog.h"
#include "app/RunEntries.h"
#include "app/UninstallEntries.h"
#include "foundation/Controls.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "skin/ApplicationsTree.h"
#include "skin/TrayIcon.h"

CApplicationsTree* CProgramListPages::FindList(UINT id) const
{
    return m_window.GetControl<CApplicationsTree>(
        id == IDC_STARTUP_LIST ? Page::Startup : Page::Uninstall, id);
}

void CProgramListPages::BuildStartupMenu(HIMAGELIST images)
{
    if (CApplicationsTree* list = FindList(IDC_STARTUP_LIST))
        list->SetPopupMenu(&m_startupMenu);
    m_startupMenu.SetImageList(images);
    if (!m_startupMenu.Create(true))
        return;
    m_startupMenu.SetPopupOnly(true);
    CTrayIcon::AppendMenuItem(m_window.LanguageString("DL_N_101_88", "Select All"),
                              ID_STARTUP_MENU_SELECT_ALL, m_startupMenu, false, false);
    CTrayIcon::AppendMenuItem(m_window.LanguageString("DL_N_101_89", "Deselect All"),
                              ID_STARTUP_MENU_DESELECT_ALL, m_startupMenu, false, false);
    CTrayIcon::AppendMenuItem("", 0, m_startupMenu, false, true);
    CTrayIcon::AppendMenuItem(m_window.LanguageString("DL_N_101_214", "Remove selected"),
                              ID_STARTUP_MENU_REMOVE, m_startupMenu, false, false);
    m_startupMenu.Rebuild();
    static const CBitmapMenuImage kImages[] = {{5, ID_STARTUP_MENU_SELECT_ALL},
                                               {6, ID_STARTUP_MENU_DESELECT_ALL},
                                               {7, ID_STARTUP_MENU_REMOVE},
                                               {0, CBitmapMenu::ImagesEnd}};
    m_startupMenu.SetItemImages(kImages, false);
}

namespace
{
// Empties the list, then fills it under the wait cursor, with one repaint at
// the end rather than one per row; `ready` (the pages' list-ready flag) is
// 0 meanwhile.
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

void CProgramListPages::FillStartupList()
{
    if (CApplicationsTree* list = FindList(IDC_STARTUP_LIST))
        Refill<RunEntry>(*list, m_listReady, ReadRunEntries, AddRunEntryRows);
}

void CProgramListPages::RemoveCheckedStartupRows()
{
    if (CApplicationsTree* list = FindList(IDC_STARTUP_LIST))
    {
        RemoveCheckedRunEntries(*list);
        list->Redraw(false);
    }
}

void CProgramListPages::SetCheckedStartupRowsEnabled(bool enable)
{
    if (CApplicationsTree* list = FindList(IDC_STARTUP_LIST))
    {
        SetCheckedRunEntriesEnabled(*list, enable);
        list->Redraw(false);
    }
}

void CProgramListPages::FillUninstallList()
{
    CApplicationsTree* list = FindList(IDC_UNINSTALL_LIST);
    if (list == nullptr)
        return;
    const CString programFiles = m_window.GetFolders().programFiles;
    Refill<UninstallEntry>(
        *list, m_listReady,
        [&programFiles](CArray<UninstallEntry>& entries)
        { ReadUninstallEntries(entries, programFiles); },
        AddUninstallRows);
}

void CProgramListPages::UninstallCheckedApplications()
{
    CApplicationsTree* list = FindList(IDC_UNINSTALL_LIST);
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

bool CProgramListPages::HandleCommand(UINT id)
{
    switch (id)
    {
    case IDC_PAGE_STARTUP:
        FillStartupList();
        m_window.ShowPage(Page::Startup);
        return true;
    case IDC_PAGE_UNINSTALL:
        FillUninstallList();
        m_window.ShowPage(Page::Uninstall);
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
                FindList(startup ? IDC_STARTUP_LIST : IDC_UNINSTALL_LIST))
        {
            CheckAllRows(*list, check);
            list->Redraw(false);
        }
        return true;
    }
    case IDC_STARTUP_REMOVE:
    case ID_STARTUP_MENU_REMOVE:
        RemoveCheckedStartupRows();
        return true;
    case IDC_STARTUP_ALLOW:
    case IDC_STARTUP_DENY:
        SetCheckedStartupRowsEnabled(id == IDC_STARTUP_ALLOW);
        return true;
    case IDC_UNINSTALL:
        UninstallCheckedApplications();
        return true;
    default:
        return false;
    }
}
