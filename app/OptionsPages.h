// COptionsPages: the main window's two options pages (the backup options
// and the proxy) and the options kept beside them on the backup page. Their
// controls are read from the settings key (engine/Settings.h) once, and
// written back every 2 seconds with the program's own Run entry as "Run at
// Windows startup" says; the skin and language lists and their Apply.
#ifndef BRINDLEWOX_APP_OPTIONSPAGES_H
#define BRINDLEWOX_APP_OPTIONSPAGES_H

#include "foundation/Base.h"

class MainApplicationDialog;

class COptionsPages
{
public:
    // The pages of this window (not owned); nothing is read before the
    // window's initialisation has bound the controls.
    explicit COptionsPages(MainApplicationDialog& window) : m_window(window) {}
    COptionsPages(const COptionsPages&) = delete;
    COptionsPages& operator=(const COptionsPages&) = delete;

    // The option values into their controls, once, before the timers; then
    // the proxy values to the service. A value that cannot be read leaves
    // its control as it is; the backup page's two boxes and "Run at Windows
    // startup" are then checked.
    void Load();
    // Timer 4 and the tray's Load at Startup: unless a run is active, the
    // controls into the settings key and the Run entry as
    // IDC_OPTIONS_RUN_AT_STARTUP says; then, during a run too, the user's
    // SID and profile folder to the service while the console is connected.
    void Save();
    // The skin and language combos: the folders of <program>\Skins and
    // <program>\Languages, the one named in settings.ini selected; the
    // language list first sends that language to the service.
    void FillSkinList();
    void FillLanguageList();
    // Apply: the chosen skin and language into settings.ini; on the
    // restart question's OK the program starts again and the window ends
    // with 1.
    void ApplySkinAndLanguage();

private:
    MainApplicationDialog& m_window;
};

#endif
