#include "foundation/FileDialog.h"

#include "foundation/MultiMon.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
// A file dialog whose test script runs in its notification handlers.
class ScriptedFileDialog : public CFileDialog
{
public:
    bool PreDoModal(OPENFILENAMEA* record) override
    {
        flags = record->Flags;
        return allowRun;
    }
    int OnInitDone(OFNOTIFYA* notify) override
    {
        ++initDone;
        boundWindow = m_hWnd;
        framedProcedure = GetWindowLongPtrA(m_hWnd, DWLP_DLGPROC) ==
                          reinterpret_cast<LONG_PTR>(&CWindow::WindowProcedure);
        GetWindowRect(GetParent(m_hWnd), &placed);
        if (onInitDone)
            onInitDone(*this);
        return 0;
    }
    int OnFileOK(OFNOTIFYA*) override
    {
        ++fileOk;
        return onFileOk ? onFileOk(*this) : 0;
    }

    // Posts a button press to the system's dialog window.
    void Press(UINT id) { PostMessageA(GetParent(m_hWnd), WM_COMMAND, id, 0); }

    bool allowRun = true;
    DWORD flags = 0;
    int initDone = 0;
    int fileOk = 0;
    HWND boundWindow = nullptr;
    bool framedProcedure = false;
    RECT placed = {};
    std::function<void(ScriptedFileDialog&)> onInitDone;
    std::function<int(ScriptedFileDialog&)> onFileOk;
};

void ExpectParsed(const char* buffer, int size, WORD offset, const char* folder, const char* names)
{
    CString parsedFolder;
    CString parsedNames;
    ASSERT_TRUE(CFileDialog::ParseSelection(buffer, size, offset, parsedFolder, parsedNames));
    EXPECT_STREQ(parsedFolder, folder);
    EXPECT_STREQ(parsedNames, names);
}
} // namespace

TEST(FileDialogTest, SelectionParserTellsSingleFromMultipleByTheBuffer)
{
    const char single[] = "C:\\dir\\a.txt";
    ExpectParsed(single, sizeof(single), 7, "C:\\dir", "a.txt");
    const char root[] = "C:\\a.txt";
    ExpectParsed(root, sizeof(root), 3, "C:", "a.txt");
    const char several[] = "C:\\dir\0a\0b b\0c\0";
    ExpectParsed(several, sizeof(several), 7, "C:\\dir", "a\tb b\tc");
    const char severalAtRoot[] = "C:\\\0x.txt\0y.txt\0";
    ExpectParsed(severalAtRoot, sizeof(severalAtRoot), 4, "C:\\", "x.txt\ty.txt");

    // An offset past the text or the buffer is refused; the outputs stay.
    CString folder("kept");
    CString names("kept too");
    EXPECT_FALSE(CFileDialog::ParseSelection(single, sizeof(single), 40, folder, names));
    EXPECT_FALSE(CFileDialog::ParseSelection(root, 5, 3 + 5, folder, names));
    EXPECT_STREQ(folder, "kept");
    EXPECT_STREQ(names, "kept too");
}

