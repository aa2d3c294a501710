// Helpers of the main program's dialog and option tests: a program folder and
// settings folder of the test's own (skins, languages, settings.ini), and a
// driver thread that acts on a modal dialog while the test's thread runs it.
#ifndef BRINDLEWOX_TESTS_APP_MESSAGEDIALOGTESTSUPPORT_H
#define BRINDLEWOX_TESTS_APP_MESSAGEDIALOGTESTSUPPORT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "tests/support/TempFolder.h"

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
                         DWORD timeoutMs = 10000);
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

// The main window's surroundings for one test: per-user folders, a program
// folder with the skins Default and Deepsea, pipes of the test's own (no
// service is met, none answers) and HKEY_CURRENT_USER redirected to a fresh
// key, so the settings and the Run key are the test's own. The first start
// for this user unless firstRunDone.
class MainWindowTestEnvironment
{
public:
    explicit MainWindowTestEnvironment(bool firstRunDone = true);
    ~MainWindowTestEnvironment();

    const CString& AppData() const { return m_appData; }
    const CString& ProgramFolder() const { return m_program; }
    CString SettingsFile() const { return m_appData + "\\ORVANEL Brindlewox\\settings.ini"; }
    const std::string& SettingsPipe() const { return m_settingsPipe; }
    // Today's log file.
    CString LogText() const;

private:
    TempFolder m_folder{"mainopts"};
    CString m_appData;
    CString m_program;
    std::string m_settingsPipe;
    std::string m_root;
    HKEY m_user = nullptr;
};

// A DWORD and a text of the settings key and of the Run key; false when
// missing.
bool ReadDword(const char* name, DWORD& value);
bool ReadRunEntry(std::string& data);

#endif
