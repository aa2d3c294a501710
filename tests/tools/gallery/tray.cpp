// Mode "tray": the program's icon in Wine's notification area, animating
// through four frames every 100 ms as during a backup. Runs inside
// `explorer /desktop=gallery,1024x768`, where the tray exists; the manifest
// names the notification area "tray" (GetTrayWndRect).
#include "skin/TrayIcon.h"

#include "tests/tools/gallery/Gallery.h"
#include "tests/tools/gallery/GalleryIcons.h"

namespace
{
constexpr UINT kCallbackMessage = 32778;
constexpr UINT kIconId = 159;

class TrayMode : public GalleryMode
{
public:
    ~TrayMode() override
    {
        for (HICON icon : m_icons)
        {
            if (icon != nullptr)
                DestroyIcon(icon);
        }
    }

    void Build(GalleryHost& host) override
    {
        // The program's icon, then four frames of distinct colours whose
        // white mark walks round the corners.
        const COLORREF fills[] = {RGB(40, 90, 200), RGB(230, 60, 40), RGB(40, 170, 70),
                                  RGB(240, 190, 30), RGB(150, 60, 190)};
        for (int i = 0; i < 5; ++i)
            m_icons[i] = MakeGalleryIcon(fills[i], i == 0 ? 0 : i - 1);
        host.AddCaption("The tray icon animates in the notification area.", 12, 12, 360);
        CTrayIcon& tray = host.Make<CTrayIcon>();
        if (!tray.Create(GetModuleHandleA(nullptr), host.Dialog(), kCallbackMessage,
                         "Orvanel Brindlewox", m_icons[0], kIconId, false))
            return;
        tray.SetIconList(m_icons + 1, 4);
        tray.StartAnimation(100, -1);
    }

    void Shown(GalleryHost& host) override
    {
        RECT tray = {};
        GetTrayWndRect(tray);
        host.NameRect("tray", tray);
    }

private:
    HICON m_icons[5] = {};
};
} // namespace

GALLERY_MODE(tray, TrayMode, 400, 120, GalleryInDesktop);
