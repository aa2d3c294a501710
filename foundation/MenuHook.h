// The popup-menu hook: it subclasses every popup-menu window (class
// "#32768") of the user-interface thread, so that the object of the menu
// being shown (CMenu::FromCurrentMenu) can give the popup extra margins,
// paint its border and draw a shadow where the system draws none (the CMenu
// slots from UseOwnerDraw to AdjustPopupPos). ModuleState::Init installs it
// (InstallMenuHook, FrameworkHooks.h).
#ifndef BRINDLEWOX_FOUNDATION_MENUHOOK_H
#define BRINDLEWOX_FOUNDATION_MENUHOOK_H

#include "foundation/Base.h"

// The four extra margins a popup-menu window gets around its items.
struct MenuMargins
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The edge that GrowPopupSize takes for a popup window: its styles' frame
// less the one-pixel border on each side.
SIZE PopupFrameEdge(HWND popup);

// The popup's new size on WM_WINDOWPOSCHANGING: the system sized it for a
// frame of 2 * edge + 2 pixels on each axis, which the margins replace.
SIZE GrowPopupSize(SIZE size, const MenuMargins& margins, int edgeWidth, int edgeHeight);

// A popup about to move (no SWP_NOMOVE) to an x equal to the right edge of
// the menu-bar item it opens from moves to that item's left edge instead:
// it opens under the item, not beside it. Anything else is left alone.
void AlignPopupUnderBarItem(WINDOWPOS& position, const RECT& barItem);

// The popup windows the hook subclassed and that are still alive (for
// diagnostics and tests: every record is freed when its popup hides or is
// destroyed).
int GetLivePopupRecordCount();

#endif
