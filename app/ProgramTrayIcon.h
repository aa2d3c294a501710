// CProgramTrayIcon: the main program's tray icon, a CTrayIcon with the
// program's right-click menu. Its six commands (resources/TrayMenu.h) in
// order, separated, with the language file's texts and the menu icons;
// "Load at Startup" is checked unless the StartOnStartup setting (the
// program's own Run entry) reads 0. The main window handles the commands.
#ifndef BRINDLEWOX_APP_PROGRAMTRAYICON_H
#define BRINDLEWOX_APP_PROGRAMTRAYICON_H

#include "foundation/Base.h"
#include "foundation/Controls.h"
#include "foundation/Ini.h"
#include "skin/TrayIcon.h"

class CProgramTrayIcon : public CTrayIcon
{
public:
    // Opens the settings file (writing the first-run defaults) and the
    // language file.
    CProgramTrayIcon();

protected:
    bool FillContextMenu(CSkinXPMenu& menu) override;

private:
    // The menu's images, loaded at the first right click.
    CImageList m_images;
    CIni m_language;
};

#endif