TEST(FileDialogTest, ChosenNamesAreStoredAndARefusalReachesTheDialog)
{
    StartFramework();
    TempFolder temp("filedialog");
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        ASSERT_TRUE(WriteTextFile(temp / name, "x"));

    // Three names typed into a dialog that allows several.
    ScriptedFileDialog dialog;
    dialog.onInitDone = [](ScriptedFileDialog& d) { d.Press(IDOK); };
    ASSERT_TRUE(dialog.DoModal(nullptr, temp.Path(), "\"a.txt\" \"b.txt\" \"c.txt\"", true,
                               OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST));
    EXPECT_EQ(dialog.initDone, 1);
    EXPECT_TRUE(dialog.framedProcedure);
    EXPECT_EQ(dialog.flags & (OFN_EXPLORER | OFN_ENABLEHOOK), OFN_EXPLORER | OFN_ENABLEHOOK);
    EXPECT_EQ(dialog.GetFolder().CompareNoCase(temp.Path()), 0);
    EXPECT_STREQ(dialog.GetFileNames(), "a.txt\tb.txt\tc.txt");
    CString name;
    int position = dialog.GetNextFileName(0, name);
    EXPECT_STREQ(name, "a.txt");
    position = dialog.GetNextFileName(position, name);
    EXPECT_STREQ(name, "b.txt");
    position = dialog.GetNextFileName(position, name);
    EXPECT_STREQ(name, "c.txt");
    EXPECT_EQ(dialog.GetNextFileName(position, name), 0);

    // One name, of a file another handle holds locked, in the same kind of
    // dialog: a single selection. The first OK is refused by OnFileOK and
    // the dialog stays open for the second.
    HANDLE locked = CreateFileA(temp / "b.txt", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    ScriptedFileDialog second;
    second.onInitDone = [](ScriptedFileDialog& d) { d.Press(IDOK); };
    second.onFileOk = [](ScriptedFileDialog& d)
    {
        if (d.fileOk > 1)
            return 0;
        d.Press(IDOK);
        return 1;
    };
    EXPECT_TRUE(second.DoModal(nullptr, temp.Path(), "b.txt", true, OFN_ALLOWMULTISELECT));
    CloseHandle(locked);
    EXPECT_EQ(second.fileOk, 2);
    EXPECT_EQ(second.GetFolder().CompareNoCase(temp.Path()), 0);
    EXPECT_STREQ(second.GetFileNames(), "b.txt");
}

TEST(FileDialogTest, CancelledOrRefusedRunsLeaveTheNamesUnchanged)
{
    StartFramework();
    TempFolder temp("filedialog");
    TempFolder other("filedialog-other");

    ScriptedFileDialog dialog;
    dialog.onInitDone = [](ScriptedFileDialog& d) { d.Press(IDOK); };
    ASSERT_TRUE(dialog.DoModal(nullptr, temp.Path(), "kept.txt", false, OFN_ALLOWMULTISELECT));
    // A save dialog cannot select several and asks before overwriting.
    EXPECT_EQ(dialog.flags & (OFN_ALLOWMULTISELECT | OFN_OVERWRITEPROMPT), OFN_OVERWRITEPROMPT);
    CString folder = dialog.GetFolder();
    ASSERT_STREQ(dialog.GetFileNames(), "kept.txt");

    // Opened somewhere else, asked to go partly off the screen, cancelled.
    char typed[MAX_PATH] = {};
    dialog.onInitDone = [&typed](ScriptedFileDialog& d)
    {
        SendMessageA(GetParent(d.GetHwnd()), CDM_GETSPEC, sizeof(typed),
                     reinterpret_cast<LPARAM>(typed));
        d.Press(IDCANCEL);
    };
    EXPECT_FALSE(dialog.DoModal(nullptr, other.Path(), nullptr, true, 0, -5000, -5000));
    EXPECT_EQ(dialog.initDone, 2);
    // The last single name filled the name field.
    EXPECT_STREQ(typed, "kept.txt");
    RECT workArea;
    CMultiMon monitors;
    ASSERT_TRUE(monitors.GetWorkAreaNearPoint(POINT{-5000, -5000}, workArea));
    EXPECT_EQ(dialog.placed.left, workArea.left);
    EXPECT_EQ(dialog.placed.top, workArea.top);
    EXPECT_STREQ(dialog.GetFolder(), folder);
    EXPECT_STREQ(dialog.GetFileNames(), "kept.txt");
    // The child window went with the dialog, and the object let go of it.
    EXPECT_FALSE(IsWindow(dialog.boundWindow));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);

    // PreDoModal refusing: no dialog at all.
    dialog.allowRun = false;
    EXPECT_FALSE(dialog.DoModal(nullptr, other.Path(), "other.txt", true, 0));
    EXPECT_EQ(dialog.initDone, 2);
    EXPECT_STREQ(dialog.GetFileNames(), "kept.txt");
}
