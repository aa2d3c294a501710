// CSkinButton, the push button of every dialog and of the main window: a
// three-state picture strip of the skin (normal, hot, pressed) with a bold
// text on top, hover and press tracking from CHotButton, optional radio-group
// behaviour and a tooltip. CSkinCheckBox, the check box of the option pages:
// a 22 x 22 state picture of the skin and a text to its right.
//
// Both attach to existing dialog items (CWindow::Attach) and paint everything
// themselves, double-buffered; both answer WM_PRINTCLIENT by painting into the
// given context.
#ifndef BRINDLEWOX_SKIN_SKINBUTTON_H
#define BRINDLEWOX_SKIN_SKINBUTTON_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/Gdi.h"
#include "foundation/String.h"
#include "picture/Picture.h"
#include "skin/SkinFiles.h"

#include <memory>

class CSkinButton : public CHotButton
{
public:
    // A drawing flag of its own for the hot look, beside CDC's State* flags:
    // it changes nothing in CDC's state drawing. (CDC::StateOwnDisabled, 32,
    // is a disabled look and never stands for hot.)
    static constexpr UINT StateHotLook = 128;

    // Reads the text colours BUTTON_DEFAULT, BUTTON_ACTIVE and BUTTON_DOWN
    // (255,255,255 each by default) from the chosen skin and makes the bold
    // Arial 15 text font. The picture comes later, from LoadSkinImage.
    CSkinButton();
    // Frees the background snapshot (never copying it anywhere), then the
    // picture, the image list and the rest.
    ~CSkinButton() override;

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    // WM_PRINTCLIENT paints into the given context; the rest goes to
    // CHotButton.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Adds to `size`: 3 x SM_CXFRAME and 3 x SM_CYFRAME; the image size (+ 4
    // to the width) when the list holds images; the text's extent in the
    // bold font (+ 4 to the width, and what the text is taller than the
    // image to the height) when there is a text. True.
    bool GetWindowSize(CSize& size) override;
    // Tells the parent: WM_COMMAND with notification code 1 and the
    // control's id, lParam the control. (Code 0, BN_CLICKED, would come back
    // to the button as a reflected click and fire again.)
    void OnClicked() override;
    // The stored tooltip text, when there is one: its address goes into the
    // request (the text lives as long as the button or until changed) and
    // the answer is 1; else 0.
    int GetToolTipText(NMTTDISPINFOA* info) override;

    // The skin-image loader: the picture of the image key (or the default
    // file name) of the chosen skin, as three images of the client's size;
    // a state whose strip third starts with magenta shows the parent's
    // background instead. Call after the button is attached and sized.
    void LoadSkinImage(CString key, CString defaultFile);

    // Radio groups: the group array is shared by its buttons and not owned.
    // SetRadioGroup stores it and appends this button to it.
    void SetRadioGroup(CArray<CSkinButton*>* group);
    // In a group: clears every button of the group (each repainted), then
    // checks this one. Without a group nothing happens.
    void SetRadioChecked();
    bool IsChecked() const { return m_checked != 0; }

    void SetToolTipText(const char* text) { m_toolTipText = text; }
    const CString& GetToolTipTextValue() const { return m_toolTipText; }
    // 0 centres the text; another value draws it left-aligned from that x.
    void SetTextIndent(int indent) { m_textIndent = indent; }
    // The text without the disabled and pushed looks.
    void SetPlainLook(bool plain) { m_plainLook = plain ? 1 : 0; }
    // The colours of the normal, hot, and pressed or checked text.
    void SetTextColors(COLORREF normal, COLORREF hot, COLORREF down);
    COLORREF GetTextColor(int state) const;

    // -1 marks a state drawn from the parent's background.
    int GetStateImage(int state) const { return m_stateImage[state]; }
    HIMAGELIST GetImageList() const { return m_imageList.GetSafeHandle(); }
    bool HasBackgroundSnapshot() const { return m_snapshot != nullptr; }

    // What a paint would choose: the state (0 normal, 1 hot, 2 pressed or
    // checked) and the drawing flags of the text.
    int ChooseState() const;
    UINT ChooseTextFlags() const;

    // Draws the button into the context (double-buffered).
    void Draw(CDC& dc);

protected:
    // Pressed, and drawn moved one pixel right and down.
    bool ShowsPushed() const;

    CString m_toolTipText;
    int m_stateImage[SkinStateCount] = {0, 1, 2};
    int m_plainLook = 0;
    CImageList m_imageList;
    CPicture m_picture;
    // The parent's background, kept for the button's life (its copy-out is
    // given up, so it is only freed).
    std::unique_ptr<CBufferDC> m_snapshot;
    int m_checked = 0;
    // Not owned: the group's array.
    CArray<CSkinButton*>* m_group = nullptr;
    COLORREF m_textColors[3] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
    int m_textIndent = 0;
    CFont m_textFont;
};

// The check box: image 0 checked, 1 checked and disabled, 2 unchecked, 3
// unchecked and disabled of the skin's CHECK_BUTTON picture (22 x 22 each,
// white transparent), the text in Arial 15 from x = image width + 3, y = 5.
class CSkinCheckBox : public CHotButton
{
public:
    // Writes the first-run defaults of the settings file when needed, loads
    // CHECK_BUTTON ("check_button.png") of the chosen skin and makes the
    // font.
    CSkinCheckBox();
    ~CSkinCheckBox() override;

    LRESULT OnPaint(CDC* dc) override;
    LRESULT OnEraseBkgnd(CDC* dc) override { return 1; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Tells the parent as CSkinButton does, then toggles and repaints.
    void OnClicked() override;
    int GetToolTipText(NMTTDISPINFOA* info) override;

    bool IsChecked() const { return m_checked != 0; }
    // Repaints when the state changes.
    void SetChecked(bool checked);
    void SetToolTipText(const char* text) { m_toolTipText = text; }
    HIMAGELIST GetImageList() const { return m_imageList.GetSafeHandle(); }
    // Replaces the state pictures by those of the file (white transparent);
    // false, and an empty list, when it cannot be read.
    bool LoadImages(const char* path);

    // The image a paint would draw.
    int ChooseImage() const;
    void Draw(CDC& dc);

protected:
    CFont m_textFont;
    CImageList m_imageList;
    CString m_toolTipText;
    int m_checked = 0;
};

#endif
