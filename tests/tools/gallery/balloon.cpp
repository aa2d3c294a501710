// Mode "balloon": balloons whose anchors lie in the four quarters of the
// screen (tails at the top right, top left, bottom right, bottom left), one
// with a close button and one with formatted content (a bold second line
// and the word "red" in 255,0,0), on a slate backdrop so that their
// outlines show. Each anchor is a small black mark (anchor-<name>), and the
// red word's rectangle is in the manifest (balloon-formatted-red).
#include "skin/SkinBalloonHelp.h"
#include "tests/tools/gallery/Gallery.h"

#include <algorithm>

namespace
{
const char kFormatted[] = "A plain first line\n"
                          "\x1b+bA bold second line\x1b-b\n"
                          "The word \x1bt255,0,0red\x1bt0,0,0 and nothing else in red";
const char kFormattedBefore[] = "The word ";

class BalloonMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        host.AddBackdrop(RECT{0, 0, 1200, 740}, RGB(120, 130, 140));
        for (const Spec& spec : kSpecs)
        {
            char name[64];
            wsprintfA(name, "anchor-%s", spec.name);
            host.AddChild(name, "STATIC", "", SS_BLACKRECT, spec.anchor.x - 3, spec.anchor.y - 3,
                          6, 6);
        }
    }

    // The balloons come once the dialog is on screen, above it.
    void Shown(GalleryHost& host) override
    {
        for (const Spec& spec : kSpecs)
        {
            CSkinBalloonHelp* balloon = Launch(host, spec);
            if (balloon != nullptr && spec.content == kFormatted)
                NameRedWord(host, *balloon);
        }
    }

private:
    struct Spec
    {
        const char* name;
        const char* title;
        const char* content;
        POINT anchor;
        DWORD options;
        bool icon;
    };
    static const Spec kSpecs[6];

    // As LaunchBalloon makes it, with the system's information icon (the
    // gallery has no icon resources) and no time-out.
    static CSkinBalloonHelp* Launch(GalleryHost& host, const Spec& spec)
    {
        auto* balloon = new CSkinBalloonHelp;
        if (spec.icon)
        {
            CSize button = CSkinBalloonHelp::GetCloseButtonSize();
            int width = std::max(GetSystemMetrics(SM_CXSMICON), static_cast<int>(button.cx));
            int height = std::max(GetSystemMetrics(SM_CYSMICON), static_cast<int>(button.cy));
            balloon->SetIconScaled(LoadIconA(nullptr, IDI_INFORMATION), width, height);
        }
        if (!balloon->Create(spec.title, spec.content, spec.anchor,
                             spec.options | CSkinBalloonHelp::OptionDeleteSelf, host.Dialog(), "",
                             0, nullptr))
        {
            delete balloon;
            return nullptr;
        }
        // Owned by the dialog: its end destroys the balloon, which then
        // deletes itself.
        host.Name(spec.name, balloon->GetHwnd());
        return balloon;
    }

    // The third line starts at the content's left edge, two lines down.
    static void NameRedWord(GalleryHost& host, CSkinBalloonHelp& balloon)
    {
        HWND content = balloon.GetContent().GetHwnd();
        RECT area;
        GetWindowRect(content, &area);
        HDC dc = GetDC(content);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(content, WM_GETFONT, 0, 0)));
        SIZE space = {};
        SIZE before = {};
        SIZE word = {};
        GetTextExtentPoint32A(dc, " ", 1, &space);
        GetTextExtentPoint32A(dc, kFormattedBefore, lstrlenA(kFormattedBefore), &before);
        GetTextExtentPoint32A(dc, "red", 3, &word);
        SelectObject(dc, old);
        ReleaseDC(content, dc);
        RECT red = {area.left + before.cx, area.top + 2 * space.cy,
                    area.left + before.cx + word.cx, area.top + 3 * space.cy};
        host.NameRect("balloon-formatted-red", red);
    }
};

// Anchors in the dialog's client area, which starts at 16,16 of the
// 1280 × 800 screen: upper left, upper right, lower right, lower left of
// its centre (640, 400).
const BalloonMode::Spec BalloonMode::kSpecs[6] = {
    {"balloon-q0", "Upper right", "The tail points up\nfrom the right.", {1084, 44}, 0, true},
    {"balloon-q1", "Upper left", "The tail points up\nfrom the left.", {84, 44}, 0, true},
    {"balloon-q2", "Lower right", "The tail points down\nfrom the right.", {1084, 684}, 0, true},
    {"balloon-q3", "Lower left", "The tail points down\nfrom the left.", {84, 684}, 0, true},
    {"balloon-close", "Close button", "A balloon that closes\non its button.", {384, 44},
     CSkinBalloonHelp::OptionShowCloseButton, false},
    {"balloon-formatted", "Formatted", kFormatted, {784, 44}, 0, false},
};
} // namespace

GALLERY_MODE(balloon, BalloonMode, 1200, 740, GalleryPlain);
