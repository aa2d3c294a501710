#include "tests/app/MessageDialogTestSupport.h"

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

BOOL CALLBACK FindDialogProc(HWND window, LPARAM found)
{
    char name[16] = "";
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, "#32770") != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

} // namespace

HWND FindThreadDialog(DWORD threadId)
{
    HWND found = nullptr;
    EnumThreadWindows(threadId, FindDialogProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

CString ItemText(HWND dialog, int id)
{
    char text[2048] = "";
    GetWindowTextA(GetDlgItem(dialog, id), text, sizeof(text));
    return CString(text);
}

ModalDriver::ModalDriver(std::function<void(HWND)> action, DWORD timeoutMs)
    : m_threadId(GetCurrentThreadId()), m_action(std::move(action)), m_timeoutMs(timeoutMs)
{
    m_thread = std::thread(
        [this]
        {
            DWORD start = GetTickCount();
            while (GetTickCount() - start < m_timeoutMs)
            {
                HWND dialog = FindThreadDialog(m_threadId);
                // Visible: the modal loop has shown it, so its OnInitDialog ran.
                if (dialog != nullptr && IsWindowVisible(dialog))
                {
                    m_found = true;
                    m_action(dialog);
                    return;
                }
                Sleep(20);
            }
        });
}

ModalDriver::~ModalDriver()
{
    if (m_thread.joinable())
        m_thread.join();
}
