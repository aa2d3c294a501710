// CProgramListPages: the main window's startup-manager page (the programs of
// the Run keys and the parked ones, list IDC_STARTUP_LIST) and uninstall page
// (the installed applications, list IDC_UNINSTALL_LIST): their lists, the
// startup list's pop-up menu and the commands of both pages. Reading is
// local (app/RunEntries.h, app/UninstallEntries.h); every Run-key change
// goes through the service.
#ifndef BRINDLEWOX_APP_PROGRAMLISTPAGES_H
#define BRINDLEWOX_APP_PROGRAMLISTPAGES_H

#include "foundation/Base.h"
#include "skin/SkinXPMenu.h"

class CApplicationsTree;
class MainApplicationDialog;

class CProgramListPages
{
public:
    // The pages of this window (not owned); nothing is read before the
    // window's initialisation has bound the lists.
    explicit CProgramListPages(MainApplicationDialog& window) : m_window(window) {}
    CProgramListPages(const CProgramListPages&) = delete;
    CProgramListPages& operator=(const CProgramListPages&) = delete;

    // The startup list's pop-up menu on the window's menu icons (Select All,
    // Deselect All, Remove selected); once, at the window's initialisation.
    void BuildStartupMenu(HIMAGELIST images);
    CSkinXPMenu& GetStartupMenu() { return m_startupMenu; }

    void FillStartupList();
    // Remove, Allow and Deny of the checked rows (app/RunEntries.h: a
    // row changes only when the change was made); the list repainted.
    void RemoveCheckedStartupRows();
    void SetCheckedStartupRowsEnabled(bool enable);
    void FillUninstallList();
    // Runs the checked rows' uninstallers one after the other, shown, the
    // window repainting meanwhile; then the list is filled again.
    void UninstallCheckedApplications();

    // The commands of both pages: their left-bar buttons (the list filled,
    // then the page shown), the buttons and the startup menu's commands.
    // True when handled.
    bool HandleCommand(UINT id);
    // 0 while one of the two lists is being filled, else 1.
    int GetListReady() const { return m_listReady; }

private:
    // The list of IDC_STARTUP_LIST or IDC_UNINSTALL_LIST; null before the
    // pages exist.
    CApplicationsTree* FindList(UINT id) const;

    MainApplicationDialog& m_window;
    CSkinXPMenu m_startupMenu;
    int m_listReady = 1;
    // The uninstallers of the checked rows are running.
    bool m_uninstalling = false;
};

#endif
