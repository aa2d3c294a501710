// MainApplicationDialog::OnCommand: the commands of the title bar, the left
// bar, the pages (which forward theirs) and the tray and list menus. Each
// area handles its own ids in its own file (Handle<Area>Command, true when
// it handled the id); what none handles, and every handled id but About
// (232), then goes on to CDialog::OnCommand.
#include "app/MainApplicationDialog.h"
#include "resources/MainWindow.h"

LRESULT MainApplicationDialog::OnCommand(UINT code, UINT id, HWND control)
{
    // Before the page commands: 253 and 254 fill their list, then show it.
    if (HandleToolsCommand(id))
        return CDialog::OnCommand(code, id, control);
    if (HandlePageCommand(id))
        return CDialog::OnCommand(code, id, control);
    if (HandleOptionsCommand(id))
        return id == IDC_TITLE_ABOUT ? 0 : CDialog::OnCommand(code, id, control);
    return CDialog::OnCommand(code, id, control);
}
