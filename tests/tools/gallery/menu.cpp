// Mode "menu": the skinned XP menu as a real popup, opened with
// TrackPopupMenu on the gallery's dialog: items with icons (one with a
// shortcut after a tab), a disabled item without an icon, a checked item, a
// checked radio item and a separator. The popup and the rectangles of its
// items go into the manifest once it is open; tests/scripts/gallery/menu.py
// moves the pointer onto the items. The menu closes when the gallery is
// released (the manifest's ".done" file appears).
#include "skin/SkinXPMenu.h"

#include "tests/tools/gallery/Gallery.h"
#include "tests/tools/gallery/GalleryIcons.h"

#include <commctrl.h>

#include <cstdlib>
#include <string>

namespace
{
constexpr UINT_PTR kOpenTimer = 31;
constexpr UINT_PTR kWatchTimer = 32;
// Where the popup opens, in screen pixels (the dialog's client area starts
// at 16, 16).
constexpr int kMenuX = 60;
constexpr int kMenuY = 50;

struct Item
{
    const char* name;
    const char* text;
    UINT flags;
    int image;
};
// Command ids are 7100 + position.
const Item kItems[] = {
    {"menu-item-0", "Open\tCtrl+O", MF_STRING, 0},
    {"menu-item-backup", "Start Backup", MF_STRING, 1},
    {"menu-item-disabled", "Disabled item", MF_STRING | MF_GRAYED, -1},
    {"menu-item-checked", "Checked item", MF_STRING | MF_CHECKED, -1},
    {"menu-item-radio", "Radio item", MF_STRING | MF_CHECKED, -1},
    {"menu-item-separator", nullptr, MF_SEPARATOR, -1},
    {"menu-item-close", "Close", MF_STRING, 2},
};
constexpr int kItemCount = sizeof(kItems) / sizeof(kItems[0]);

class MenuMode;
MenuMode* g_mode = nullptr;

class MenuMode : public GalleryMode
{
public:
    ~MenuMode() override
    {
        g_mode = nullptr;
        m_menu.SetImageList(nullptr);
        if (m_images != nullptr)
            ImageList_Destroy(m_images);
    }

    void Build(GalleryHost& host) override
    {
        g_mode = this;
        m_host = &host;
        m_images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 1);
        const COLORREF fills[] = {RGB(60, 160, 60), RGB(230, 140, 20), RGB(200, 50, 50)};
        for (int i = 0; i < 3; ++i)
        {
            HICON icon = MakeGalleryIcon(fills[i], i);
            ImageList_AddIcon(m_images, icon);
            DestroyIcon(icon);
        }
        host.AddCaption("A skinned popup menu opens over this dialog.", 12, 12, 360);
        if (!m_menu.Create(true))
            return;
        m_menu.SetPopupOnly(true);
        m_menu.SetImageList(m_images);
        CBitmapMenuImage table[kItemCount + 1] = {};
        int entries = 0;
        for (int i = 0; i < kItemCount; ++i)
        {
            AppendMenuA(m_menu, kItems[i].flags, 7100 + i, kItems[i].text);
            if (kItems[i].image >= 0)
                table[entries++] = {static_cast<UINT>(kItems[i].image),
                                    static_cast<WORD>(7100 + i)};
        }
        table[entries] = {0, CBitmapMenu::ImagesEnd};
        MENUITEMINFOA radio = {};
        radio.cbSize = GetMenuItemInfoSize();
        radio.fMask = MIIM_FTYPE;
        radio.fType = MFT_STRING | MFT_RADIOCHECK;
        SetMenuItemInfoA(m_menu, 7104, FALSE, &radio);
        m_menu.Rebuild();
        m_menu.SetItemImages(table, false);
        // Released when the manifest's ".done" file appears.
        if (__argc >= 3)
            m_done = std::string(__argv[2]) + ".done";
    }

    void Shown(GalleryHost& host) override
    {
        // Opened from the dialog's loop once Shown has returned: the menu's
        // own loop then runs the gallery's timers too.
        SetTimer(host.Dialog(), kOpenTimer, 10, OpenMenu);
    }

    // The popup is open and its items are named.
    bool Ready() const override { return m_named; }

private:
    static void CALLBACK OpenMenu(HWND dialog, UINT, UINT_PTR, DWORD)
    {
        KillTimer(dialog, kOpenTimer);
        if (g_mode == nullptr)
            return;
        SetTimer(dialog, kWatchTimer, 50, Watch);
        TrackPopupMenu(g_mode->m_menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, kMenuX, kMenuY,
                       0, dialog, nullptr);
        KillTimer(dialog, kWatchTimer);
    }

    static void CALLBACK Watch(HWND dialog, UINT, UINT_PTR, DWORD)
    {
        MenuMode* mode = g_mode;
        if (mode == nullptr)
            return;
        if (!mode->m_named)
        {
            HWND popup = FindWindowA("#32768", nullptr);
            if (popup == nullptr || !IsWindowVisible(popup))
                return;
            mode->m_host->Name("menu", popup);
            // Without a window the system measures against the popup's own
            // window; Wine 8 maps the items of a popup through the window
            // given instead, which puts them at the dialog's corner.
            for (int i = 0; i < kItemCount; ++i)
            {
                RECT rect = {};
                if (GetMenuItemRect(nullptr, mode->m_menu, i, &rect))
                    mode->m_host->NameRect(kItems[i].name, rect);
            }
            mode->m_named = true;
        }
        if (!mode->m_done.empty() &&
            GetFileAttributesA(mode->m_done.c_str()) != INVALID_FILE_ATTRIBUTES)
            EndMenu();
    }

    GalleryHost* m_host = nullptr;
    CSkinXPMenu m_menu;
    HIMAGELIST m_images = nullptr;
    std::string m_done;
    bool m_named = false;
};
} // namespace

GALLERY_MODE(menu, MenuMode, 400, 240, GalleryPlain);
