// The main window's pages: their numbers (Page), the table of the nine pages
// the window makes (template and left-bar button), and the rule that shows
// one page and hides the rest. The window's own page switching
// (MainApplicationDialog::ShowPage and the page commands) is in Page.cpp.
#ifndef BRINDLEWOX_APP_PAGE_H
#define BRINDLEWOX_APP_PAGE_H

#include "foundation/Base.h"

// A page by its number. SpareOptions is never made (the third options tab
// would show it); no page has the number 8.
enum class Page : int
{
    None = -1,
    Backup = 0,
    Blank = 1,
    Restore = 2,
    BackupOptions = 3, // the first options tab
    MiscOptions = 4,   // the second options tab: the proxy
    SpareOptions = 5,
    Startup = 6,
    Uninstall = 7,
    Support = 9,
    Optimize = 10,
};

// Arrays indexed by page number have this many entries.
constexpr int kPageNumberCount = 11;
constexpr int PageNumber(Page page)
{
    return static_cast<int>(page);
}

// The pages the window makes.
constexpr int kPageCount = 9;
struct PageInfo
{
    Page page;
    UINT templateId;
    // The left-bar button that stands for the page.
    UINT menuButton;
};
// In the order they are made: Backup, Blank, Restore, the two options tabs,
// Startup, Uninstall, Support, Optimize.
extern const PageInfo kPages[kPageCount];
// The entry of a page; null for SpareOptions, None and numbers of no page.
const PageInfo* FindPage(Page page);

// Shows the page `shown` and hides every other of the array (indexed by page
// number; null entries are skipped, as a page without a window has nothing
// to show). When the focus was inside a page that is now hidden, it moves to
// the first tab stop of the shown page, or to `fallbackFocus` when the shown
// page has none (Wine's IsDialogMessage can loop for ever over a focus left
// in a hidden window). Nothing at all when `busy`: while a run lasts the page
// it started on stays. True when the pages were switched.
bool ShowOnlyPage(HWND const (&pages)[kPageNumberCount], Page shown, bool busy,
                  HWND fallbackFocus);

#endif
