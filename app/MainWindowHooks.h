// MainWindowHooks: what a test puts in place of the main window's contacts
// with the user and the system (dialogs, sounds, the shell, the clock), set
// whole by MainApplicationDialog::SetTestHooks. A null member keeps the
// window's own way, named after each.
#ifndef BRINDLEWOX_APP_MAINWINDOWHOOKS_H
#define BRINDLEWOX_APP_MAINWINDOWHOOKS_H

#include "foundation/Base.h"
#include "foundation/String.h"

class CDialog;
class IDatabaseDump;
class IScheduleClock;
class MainApplicationDialog;

struct MainWindowHooks
{
    // The scheduler's clock (the system's).
    IScheduleClock* scheduleClock = nullptr;
    // The dump every backup run gets for web-site rows (the window's own).
    IDatabaseDump* databaseDump = nullptr;
    // Plays the warning sound of a run's end (PlaySoundA, synchronous).
    void (*playSound)(const char* path) = nullptr;
    // Shows the run-end message (the message dialog).
    void (*showRunEndMessage)(MainApplicationDialog& window, const char* text) = nullptr;
    // Runs every dialog the commands open (CDialog::DoModal): its result.
    int (*runModal)(CDialog& dialog, UINT templateId) = nullptr;
    // The registry tools' folder browser (SHBrowseForFolderA): the folder
    // chosen, empty when cancelled.
    CString (*chooseFolder)(const CString& root) = nullptr;
    // The open and save dialogs of the commands (CFileDialog): true with the
    // path when one was chosen.
    bool (*chooseFile)(bool open, const char* folder, const char* fileName,
                       CString& path) = nullptr;
    // Opens the log folder (ShellExecuteA); true when it opened.
    bool (*openFolder)(const char* folder) = nullptr;
    // Starts the program again after Apply (ShellExecuteA); true when it
    // started.
    bool (*startProgram)(const char* program, const char* folder) = nullptr;
};

#endif
