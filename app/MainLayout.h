// The main window's geometry: pure functions that say where the title
// buttons, the page area, the pages and the controls of the resizable pages
// go for a given client size, and where the frameless window can be sized
// from; and CMainLayout, which applies them to the window. The same rules
// serve the start (OnInitDialog) and every WM_SIZE, all in client
// coordinates of the window (or of the page), so the first resize does not
// move anything by the border's width.
//
// Sizes are pixels; a divided measure is truncated toward zero. No width or
// height comes out negative: a window smaller than its frame gets empty
// rectangles.
#ifndef BRINDLEWOX_APP_MAINLAYOUT_H
#define BRINDLEWOX_APP_MAINLAYOUT_H

#include "foundation/Base.h"
#include "foundation/Geometry.h"
#include "app/Page.h"

#include <functional>
#include <vector>

namespace mainlayout
{
// The frame anchors of template 101 whose sizes fix the frame: the menu bar
// (952; its width is the left column), the title (955; its height the top
// band), the top-right corner (827, where the title buttons sit) and the
// bottom-right corner (956; its height the bottom band).
struct FrameMeasures
{
    CSize menu;
    CSize title;
    CSize topRight;
    CSize bottomRight;
};

// The four title buttons (minimise 242, maximise 824, Help 236, About 232),
// each keeping its own size, the minimise button's:
// X = width - w827 / 2.77, Y1 = h827 / 2.05 - button height,
// Y2 = 6 + h827 / 2.4; maximise and About stand button width + 4 to the
// right of the other two.
struct TitleButtons
{
    CPoint minimise;
    CPoint maximise;
    CPoint help;
    CPoint about;
};
TitleButtons PlaceTitleButtons(int width, const CSize& topRight, const CSize& button);

// Where a left-bar button's text starts: its width x 0.295.
int MenuTextIndent(int buttonWidth);

// The page area (809): x = w952 + 10, y = h955 + 10, reaching to 16 pixels
// from the right edge and 2 above the bottom band.
CRect PageArea(const CSize& client, const FrameMeasures& frame);

// The smallest client a window may be sized to (the template's), as the
// window size WM_GETMINMAXINFO wants: the client plus the frame around it.
CSize MinimumTrackSize(const CSize& templateClient, const CSize& frameExtra);

// One control of a page and where it goes, in page coordinates.
struct Placement
{
    UINT id;
    CRect rect;
};

// The size a control has now, by id (a missing control: 0 x 0).
using SizeOf = std::function<CSize(UINT id)>;

// A group frame under its heading: x 0, y = the heading's bottom, the page's
// width less 3, its own height.
CRect GroupUnderHeading(int pageWidth, int headingBottom, int groupHeight);

// Page 2 (restore), from the top: the title 828; the row of the label 353
// and the what-field 226 beside it; the tree 293 taking the height that is
// left; the row of "Where:" 389, the target 225 and its chooser 3032, centred
// on one line; "Current location:" 383 with the current file 314; and the
// button row, Select all 299 and Deselect all 302 at the left, Restore 296
// at the right. Each field beside a label takes the width its row leaves:
// the what-field the rest of the label's row, the target what "Where:" and
// the chooser leave, the chooser ending at the page's right edge.
std::vector<Placement> RestorePage(const CSize& page, const SizeOf& size);
// Page 6 (startup): the label 353 across, the list 374, then two button
// rows: Select all 359, Deselect all 361 and Remove 363 at the right; Allow
// 3025 and Deny 3026.
std::vector<Placement> StartupPage(const CSize& page, const SizeOf& size);
// Page 7 (uninstall): the label 353 across, the list 3033, one button row:
// Select all 3027, Deselect all 3028 and Uninstall 3029 at the right.
std::vector<Placement> UninstallPage(const CSize& page, const SizeOf& size);

// A window's outer size; 0 x 0 for no window.
CSize WindowSize(HWND window);

// True when the two rectangles share at least one pixel.
bool Overlap(const CRect& a, const CRect& b);

// What a mouse move at a client point does to the sizing frame of a window
// of this outer size: the bottom-right 20 x 20 square adds it; the rest of
// the window, except the band of 25 pixels around the grip, removes it.
enum class GripZone
{
    AddFrame,
    RemoveFrame,
    Keep,
};
GripZone ClassifyGripPoint(int x, int y, int width, int height);
} // namespace mainlayout

class MainApplicationDialog;

// The layout of one main window (not owned): every move of the rules above
// for its client size, the template's size as the smallest, the grip that
// gives the frameless window a sizing frame, and the maximise button's own
// maximise to the work area and back.
class CMainLayout
{
public:
    explicit CMainLayout(MainApplicationDialog& window) : m_window(window) {}
    CMainLayout(const CMainLayout&) = delete;
    CMainLayout& operator=(const CMainLayout&) = delete;

    // The first layout, at the template's client size, kept as the
    // smallest; only it moves the Backup and Blank pages.
    void Start();
    // WM_SIZE: lays the window out again (not while minimised, nor before
    // Start); NotHandled when it did nothing.
    LRESULT OnSize(UINT type, const CSize& client);
    // WM_GETMINMAXINFO: the template's size is the smallest the window takes.
    void OnGetMinMaxInfo(MINMAXINFO* info);
    // WM_MOUSEMOVE over the client: 0 when the grip took it (sizing frame
    // on), else NotHandled (the frame off away from the grip).
    LRESULT OnMouseMove(LPARAM lParam);
    // The sizing frame on or off (WM_NCMOUSELEAVE: off).
    void SetThickFrame(bool on);
    // The maximise button: the work area, then back where the window was.
    void ToggleMaximised();
    bool IsMaximised() const { return m_maximised; }

private:
    void LayOut(const CSize& client, bool initial);
    void LayOutPage(Page page, const std::vector<mainlayout::Placement>& placements);
    HWND PageWindow(Page page) const;

    MainApplicationDialog& m_window;
    // The client size of the template, the smallest the window takes.
    CSize m_templateClient;
    bool m_laidOut = false;
    bool m_maximised = false;
    CRect m_restoredRect;
};

#endif
