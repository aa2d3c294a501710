// The menu calls of FrameworkHooks.h as they stand while the framework has
// no menu objects: no menu is held by an object, no item is measured or
// drawn by one, and there is no popup hook to install. The menu part deletes
// this file and defines these functions itself.
#include "foundation/FrameworkHooks.h"

#include "foundation/Window.h"

bool IsFrameworkMenu(HMENU)
{
    return false;
}

LRESULT FrameworkMenuMeasureItem(HMENU, MEASUREITEMSTRUCT*, int&)
{
    return CWindow::NotHandled;
}

LRESULT FrameworkMenuDrawItem(HMENU, DRAWITEMSTRUCT*, int&)
{
    return CWindow::NotHandled;
}

void FrameworkMenuOnInitMenu(HMENU, CWindow*) {}

void FrameworkMenuOnInitMenuPopup(HMENU, CWindow*, HMENU, UINT, BOOL) {}

void FrameworkMenuOnUninitMenuPopup(HMENU, CWindow*, WPARAM, LPARAM) {}

void FrameworkMenuOnExitMenuLoop(HMENU, CWindow*, BOOL) {}

void DestroyTemporaryMenus() {}

bool InstallMenuHook()
{
    return true;
}

void RemoveMenuHook() {}
