// The framework controls that only the chooser carries: CCheckBox, and the
// common controls CListView, CProgress and CStatusbar, each turning the
// reflected notifications of its control into virtual handlers (see
// foundation/Controls.h for the reflection and the pass-on flag).
//
// Unless said otherwise, each handler gets the notification's structure and
// the pass-on flag and returns 0 by default; a code without a handler of its
// own goes on to CCommonControl::OnChildNotify (the NM_* codes).
#ifndef BRINDLEWOX_CHOOSER_CHOOSERCONTROLS_H
#define BRINDLEWOX_CHOOSER_CHOOSERCONTROLS_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Dc.h"

// The chooser's controls paint themselves: into the context WM_PAINT (or
// WM_PRINTCLIENT) gave, else inside a CPaintDC of the window. Answers 0.
template <class Draw> LRESULT PaintControl(CWindow* window, CDC* dc, Draw draw)
{
    if (dc != nullptr)
    {
        draw(dc->GetSafeHdc());
        return 0;
    }
    CPaintDC paint(window);
    draw(paint.GetSafeHdc());
    return 0;
}

// A check box or radio button of the system's own drawing.
class CCheckBox : public CButton
{
public:
    // True when BM_GETCHECK answers BST_CHECKED.
    bool GetCheck() const;
    // BM_SETCHECK with BST_CHECKED or BST_UNCHECKED.
    void SetCheck(bool checked);
};

// The ANSI list-view notifications. The list sends ANSI codes when its
// parent is an ANSI window, as every framework window is.
class CListView : public CCommonControl
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;

    virtual LRESULT OnBeginDrag(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginLabelEdit(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnBeginRDrag(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnColumnClick(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnDeleteAllItems(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnDeleteItem(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnEndLabelEdit(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnGetDispInfo(NMLVDISPINFOA* info, int& passOn) { return 0; }
    virtual LRESULT OnGetInfoTip(NMLVGETINFOTIPA* info, int& passOn) { return 0; }
    virtual LRESULT OnInsertItem(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnHotTrack(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnItemActivate(NMITEMACTIVATE* info, int& passOn) { return 0; }
    virtual LRESULT OnItemChanged(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnItemChanging(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnKeyDown(NMLVKEYDOWN* info, int& passOn) { return 0; }
    virtual LRESULT OnMarqueeBegin(NMLISTVIEW* info, int& passOn) { return 0; }
    virtual LRESULT OnOdCacheHint(NMLVCACHEHINT* info, int& passOn) { return 0; }
    virtual LRESULT OnOdFindItem(NMLVFINDITEMA* info, int& passOn) { return 0; }
    virtual LRESULT OnOdStateChanged(NMLVODSTATECHANGE* info, int& passOn) { return 0; }
    virtual LRESULT OnSetDispInfo(NMLVDISPINFOA* info, int& passOn) { return 0; }

    // NM_KEYDOWN keeps its own handler beside LVN_KEYDOWN's.
    using CCommonControl::OnKeyDown;
};

// A progress bar: nothing beyond the common notifications.
class CProgress : public CCommonControl
{
};

// A status bar: SBN_SIMPLEMODECHANGE, then the common notifications.
class CStatusbar : public CCommonControl
{
public:
    LRESULT OnChildNotify(NMHDR* header, int& passOn) override;

    virtual LRESULT OnSimpleModeChange(NMHDR* header, int& passOn) { return 0; }
};

#endif
