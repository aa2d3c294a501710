// CApplicationsTree: the checkable list of rows of the main window (the
// backup sources, the startup programs, the installed programs). Each row
// has an expander cell, a check cell, the shell's small icon of a path and a
// text; the list paints everything itself, double-buffered, its own skinned
// scroll bar included (arrows with 100 ms auto-repeat on timers 1 and 2, a
// tiled track and thumb that can be dragged, the wheel). A click on a check
// cell flips the mark and sends WM_COMMAND 284 to the parent.
//
// Usage:
//   CApplicationsTree list;
//   list.SubclassAndUpdateFrame(GetDlgItem(dialog, IDC_LIST));
//   list.AddItem("Documents", "C:\\Docs", 0, 0, 1, 0, 0);
//   if (list.GetItem(0)->checked) ...
//
// The scroll arithmetic lives in ListScroll.h.
#ifndef BRINDLEWOX_SKIN_APPLICATIONSTREE_H
#define BRINDLEWOX_SKIN_APPLICATIONSTREE_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/Geometry.h"
#include "foundation/String.h"
#include "foundation/Window.h"
#include "picture/Picture.h"

#include <memory>
#include <vector>

class CSkinXPMenu;

struct CApplicationsTreeItem
{
    CApplicationsTreeItem() = default;
    CApplicationsTreeItem(const CApplicationsTreeItem&) = delete;
    CApplicationsTreeItem& operator=(const CApplicationsTreeItem&) = delete;
    ~CApplicationsTreeItem();

    CString text;
    CString path;
    CString thirdText = "-";
    // 0 draws the text in dark red, any other value in black.
    DWORD state = 0;
    DWORD value1 = 0;
    DWORD value2 = 0;
    // Index of the parent row, -1 for a top-level row (as is any index
    // outside the list).
    int parent = -1;
    DWORD checked = 0;
    DWORD expanded = 0;
    // Hit rectangles written by the drawing (the fourth is never sized).
    CRect expanderCell;
    CRect checkCell;
    CRect textCell;
    CRect fourthCell;
    // Owned.
    HICON icon = nullptr;
};

class CApplicationsTree : public CWindow
{
public:
    static constexpr UINT CheckToggledCommand = 284;
    // Dark red of state-0 rows (R 165, G 14, B 44).
    static constexpr COLORREF StateZeroText = 0x2C0EA5;
    static constexpr UINT_PTR TimerUp = 1;
    static constexpr UINT_PTR TimerDown = 2;

    CApplicationsTree();
    ~CApplicationsTree() override;

    // A new top-level row; its index, or -1. Repaints when auto-redraw is on.
    int AddItem(const char* text, const char* path, DWORD state, DWORD value1, DWORD checked,
                DWORD value2, DWORD expanded);
    void DeleteItem(int index);
    // Sets the third text of the row at an index (the startup list's value
    // name, the uninstall list's command); no row there: nothing.
    void SetItemData(int index, const char* text);
    // Also back to the top: first row, thumb and selection 0.
    void DeleteAllItems();
    void ScrollUp();
    void ScrollDown();
    // With reset: back to the top first. Then repaints at once.
    void Redraw(bool reset);
    // A click on a row's text also shows the text in a balloon.
    void SetEditable(bool editable) { m_balloon = editable ? 1 : 0; }

    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    CApplicationsTreeItem* GetItem(int index);
    int GetSelectedItem() const { return m_selected; }
    int GetFirstRow() const { return m_firstRow; }
    const CRect& GetThumbRect() const { return m_thumb; }
    const CRect& GetUpArrowRect() const { return m_upArrow; }
    const CRect& GetDownArrowRect() const { return m_downArrow; }
    void SetPopupMenu(CSkinXPMenu* menu) { m_menu = menu; }
    void SetHideExpander(bool hide) { m_hideExpander = hide ? 1 : 0; }
    void SetHideCheck(bool hide) { m_hideCheck = hide ? 1 : 0; }
    void SetAutoRedraw(bool on) { m_autoRedraw = on ? 1 : 0; }
    HFONT GetRowFont() const { return m_font.GetSafeHandle(); }

    // Draws the whole list into the context.
    virtual void Draw(CDC* dc);
    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The text as drawn into a cell of this width with the context's font:
    // whole when it fits, else cut to the characters that fit beside "..."
    // (at least one) followed by "...".
    static CString FitText(HDC dc, const char* text, int width);

private:
    void DrawRow(CDC& dc, CApplicationsTreeItem& item, const CRect& row, bool selected);
    void DrawScrollBar(CDC& dc, const CRect& client);
    // The row's parent; null for a top-level row and for a parent index
    // outside the list.
    CApplicationsTreeItem* ParentOf(const CApplicationsTreeItem& item);
    bool IsHiddenChild(const CApplicationsTreeItem& item);
    void RebuildVisibleRows();
    // One row up (-1) or down; repaints and answers true only when the list
    // moved.
    bool ScrollOne(int direction);
    void OnLeftButtonDown(POINT point);
    void OnMouseMove(POINT point);
    // The button is up: the arrows and thumb at rest, their repeat stopped,
    // the capture given back.
    void EndMouse();
    // The same without touching the capture (it is already going).
    void StopPressing();
    void LoadStrip(const char* key, const char* file, int width, int height, CImageList& list,
                   bool append);
    int TrackTop() const { return m_upArrow.bottom; }
    int TrackBottom() const { return m_downArrow.top; }

    std::vector<std::unique_ptr<CApplicationsTreeItem>> m_items;
    std::vector<int> m_visibleRows;
    int m_firstRow = 0;
    int m_perPage = 0;
    CRect m_upArrow;
    CRect m_downArrow;
    CRect m_thumb;
    CRect m_track;
    int m_upIndex = 3;
    int m_downIndex = 0;
    int m_thumbState = 0;
    int m_thumbHeight = 10;
    int m_thumbTop = 0;
    int m_lastY = 0;
    CPicture m_trackPicture;
    CPicture m_thumbPicture;
    CPicture m_thumbPressedPicture;
    CPicture m_thumbThirdPicture;
    int m_scrollingUp = 0;
    int m_firstDrawn = 0;
    int m_lastDrawn = 0;
    int m_displayable = 0;
    int m_drawnRows = 0;
    int m_mouseDown = 0;
    CPoint m_clickPoint;
    CImageList m_expanderImages;
    CImageList m_checkImages;
    CImageList m_arrowImages;
    CFont m_font;
    CSkinXPMenu* m_menu = nullptr;
    int m_selected = 0;
    int m_hideExpander = 0;
    int m_hideCheck = 0;
    int m_autoRedraw = 1;
    int m_balloon = 0;
    COLORREF m_gradientLeft = RGB(72, 188, 3);
    COLORREF m_gradientRight = RGB(255, 181, 106);
    COLORREF m_frame1 = RGB(168, 168, 168);
    COLORREF m_frame2 = RGB(223, 223, 223);
};

#endif
