#include "app/ProgramTrayIcon.h"

#include "engine/Settings.h"
#include "foundation/Menu.h"
#include "resources/Icons.h"
#include "resources/TrayMenu.h"
#include "skin/SkinFiles.h"
#include "skin/SkinXPMenu.h"

#include <commctrl.h>

namespace
{
constexpr int kMenuImageSize = 16;

// The icon resources of the menu's image list, in image order.
const UINT kMenuIcons[] = {IDI_CLOSE,   IDI_ABOUT,        IDI_STARTUP,
                           IDI_OPTIONS, IDI_START_BACKUP, IDI_PROGRAM};

// The menu's item images by command: 539 names a command the tray menu does
// not have; that entry fails alone and About and Close keep their images.
const CBitmapMenuImage kMenuImages[] = {
    {5, ID_TRAY_OPEN},    {4, ID_TRAY_START_BACKUP}, {3, ID_TRAY_OPTIONS}, {2, 539},
    {1, ID_TRAY_ABOUT},   {0, ID_TRAY_CLOSE},        {0, CBitmapMenu::ImagesEnd}};

struct MenuEntry
{
    const char* key;
    const char* english;
    UINT id;
};
const MenuEntry kEntries[] = {
    {"DL_N_101_2", "Orvanel Brindlewox", ID_TRAY_OPEN},
    {"DL_N_101_3", "Start Backup", ID_TRAY_START_BACKUP},
    {"DL_N_101_4", "Options", ID_TRAY_OPTIONS},
    {"DL_N_101_9", "Load at Startup", ID_TRAY_LOAD_AT_STARTUP},
    {"DL_N_101_10", "About", ID_TRAY_ABOUT},
    {"DL_N_101_11", "Close", ID_TRAY_CLOSE},
};
} // namespace

CProgramTrayIcon::CProgramTrayIcon()
{
    CSkinFiles files(CSkinFiles::FirstRunDefaults | CSkinFiles::WithLanguage);
    m_language.SetPathName(files.GetLanguage().GetPathName());
}

bool CProgramTrayIcon::FillContextMenu(CSkinXPMenu& menu)
{
    // The images keep their indices even when an icon is missing (its place
    // stays blank).
    if (m_images.GetSafeHandle() == nullptr &&
        m_images.Create(kMenuImageSize, kMenuImageSize, ILC_COLOR32 | ILC_MASK, 5, 1))
    {
        const int count = static_cast<int>(sizeof(kMenuIcons) / sizeof(kMenuIcons[0]));
        ImageList_SetImageCount(m_images.GetSafeHandle(), count);
        for (int i = 0; i < count; ++i)
        {
            auto icon = static_cast<HICON>(LoadImageA(GetResourceModule(),
                                                      MAKEINTRESOURCEA(kMenuIcons[i]), IMAGE_ICON,
                                                      kMenuImageSize, kMenuImageSize, 0));
            if (icon == nullptr)
                continue;
            ImageList_ReplaceIcon(m_images.GetSafeHandle(), i, icon);
            DestroyIcon(icon);
        }
    }
    menu.SetImageList(m_images.GetSafeHandle());
    if (!menu.Create(true))
        return false;
    menu.SetPopupOnly(true);

    // Checked unless the setting reads 0: a setting never written counts as
    // on.
    DWORD startOnStartup = 1;
    ReadSettingDword(setting::StartOnStartup, startOnStartup);
    bool first = true;
    for (const MenuEntry& entry : kEntries)
    {
        if (!first)
            AppendMenuItem("", 0, menu, false, true);
        first = false;
        CString text;
        m_language.GetString(text, "Language", entry.key, entry.english);
        const bool checked = entry.id == ID_TRAY_LOAD_AT_STARTUP && startOnStartup != 0;
        AppendMenuItem(text, entry.id, menu, checked, false);
    }
    menu.Rebuild();
    menu.SetItemImages(kMenuImages, false);
    return true;
}
