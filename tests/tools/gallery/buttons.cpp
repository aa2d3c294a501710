// Mode "buttons": the skinned push button in its states, the check box's
// four pictures and the three custom statics.
#include "foundation/Array.h"
#include "skin/CustomStatic.h"
#include "skin/SkinButton.h"
#include "tests/tools/gallery/Gallery.h"

namespace
{
// A button held in a state the mouse would give: the forced state bits stay
// because this button ignores the mouse and the focus.
class ForcedButton : public CSkinButton
{
public:
    explicit ForcedButton(DWORD state) : m_forced(state) {}

    void Force()
    {
        m_state |= m_forced;
        Repaint();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        switch (message)
        {
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
        case WM_CAPTURECHANGED:
        case WM_CANCELMODE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            return 0;
        default:
            return CSkinButton::WindowProc(message, wParam, lParam);
        }
    }

private:
    DWORD m_forced;
};

// A button without a picture draws its text alone, white by default: this
// one starts its buffer from what lies under it (a dark backdrop of the
// dialog) instead of white, so the text can be seen.
class BackdropButton : public CSkinButton
{
public:
    LRESULT OnPaint(CDC* dc) override
    {
        if (dc != nullptr)
        {
            Draw(*dc);
            return 0;
        }
        CPaintDC paint(m_hWnd);
        SetBkMode(paint, TRANSPARENT);
        Draw(paint);
        return 0;
    }
};

constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
constexpr int kButtonTop = 30;

class ButtonsMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        struct Spec
        {
            const char* name;
            const char* caption;
            const char* text;
        };
        static const Spec buttons[] = {
            {"button-normal", "normal", "Normal"},
            {"button-hot", "hot", "Hot"},
            {"button-pressed", "pressed", "Pressed"},
            {"button-disabled", "disabled", "Disabled"},
            {"button-checked-disabled", "checked, disabled", "Checked"},
            {"button-nopicture", "no picture", "No picture"},
        };
        auto& group = host.Make<CArray<CSkinButton*>>();
        for (int i = 0; i < 6; ++i)
        {
            const int x = 12 + i * (kButtonWidth + 16);
            host.AddCaption(buttons[i].caption, x, kButtonTop - 18, kButtonWidth + 12);
            if (i == 5)
            {
                RECT backdrop = {x - 3, kButtonTop - 3, x + kButtonWidth + 3,
                                 kButtonTop + kButtonHeight + 3};
                host.AddBackdrop(backdrop, RGB(52, 62, 82));
            }
            HWND window = host.AddChild(buttons[i].name, "BUTTON", buttons[i].text,
                                        BS_PUSHBUTTON | WS_TABSTOP, x, kButtonTop, kButtonWidth,
                                        kButtonHeight);
            CSkinButton* button = nullptr;
            if (i == 1)
                button = m_hot = &host.Make<ForcedButton>(CHotButton::StateHot);
            else if (i == 2)
                button = m_pressed = &host.Make<ForcedButton>(CHotButton::StatePressed);
            else if (i == 5)
                button = &host.Make<BackdropButton>();
            else
                button = &host.Make<CSkinButton>();
            if (window == nullptr || !button->Attach(window, false))
                continue;
            if (i != 5)
                button->LoadSkinImage("BUTTON_DIALOG", "button_dialog.png");
            if (i == 3 || i == 4)
                EnableWindow(window, FALSE);
            if (i == 4)
            {
                button->SetRadioGroup(&group);
                button->SetRadioChecked();
            }
        }

        static const char* const checkTexts[] = {"Checked", "Checked, disabled", "Unchecked",
                                                 "Unchecked, disabled"};
        for (int i = 0; i < 4; ++i)
        {
            const int x = 12 + i * 172;
            char name[16];
            wsprintfA(name, "check-%d", i);
            host.AddCaption(name, x, 84, 166);
            HWND window = host.AddChild(name, "BUTTON", checkTexts[i], BS_AUTOCHECKBOX | WS_TABSTOP,
                                        x, 100, 166, 22);
            auto& box = host.Make<CSkinCheckBox>();
            if (window == nullptr || !box.Attach(window, false))
                continue;
            box.SetChecked(i < 2);
            if (i == 1 || i == 3)
                EnableWindow(window, FALSE);
        }

        host.AddCaption("static", 12, 150, 200);
        if (HWND window = host.AddChild("static", "STATIC", "A label in its own font", SS_LEFT, 12,
                                        166, 200, 30))
            host.Make<CCustomStatic>().Attach(window, false);
        host.AddCaption("gradient", 228, 150, 200);
        if (HWND window =
                host.AddChild("gradient", "STATIC", "Gradient heading", SS_LEFT, 228, 166, 200, 30))
            host.Make<CCustomGradientStatic>().Attach(window, false);
        host.AddCaption("group", 444, 150, 200);
        if (HWND window = host.AddChild("group", "STATIC", "", SS_LEFT, 444, 166, 200, 110))
            host.Make<CCustomGroup>().Attach(window, false);
        host.AddCaption("(the page shows through)", 460, 210, 170);
    }

    void Shown(GalleryHost& host) override
    {
        if (m_hot != nullptr)
            m_hot->Force();
        if (m_pressed != nullptr)
            m_pressed->Force();
    }

private:
    ForcedButton* m_hot = nullptr;
    ForcedButton* m_pressed = nullptr;
};
} // namespace

GALLERY_MODE(buttons, ButtonsMode, 710, 290, GalleryPlain);
