// Mode "edits": the skinned combo box and edit at rest, with the focus and
// disabled. The focus is real on edit-focused; combo-focused is held lit by a
// subclass, since one window alone has the focus.
#include "skin/SkinComboBox.h"
#include "tests/tools/gallery/Gallery.h"

namespace
{
class FocusedCombo : public CSkinComboBox
{
public:
    bool HasFocus() const override { return true; }
};

constexpr int kWidth = 150;
constexpr int kColumn = 172;

class EditsMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        static const char* const combos[] = {"combo-idle", "combo-focused", "combo-disabled"};
        for (int i = 0; i < 3; ++i)
        {
            const int x = 12 + i * kColumn;
            host.AddCaption(combos[i], x, 12, kWidth);
            HWND window = host.AddChild(combos[i], "COMBOBOX", "",
                                        CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, x,
                                        30, kWidth, 120);
            CSkinComboBox& combo = i == 1 ? host.Make<FocusedCombo>() : host.Make<CSkinComboBox>();
            if (window == nullptr || !combo.Attach(window, false))
                continue;
            m_combos.push_back(window);
            for (const char* item : {"Backup", "Batch", "Bar"})
                SendMessageA(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendMessageA(window, CB_SETCURSEL, 0, 0);
            if (i == 2)
                EnableWindow(window, FALSE);
        }

        static const char* const edits[] = {"edit-idle", "edit-focused", "edit-disabled"};
        static const char* const texts[] = {"At rest", "With the focus", "Disabled"};
        for (int i = 0; i < 3; ++i)
        {
            const int x = 12 + i * kColumn;
            host.AddCaption(edits[i], x, 82, kWidth);
            HWND window = host.AddChild(edits[i], "EDIT", texts[i], ES_AUTOHSCROLL | WS_TABSTOP, x,
                                        100, kWidth, 24);
            CSkinEdit& edit = host.Make<CSkinEdit>();
            // The 2-pixel frame comes with the next size calculation.
            if (window == nullptr || !edit.SubclassAndUpdateFrame(window))
                continue;
            if (i == 1)
                m_focused = window;
            if (i == 2)
                EnableWindow(window, FALSE);
        }
    }

    void Shown(GalleryHost& host) override
    {
        if (m_focused != nullptr)
        {
            SetForegroundWindow(host.Dialog());
            SetFocus(m_focused);
        }
        // The combo the dialog gave the focus first keeps its text selected
        // under Wine: nothing is selected at rest.
        for (HWND combo : m_combos)
            SendMessageA(combo, CB_SETEDITSEL, 0, MAKELPARAM(-1, 0));
    }

private:
    HWND m_focused = nullptr;
    std::vector<HWND> m_combos;
};
} // namespace

GALLERY_MODE(edits, EditsMode, 530, 150, GalleryPlain);
