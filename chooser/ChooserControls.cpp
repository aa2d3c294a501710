#include "chooser/ChooserControls.h"

bool CCheckBox::GetCheck() const
{
    return SendMessageA(m_hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CCheckBox::SetCheck(bool checked)
{
    SendMessageA(m_hWnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

LRESULT CListView::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header == nullptr)
        return NotHandled;
    auto* list = reinterpret_cast<NMLISTVIEW*>(header);
    auto* display = reinterpret_cast<NMLVDISPINFOA*>(header);
    switch (header->code)
    {
    case LVN_BEGINDRAG:
        return OnBeginDrag(list, passOn);
    case LVN_BEGINLABELEDITA:
        return OnBeginLabelEdit(display, passOn);
    case LVN_BEGINRDRAG:
        return OnBeginRDrag(list, passOn);
    case LVN_COLUMNCLICK:
        return OnColumnClick(list, passOn);
    case LVN_DELETEALLITEMS:
        return OnDeleteAllItems(list, passOn);
    case LVN_DELETEITEM:
        return OnDeleteItem(list, passOn);
    case LVN_ENDLABELEDITA:
        return OnEndLabelEdit(display, passOn);
    case LVN_GETDISPINFOA:
        return OnGetDispInfo(display, passOn);
    case LVN_GETINFOTIPA:
        return OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPA*>(header), passOn);
    case LVN_INSERTITEM:
        return OnInsertItem(list, passOn);
    case LVN_HOTTRACK:
        return OnHotTrack(list, passOn);
    case LVN_ITEMACTIVATE:
        return OnItemActivate(reinterpret_cast<NMITEMACTIVATE*>(header), passOn);
    case LVN_ITEMCHANGED:
        return OnItemChanged(list, passOn);
    case LVN_ITEMCHANGING:
        return OnItemChanging(list, passOn);
    case LVN_KEYDOWN:
        return OnKeyDown(reinterpret_cast<NMLVKEYDOWN*>(header), passOn);
    case LVN_MARQUEEBEGIN:
        return OnMarqueeBegin(list, passOn);
    case LVN_ODCACHEHINT:
        return OnOdCacheHint(reinterpret_cast<NMLVCACHEHINT*>(header), passOn);
    case LVN_ODFINDITEMA:
        return OnOdFindItem(reinterpret_cast<NMLVFINDITEMA*>(header), passOn);
    case LVN_ODSTATECHANGED:
        return OnOdStateChanged(reinterpret_cast<NMLVODSTATECHANGE*>(header), passOn);
    case LVN_SETDISPINFOA:
        return OnSetDispInfo(display, passOn);
    default:
        return CCommonControl::OnChildNotify(header, passOn);
    }
}

LRESULT CStatusbar::OnChildNotify(NMHDR* header, int& passOn)
{
    if (header != nullptr && header->code == static_cast<UINT>(SBN_SIMPLEMODECHANGE))
        return OnSimpleModeChange(header, passOn);
    return CCommonControl::OnChildNotify(header, passOn);
}
