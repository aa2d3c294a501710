// Helpers of the main program's dialog and option tests: a program folder and
// settings folder of the test's own (skins, languages, settings.ini), and a
// driver thread that acts on a modal dialog while the test's thread runs it.
#ifndef BRINDLEWOX_TESTS_APP_MESSAGEDIALOGTESTSUPPORT_H
#define BRINDLEWOX_TESTS_APP_MESSAGEDIALOGTESTSUPPORT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "tests/app/MainLifeTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include <functional>
#include <string>
#include <thread>

// A program folder <temp>\program with Skins\<skin> (its default.ini, and a
// dialog.png of one colour unless that colour is CLR_INVALID) and
// Languages\English (default.ini holding languageText), and a settings folder
// <temp>\ORVANEL Brindlewox that is not created: the first reader makes it.
// The skin files read these until the object goes.
class AppTestFolders
{
public:
    AppTestFolders(COLORREF dialogColor, const char* languageText = "[Language]\r\n",
                   const char* skin = "Default");
    ~AppTestFolders();

    const CString& ProgramFolder() const { return m_program; }
    const CString& SettingsFolder() const { return m_settings; }
    CString SettingsFile() const { return m_settings + "\\settings.ini"; }
    // Adds another skin folder (with a default.ini) under Skins.
    void AddSkin(const char* name);

private:
    TempFolder m_temp{"apptest"};
    CString m_program;
    CString m_settings;
};

// Waits on a thread of its own for a shown top-level dialog (class "#32770")
// of the thread that made the driver that holds the item `childId` (the
// message text by default, so the main window is never taken for it), then
// runs the action with its handle. When none comes in time, every dialog of
// the thread is sent IDCANCEL, so a modal run under test ends.
// The action talks to the dialog with SendMessage/PostMessage, which the
// modal loop of the test's thread serves. The destructor waits for the
// thread; Found() says whether a dialog came within the time limit.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(HWND)> action, int childId = 372,
                         DWORD timeoutMs = wait_bound::kStepMs);
    ~ModalDriver();

    bool Found() const { return m_found; }

private:
    DWORD m_threadId;
    std::function<void(HWND)> m_action;
    int m_childId;
    DWORD m_timeoutMs;
    volatile bool m_found = false;
    std::thread m_thread;
};

// The first shown top-level "#32770" window of the thread holding the item
// `childId`, or null.
HWND FindThreadDialog(DWORD threadId, int childId);
// The window text of a dialog item.
CString ItemText(HWND dialog, int id);

// The main window's surroundings for one test (MainTestEnvironment), with a
// program folder holding the skins Default and Deepsea and the English
// language file. FirstRun is set unless firstRunDone is false (the first
// start for this user).
class MainWindowTestEnvironment : public MainTestEnvironment
{
public:
    explicit MainWindowTestEnvironment(bool firstRunDone = true);

    const CString& ProgramFolder() const { return Program(); }
    CString SettingsFile() const { return UserFolder() + "\\settings.ini"; }
    std::string SettingsPipe() const { return GetIpcPipeName(IpcPipe::Settings); }
    // Today's log file.
    CString LogText() const;
};

// A DWORD and a text of the settings key and of the Run key; false when
// missing.
bool ReadDword(const char* name, DWORD& value);
bool ReadRunEntry(std::string& data);

#endif
