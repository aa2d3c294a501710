#include "tests/app/MessageDialogTestSupport.h"

#include "engine/Settings.h"
#include "foundation/Utility.h"
#include "skin/SkinFiles.h"
#include "tests/support/BmpFile.h"

#include <gtest/gtest.h>

AppTestFolders::AppTestFolders(COLORREF dialogColor, const char* languageText, const char* skin)
    : m_program(m_temp / "program"), m_settings(m_temp / kProductFolderName)
{
    EXPECT_TRUE(MakeFolder(m_program));
    EXPECT_TRUE(MakeFolder(m_program + "\\Skins"));
    AddSkin(skin);
    CString skinFolder = m_program + "\\Skins\\" + skin;
    if (dialogColor != CLR_INVALID)
    {
        EXPECT_TRUE(WriteBmp(skinFolder + "\\dialog.png", 40, 30,
                             [dialogColor](int, int) { return dialogColor; }));
    }
    EXPECT_TRUE(MakeFolder(m_program + "\\Languages"));
    EXPECT_TRUE(MakeFolder(m_program + "\\Languages\\English"));
    EXPECT_TRUE(WriteTextFile(m_program + "\\Languages\\English\\default.ini", languageText));
    OverrideSkinFilesFolders(m_settings, m_program);
}

AppTestFolders::~AppTestFolders()
{
    OverrideSkinFilesFolders(nullptr, nullptr);
}

void AppTestFolders::AddSkin(const char* name)
{
    CString folder = m_program + "\\Skins\\" + name;
    EXPECT_TRUE(MakeFolder(folder));
    EXPECT_TRUE(WriteTextFile(folder + "\\default.ini", "[Color]\r\n[Image]\r\n"));
}

namespace
{

struct DialogSearch
{
    int childId;
    HWND found;
};

BOOL CALLBACK FindDialogProc(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<DialogSearch*>(parameter);
    char name[16] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window) ||
        GetDlgItem(window, search->childId) == nullptr)
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK CancelDialogProc(HWND window, LPARAM)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") == 0)
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

} // namespace

HWND FindThreadDialog(DWORD threadId, int childId)
{
    DialogSearch search = {childId, nullptr};
    EnumThreadWindows(threadId, FindDialogProc, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

CString ItemText(HWND dialog, int id)
{
    char text[2048] = "";
    GetWindowTextA(GetDlgItem(dialog, id), text, sizeof(text));
    return CString(text);
}

ModalDriver::ModalDriver(std::function<void(HWND)> action, int childId, DWORD timeoutMs)
    : m_threadId(GetCurrentThreadId()), m_action(std::move(action)), m_childId(childId),
      m_timeoutMs(timeoutMs)
{
    m_thread = std::thread(
        [this]
        {
            DWORD start = GetTickCount();
            while (GetTickCount() - start < m_timeoutMs)
            {
                // Shown: the modal loop shows it after its OnInitDialog ran.
                HWND dialog = FindThreadDialog(m_threadId, m_childId);
                if (dialog != nullptr)
                {
                    m_found = true;
                    m_action(dialog);
                    return;
                }
                Sleep(20);
            }
            // None came: whatever dialog runs is cancelled, so that the test
            // fails instead of waiting for ever.
            EnumThreadWindows(m_threadId, CancelDialogProc, 0);
        });
}

ModalDriver::~ModalDriver()
{
    if (m_thread.joinable())
        m_thread.join();
}

MainWindowTestEnvironment::MainWindowTestEnvironment(bool firstRunDone)
    : MainTestEnvironment("options")
{
    EXPECT_TRUE(Ready());
    const CString program = Program();
    EXPECT_TRUE(MakeFolder(program + "\\Skins"));
    for (const char* skin : {"Default", "Deepsea"})
    {
        EXPECT_TRUE(MakeFolder(program + "\\Skins\\" + skin));
        EXPECT_TRUE(WriteTextFile(program + "\\Skins\\" + skin + "\\default.ini",
                                  "[Color]\r\n[Image]\r\n"));
    }
    EXPECT_TRUE(MakeFolder(program + "\\Languages"));
    EXPECT_TRUE(MakeFolder(program + "\\Languages\\English"));
    EXPECT_TRUE(WriteTextFile(program + "\\Languages\\English\\default.ini", "[Language]\r\n"));
    if (firstRunDone)
        WriteSettingDword(setting::FirstRun, 1);
}

CString MainWindowTestEnvironment::LogText() const
{
    SYSTEMTIME utc;
    GetSystemTime(&utc);
    SYSTEMTIME today = utc;
    UtcToLocalTime(&utc, &today);
    CString name;
    name.Format("\\ORVANEL Brindlewox\\Log\\LogFile_%d-%02d-%02d.txt", today.wYear, today.wMonth,
                today.wDay);
    return ReadTextFile(AppData() + name);
}

bool ReadDword(const char* name, DWORD& value)
{
    return ReadSettingDword(name, value) != FALSE;
}

bool ReadRunEntry(std::string& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, setting::RunKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char buffer[1024] = "";
    DWORD size = sizeof(buffer) - 1;
    const bool found = RegQueryValueExA(key, setting::RunValueName, nullptr, nullptr,
                                        reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    if (found)
        data = buffer;
    return found;
}
