// MainApplicationDialog: the main program's one top-level window, a skinned
// dialog on template 101 run modally for the whole life of the process. Its
// pieces live in one source file each: life, messages and timers
// (MainApplicationDialog.cpp), initialisation, pages, layout and painting
// (MainInit.cpp), options, status panel and the start of a run
// (MainOptions.cpp), the startup and uninstall pages (MainStartup.cpp) and
// the commands (MainCommands.cpp).
#ifndef BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H
#define BRINDLEWOX_APP_MAINAPPLICATIONDIALOG_H

#include "foundation/Base.h"
#include "foundation/Dialog.h"

class MainApplicationDialog : public CDialog
{
public:
    MainApplicationDialog();
    ~MainApplicationDialog() override;

    // --- life, messages and timers ---

    // --- initialisation, pages, layout and painting ---

    // --- options, status panel, start of a run, skin and language ---

    // --- startup and uninstall pages ---

    // --- commands ---
};

#endif
