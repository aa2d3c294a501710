// Mode "bars": the frame bar as the main window's value fields use it
// (black text on white in the skin's frame colours), with a gradient from
// white to COLOR_SHIELD_OFF, with an icon, with a path too long for it and
// laid out vertically; and 204 × 20 progress bars at 0, 50 and 100 of 100.
#include "skin/FrameBar.h"
#include "skin/SkinFiles.h"
#include "tests/tools/gallery/Gallery.h"

namespace
{
const char kLongPath[] =
    "C:\\Documents and Settings\\Owner\\My Documents\\Projects\\Quarterly reports\\file_name.txt";

class BarsMode : public GalleryMode
{
public:
    void Build(GalleryHost& host) override
    {
        CSkinFiles skin;
        COLORREF shieldOff = skin.ReadColor("COLOR_SHIELD_OFF", RGB(255, 0, 0));

        host.AddCaption("plain", 12, 8, 240);
        Field(host, "bar-plain", "Files stored: 1,234", 12, 24, 240, 22);
        host.AddCaption("gradient", 12, 56, 240);
        if (CFrameBar* gradient = Field(host, "bar-gradient", "Shield off", 12, 72, 240, 22))
        {
            gradient->SetGradient(true);
            gradient->SetBackgroundColor(RGB(255, 255, 255));
            gradient->SetGradientEndColor(shieldOff);
        }
        host.AddCaption("icon", 12, 104, 240);
        if (CFrameBar* icon = Field(host, "bar-icon", "With an icon at the end", 12, 120, 240, 22))
            icon->SetIcon(CopyIcon(LoadIconA(nullptr, IDI_INFORMATION)));
        host.AddCaption("path", 12, 152, 240);
        if (CFrameBar* path = Field(host, "bar-path", kLongPath, 12, 168, 240, 22))
            path->SetPathCompaction(true);
        host.AddCaption("vertical", 270, 8, 80);
        if (CFrameBar* vertical = Field(host, "bar-vertical", "Upwards", 276, 24, 24, 166))
            vertical->SetVertical(true);

        static const struct
        {
            const char* name;
            const char* caption;
            int position;
        } progress[] = {{"progress-0", "progress 0 of 100", 0},
                        {"progress-50", "progress 50 of 100", 50},
                        {"progress-max", "progress 100 of 100", 100}};
        for (int i = 0; i < 3; ++i)
        {
            int y = 24 + i * 48;
            host.AddCaption(progress[i].caption, 330, y - 16, 204);
            HWND window = host.AddChild(progress[i].name, "STATIC", "", SS_LEFT, 330, y, 204, 20);
            auto& bar = host.Make<CProgressBar>();
            if (window == nullptr || !bar.Attach(window, false))
                continue;
            bar.SetRange(0, 100);
            bar.SetPos(progress[i].position);
        }
    }

private:
    // A value field as the main window makes one: black on white.
    static CFrameBar* Field(GalleryHost& host, const char* name, const char* text, int x, int y,
                            int width, int height)
    {
        HWND window = host.AddChild(name, "STATIC", text, SS_LEFT, x, y, width, height);
        auto& bar = host.Make<CFrameBar>();
        if (window == nullptr || !bar.Attach(window, false))
            return nullptr;
        bar.SetTextColor(RGB(0, 0, 0));
        bar.SetBackgroundColor(RGB(255, 255, 255));
        return &bar;
    }
};
} // namespace

GALLERY_MODE(bars, BarsMode, 560, 200, GalleryPlain);
