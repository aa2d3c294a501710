// CSkinComboBox and CSkinEdit: the combo boxes and edit fields of the option
// pages and the profile dialogs, drawn with flat frames in the skin's frame
// colours instead of the system's sunken borders. They light up (two rings of
// COLOR_FRAME_3 for the combo, one for the edit) while the mouse is over them
// or they have the focus. The combo completes typed text from its list
// (CCompletion).
#ifndef BRINDLEWOX_SKIN_SKINCOMBOBOX_H
#define BRINDLEWOX_SKIN_SKINCOMBOBOX_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"

// Completion of typed text in an editable combo box: the field shows the
// longest common prefix of every list item that begins with the typed text,
// in the letter case of the first of them, and the completed part is
// selected so that typing goes on over it.
class CCompletion
{
public:
    virtual ~CCompletion() = default;

    // Set by a key press (except Delete and Backspace), cleared by anything
    // else: only typing completes.
    void SetCompleteNext(bool complete) { m_completeNext = complete ? 1 : 0; }
    bool GetCompleteNext() const { return m_completeNext != 0; }

    // Completes the text of the combo now. Setting the text from here never
    // completes again, even where the system reports it as an edit.
    void Complete(HWND combo);

private:
    int m_completeNext = 0;
    bool m_completing = false;
};

// The hover poll: while the pointer is over the combo's edit field (which
// gets the mouse messages, not the combo) a 50 ms timer watches for it to
// leave.
constexpr UINT_PTR kComboHoverTimer = 0xDEAD;
constexpr UINT kComboHoverPeriod = 50;

class CSkinComboBox : public CComboBox, public CCompletion
{
public:
    // Reads COLOR_FRAME_1 (168,168,168), COLOR_FRAME_2 (223,223,223) and
    // COLOR_FRAME_3 (255,173,27) of the chosen skin.
    CSkinComboBox();
    ~CSkinComboBox() override;

    // A key press in the combo (or its edit field) arms the completion, as
    // does message 0x200E; Delete and Backspace, and every other message,
    // disarm it. Then as for any window.
    bool PreTranslateMessage(MSG* message) override;
    // Buffered: the background, the control's own painting, then the frame.
    LRESULT OnPaint(CDC* dc) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT OnCloseUp(int& passOn) override;
    LRESULT OnDropDown(int& passOn) override;
    LRESULT OnEditUpdate(int& passOn) override;
    LRESULT OnKillFocus(int& passOn) override;
    LRESULT OnSetFocus(int& passOn) override;

    // The mouse is over it: tracked over the combo itself, or (polled) over
    // its edit field. A drop-down list combo has no edit field: only the
    // tracking counts.
    bool IsHot();
    // The focus is on the combo or its edit field.
    virtual bool HasFocus() const;

    // Draws the frame and the drop-down button on a context of the combo's
    // client area.
    void DrawFrame(CDC& dc);
    void DrawButton(CDC& dc, bool hot);

    void SetAutoComplete(bool on) { m_autoComplete = on ? 1 : 0; }
    // False gives the system's sunken look when lit.
    void SetSkinnedLook(bool on) { m_skinnedLook = on ? 1 : 0; }
    COLORREF GetFrameColor(int index) const { return m_frame[index - 1]; }

protected:
    // The frame again, on a context of the combo.
    void RedrawFrame();
    HWND EditField() const;

    int m_tracking = 0;
    int m_autoComplete = 1;
    int m_skinnedLook = 1;
    // COLOR_FRAME_1, _2 and _3.
    COLORREF m_frame[3];
};

// The edit: a 2-pixel non-client frame of which the outer pixel is painted,
// COLOR_FRAME_1 at rest, COLOR_FRAME_3 under the mouse or with the focus.
class CSkinEdit : public CEdit
{
public:
    CSkinEdit();
    ~CSkinEdit() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The focus is on the edit.
    virtual bool HasFocus() const;
    // Paints the frame on a context of the whole window.
    void DrawFrame(CDC& dc);
    void SetSkinnedLook(bool on) { m_skinnedLook = on ? 1 : 0; }
    COLORREF GetFrameColor(int index) const { return m_frame[index - 1]; }

protected:
    void RedrawFrame();

    int m_skinnedLook = 1;
    int m_tracking = 0;
    COLORREF m_frame[3];
};

#endif
