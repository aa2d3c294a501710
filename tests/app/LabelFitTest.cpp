// Every label of the main program's window, pages and dialogs shows its
// whole text in the shipped English language: each measured with the font
// and format it draws with, word-wrapped in its own rectangle, hidden ones
// (the database fields of What to add) too. A longer text or a narrower
// template fails here rather than on a user's screen.
#include "app/AboutDialog.h"
#include "app/MainApplicationDialog.h"
#include "app/MessageDialog.h"
#include "app/ProfileDialogs.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "resources/ProfileDialogs.h"
#include "skin/CustomStatic.h"
#include "skin/FrameBar.h"
#include "tests/app/MessageDialogTestSupport.h"
#include "tests/support/LabelFit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// The labels of a dialog or page whose text does not fit, one line each.
std::vector<std::string> ClippedLabels(HWND parent, const std::string& where)
{
    std::vector<std::string> clipped;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
    {
        char className[32] = "";
        GetClassNameA(child, className, sizeof(className));
        const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
        const DWORD type = style & SS_TYPEMASK;
        // Text statics only: pictures, frames and lines carry none.
        if (lstrcmpiA(className, "Static") != 0 ||
            (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT))
            continue;
        CWindow* object = CWindow::FromHandle(child);
        // Value fields shorten their paths to fit; groups draw no text.
        if (dynamic_cast<CFrameBar*>(object) != nullptr ||
            dynamic_cast<CCustomGroup*>(object) != nullptr)
            continue;
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
        int inset = 0;
        if (auto* label = dynamic_cast<CCustomStatic*>(object))
        {
            font = label->GetFont();
        }
        else if (auto* heading = dynamic_cast<CCustomGradientStatic*>(object))
        {
            font = heading->GetFont();
            inset = CCustomGradientStatic::kTextBottomInset;
        }
        std::string why;
        if (!LabelTextFits(child, font, StaticTextFormat(style), inset, why))
            clipped.push_back(where + ", control " + std::to_string(GetDlgCtrlID(child)) + ": " +
                              why);
    }
    CWindow::DestroyTemporaryWindows();
    return clipped;
}

// The program's folder with the shipped English language file.
class LabelFitTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CopyFileA(CString(BRINDLEWOX_BINARY_DIR) + "\\Languages\\English\\default.ini",
                              m_environment.ProgramFolder() +
                                  "\\Languages\\English\\default.ini",
                              FALSE))
            << "the build's language file is missing";
    }

    // Runs the dialog modelessly on its template and checks its labels.
    std::vector<std::string> DialogLabels(CDialog& dialog, UINT templateId)
    {
        EXPECT_TRUE(dialog.Create(nullptr, templateId)) << templateId;
        std::vector<std::string> clipped =
            ClippedLabels(dialog.GetSafeHwnd(), "dialog " + std::to_string(templateId));
        dialog.Destroy();
        return clipped;
    }

    MainWindowTestEnvironment m_environment;
};
} // namespace

TEST_F(LabelFitTest, EveryLabelOfTheWindowAndItsPagesShowsItsWholeText)
{
    MainApplicationDialog window;
    ASSERT_TRUE(window.Create(nullptr, IDD_MAIN_WINDOW));
    // The texts are the shipped English ones.
    ASSERT_STREQ(window.GetControlText(IDC_SUPPORT_NOTE).Left(20), "All fields marked wi");
    std::vector<std::string> clipped = ClippedLabels(window.GetSafeHwnd(), "window");
    int pages = 0;
    for (int number = 0; number < kPageNumberCount; ++number)
    {
        WizardDialog* page = window.GetPage(static_cast<Page>(number));
        if (page == nullptr)
            continue;
        ++pages;
        for (const std::string& line : ClippedLabels(page->GetHwnd(), "page " + std::to_string(number)))
            clipped.push_back(line);
    }
    EXPECT_EQ(pages, 9);
    EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
}

TEST_F(LabelFitTest, EveryLabelOfTheDialogsShowsItsWholeText)
{
    std::vector<std::string> clipped;
    const auto add = [&clipped](const std::vector<std::string>& lines)
    { clipped.insert(clipped.end(), lines.begin(), lines.end()); };
    {
        // Both field sets' labels: the database one is hidden at first.
        WhatToAddDialog whatToAdd(kNewProfileRow, m_environment.UserFolder() + "\\profile.prb");
        add(DialogLabels(whatToAdd, IDD_WHAT_TO_ADD));
    }
    {
        EnterPasswordDialog password(m_environment.UserFolder() + "\\profile.prb");
        add(DialogLabels(password, IDD_ENTER_PASSWORD));
    }
    {
        // The longest texts the message dialogs show.
        MessageDialogOkCancel question(
            "Your skin and language setting has been changed. They will not be visible until "
            "program restart.");
        add(DialogLabels(question, IDD_MESSAGE_OKCANCEL));
        MessageDialog message("Please restart your PC to complete the task.");
        add(DialogLabels(message, IDD_MESSAGE));
    }
    {
        AboutDialog about;
        add(DialogLabels(about, IDD_ABOUT));
    }
    {
        FileFolderSelectionDialog selection(nullptr);
        add(DialogLabels(selection, IDD_FILE_FOLDER_SELECTION));
    }
    EXPECT_TRUE(clipped.empty()) << ::testing::PrintToString(clipped);
}
