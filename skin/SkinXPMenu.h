// CSkinXPMenu: the flat owner-drawn menu of the tray icon's popup and of the
// main window's menus. It keeps CBitmapMenu's item model, image list,
// owner-draw conversion and popup hook, and replaces the look: an icon
// column, a framed selection bar, a rounded radio bullet, a one-pixel
// separator and Arial text, all in five colours of the skin file.
#ifndef BRINDLEWOX_SKIN_SKINXPMENU_H
#define BRINDLEWOX_SKIN_SKINXPMENU_H

#include "foundation/Base.h"
#include "foundation/Gdi.h"
#include "foundation/BitmapMenu.h"

// The five colours of the skinned menu, as read from section "Color" of the
// skin file; each name's default applies per component.
struct SkinMenuColours
{
    COLORREF selection = RGB(255, 173, 27); // COLOR_TRAY_SELECTION
    COLORREF verticalBar = RGB(0, 0, 0);    // COLOR_TRAY_VERTICAL_BAR: the icon column
    COLORREF border = RGB(0, 0, 0);         // COLOR_TRAY_BORDER
    COLORREF text = RGB(0, 0, 0);           // COLOR_TRAY_TEXT
    COLORREF textBack = RGB(255, 255, 255); // COLOR_TRAY_TEXT_BACK
};

class CSkinFiles;

// Reads the five colours from the skin file; missing keys give the defaults.
SkinMenuColours ReadSkinMenuColours(CSkinFiles& skin);

// The popup position rule of the skinned menu, for a popup about to move
// (no SWP_NOMOVE): the new y moves 3 pixels down when the menu-bar item's
// bottom lies below it, else 1 pixel up; an x equal to the item's right edge
// becomes its left edge (the popup opens under the item, not beside it).
void AdjustSkinPopupPosition(WINDOWPOS& position, const RECT& barItem);

// The geometry of one popup item: the icon column (image width + 8 wide),
// the text area right of it, and the icon box the image and check marks are
// drawn in.
struct SkinMenuItemLayout
{
    RECT iconColumn;
    RECT textArea;
    RECT iconBox;
};
SkinMenuItemLayout LayOutSkinMenuItem(const RECT& item, int imageWidth);

class CSkinXPMenu : public CBitmapMenu
{
public:
    // The image drawing flag of a hot item: a value of its own, never
    // CDC::StateOwnDisabled (32), and without effect on the drawing of
    // CDC::DrawImageState (the icon is drawn as for a normal item).
    static constexpr UINT StateHotImage = 0x100;
    // Disabled item text.
    static constexpr COLORREF DisabledText = RGB(0xCE, 0xCE, 0xCE);
    // Extra size of a popup item over the bitmap menu's measure.
    static constexpr int ExtraWidth = 20;
    static constexpr int ExtraHeight = 2;

    // Reads the five colours of the chosen skin; the own shadow is off.
    explicit CSkinXPMenu(HMENU menu = nullptr);
    ~CSkinXPMenu() override;

    LRESULT MeasureItem(MEASUREITEMSTRUCT* item, int& passOn) override;
    LRESULT DrawItem(DRAWITEMSTRUCT* item, int& passOn) override;
    BOOL UseOwnerDraw() override;
    void GetItemMargins(int& left, int& top, int& right, int& bottom) override;
    void DrawMenuShadow(const RECT& clip, const RECT& screen) override;
    void DrawMenuBorder(HDC dc, const RECT& frame, const RECT& screen) override;
    void AdjustPopupPos(WINDOWPOS* position) override;
    void OnUninitMenuPopup(CWindow* window, WPARAM popup, LPARAM lParam) override;
    void OnExitMenuLoop(CWindow* window, BOOL trackPopup) override;

    // Classic: every overridden drawing defers to CBitmapMenu.
    void SetClassic(bool classic) { m_classic = classic ? 1 : 0; }
    // Hot image: the image of a selected, enabled, unchecked item is drawn
    // with StateHotImage.
    void SetHotImage(bool hotImage) { m_hotImage = hotImage ? 1 : 0; }

    // Replaces the colours (the skin file was read again, or a test).
    void SetColours(const SkinMenuColours& colours);
    SkinMenuColours GetColours() const;

private:
    bool OwnShadowActive() const;
    // The screen rectangle of the bar item whose popup is open.
    RECT BarItem() const { return *static_cast<const RECT*>(m_barItemRect); }
    void DrawRadioBullet(HDC dc, const RECT& iconBox, bool checked, COLORREF checkColour) const;
    void DrawItemText(HDC dc, const CString& text, const RECT& area, UINT state) const;
    HFONT ItemFont();

    COLORREF Selection() const { return Compose(m_selection); }
    COLORREF VerticalBar() const { return Compose(m_verticalBar); }
    COLORREF Border() const { return Compose(m_border); }
    COLORREF Text() const { return Compose(m_text); }
    COLORREF TextBack() const { return Compose(m_textBack); }
    static COLORREF Compose(const int (&rgb)[3]) { return RGB(rgb[0], rgb[1], rgb[2]); }
    static void Split(COLORREF colour, int (&rgb)[3]);

    int m_classic = 0;
    int m_hotImage = 0;
    // Each colour as its R, G and B components.
    int m_selection[3] = {};
    int m_verticalBar[3] = {};
    int m_border[3] = {};
    int m_text[3] = {};
    int m_textBack[3] = {};
    // Arial 15, made at the first drawing and kept for the menu's life.
    CFont m_font;
    bool m_fontTried = false;
};

#endif
