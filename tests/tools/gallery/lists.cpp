// Mode "lists": the checkable application list as the main window shows it
// (list-main: 40 rows, states alternating, some checked, row 17 selected,
// scrolled to the middle), with its expander column (list-expander: an
// expanded row with two children, a collapsed row and plain rows) and empty
// (list-empty: the frame, the white area and the scroll bar only).
#include "skin/ApplicationsTree.h"
#include "tests/tools/gallery/Gallery.h"

namespace
{
class ListsMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        host.AddCaption("40 rows, row 17 selected, scrolled", 12, 8, 300);
        if (CApplicationsTree* list = List(host, "list-main", 12, 24, 300, 220, true))
        {
            for (int i = 0; i < 40; ++i)
            {
                CString text;
                text.Format(i == 21 ? "Row %d with a text far too long to fit into its cell"
                                    : "Program folder %d",
                            i);
                list->AddItem(text, "C:\\windows", i % 2, 0, i % 3 == 0, 0, 0);
            }
            m_main = list;
        }
        host.AddCaption("expander column", 330, 8, 240);
        if (CApplicationsTree* list = List(host, "list-expander", 330, 24, 240, 220, false))
        {
            list->AddItem("Documents", "C:\\windows", 0, 0, 1, 0, 1);
            list->AddItem("Letters", "C:\\windows", 1, 0, 1, 0, 0);
            list->AddItem("Invoices", "C:\\windows", 1, 0, 1, 0, 0);
            list->AddItem("Pictures", "C:\\windows", 0, 0, 0, 0, 0);
            list->AddItem("Holidays", "C:\\windows", 1, 0, 0, 0, 0);
            list->AddItem("Music", "C:\\windows", 1, 0, 0, 0, 0);
            // Children only a caller that edits the rows can make.
            list->GetItem(1)->parent = 0;
            list->GetItem(2)->parent = 0;
            list->GetItem(4)->parent = 3;
        }
        host.AddCaption("empty", 590, 8, 160);
        List(host, "list-empty", 590, 24, 160, 220, true);
    }

    void Shown(GalleryHost&) override
    {
        if (m_main == nullptr)
            return;
        m_main->Redraw(true);
        for (int i = 0; i < 15; ++i)
            m_main->ScrollDown();
        SendMessageA(m_main->GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON,
                     MAKELPARAM(100, 2 * 22 + 10));
        SendMessageA(m_main->GetSafeHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(100, 2 * 22 + 10));
        SetFocus(m_main->GetSafeHwnd());
    }

private:
    static CApplicationsTree* List(GalleryHost& host, const char* name, int x, int y, int width,
                                   int height, bool hideExpander)
    {
        // SS_NOTIFY: a plain static lets the mouse through to its parent.
        HWND window =
            host.AddChild(name, "STATIC", "", SS_LEFT | SS_NOTIFY, x, y, width, height);
        auto& list = host.Make<CApplicationsTree>();
        if (window == nullptr || !list.SubclassAndUpdateFrame(window))
            return nullptr;
        list.SetHideExpander(hideExpander);
        list.SetAutoRedraw(false);
        return &list;
    }

    CApplicationsTree* m_main = nullptr;
};
} // namespace

GALLERY_MODE(lists, ListsMode, 770, 256, GalleryPlain);
