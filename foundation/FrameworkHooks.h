// The calls by which the window procedure, the modal loop and the module
// state reach the device-context, GDI-object, menu and MDI parts of the
// framework, which sit above them (they paint into windows and hang menus on
// them) and so cannot be included here.
//
// Each function is declared here and defined once, in the .cpp of the part
// named above its group.
#ifndef BRINDLEWOX_FOUNDATION_FRAMEWORKHOOKS_H
#define BRINDLEWOX_FOUNDATION_FRAMEWORKHOOKS_H

#include "foundation/Base.h"

class CDC;
class CWindow;

// --- Device contexts and GDI objects (Dc.cpp, Gdi.cpp) ---

// The CDC object of a device-context handle, found in the DC lists or made
// as a temporary wrapper; null for null. Handed to CWindow::OnPaint and
// CWindow::OnEraseBkgnd.
CDC* FrameworkDcFromHandle(HDC dc);
// Rebuilds the framework's table of derived system colours; the window
// procedure calls it on WM_SYSCOLORCHANGE and WM_UPDATEUISTATE.
void RebuildSysColorTable();
// Delete the wrappers of g_temporaryGdiList and g_temporaryDcList without
// releasing the handles they wrap. Run after every message of the modal
// loop (GDI objects first) and at process exit.
void DestroyTemporaryGdiObjects();
void DestroyTemporaryDCs();

// --- Menus (Menu.cpp; the popup-menu hook MenuHook.cpp) ---

// Whether a CMenu object of g_menuList holds the menu. WM_DESTROY takes
// such a menu off its window first, so that the menu outlives the window.
bool IsFrameworkMenu(HMENU menu);
// WM_MEASUREITEM and WM_DRAWITEM of a menu item (control id 0), for the
// current menu of the window: the menu object's MeasureItem or DrawItem
// slot, found or made for the handle. Returns the slot's result, or
// CWindow::NotHandled (-1) when there is no menu object; the slot may clear
// passOn to keep the window's own OnMeasureItem/OnDrawItem from running.
LRESULT FrameworkMenuMeasureItem(HMENU menu, MEASUREITEMSTRUCT* item, int& passOn);
LRESULT FrameworkMenuDrawItem(HMENU menu, DRAWITEMSTRUCT* item, int& passOn);
// The menu-loop messages, routed to the menu's object (found or made):
// WM_INITMENU (menu = wParam), WM_INITMENUPOPUP, WM_UNINITMENUPOPUP and
// WM_EXITMENULOOP (menu = the current menu, see CWindow::GetCurrentMenu).
// The window procedure calls them only for a handle that IsMenu accepts.
void FrameworkMenuOnInitMenu(HMENU menu, CWindow* window);
void FrameworkMenuOnInitMenuPopup(HMENU menu, CWindow* window, HMENU popup, UINT index,
                                  BOOL systemMenu);
void FrameworkMenuOnUninitMenuPopup(HMENU menu, CWindow* window, WPARAM wParam, LPARAM lParam);
void FrameworkMenuOnExitMenuLoop(HMENU menu, CWindow* window, BOOL trackPopup);
// Deletes the wrappers of g_temporaryMenuList without destroying their
// menus. Run after every message of the modal loop and at process exit.
void DestroyTemporaryMenus();
// The popup-menu hook of the user-interface thread, installed by
// ModuleState::Init (false fails the start-up) and removed at process exit.
// The hook's property atom is kept in the module state
// (ModuleState::SetMenuHookAtom); RemoveMenuHook deletes it and sets it
// back to 0, and the exit clean-up deletes an atom still left there.
bool InstallMenuHook();
void RemoveMenuHook();

// --- MDI (MdiChild.cpp) ---

// The class procedure of "CMDIChildClass", registered by ModuleState::Init.
LRESULT CALLBACK MdiChildWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
