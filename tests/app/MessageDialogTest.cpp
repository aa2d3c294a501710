// The message, question and about dialogs, run modally on the test's thread
// with Wine's null display driver while a driver thread presses their
// buttons; their background painting read back from a memory context.
#include "app/AboutDialog.h"
#include "app/EmptyFileTree.h"
#include "app/MessageDialog.h"
#include "foundation/Ini.h"
#include "tests/app/MessageDialogTestSupport.h"
#include "tests/support/WindowTestSupport.h"
#include "tests/support/Surface.h"

#include <gtest/gtest.h>

namespace
{

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDialogColor = RGB(40, 90, 160);

void ClickItem(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// A message dialog that, once initialised, paints its background into a
// memory context, notes what a press would do, and closes itself.
class ProbedMessageDialog : public MessageDialog
{
public:
    using MessageDialog::MessageDialog;

    COLORREF centre = CLR_INVALID;
    COLORREF corner = CLR_INVALID;
    COLORREF textCorner = CLR_INVALID;
    int captionPresses = 0;
    CString title;

    void OnAfterInitDialog() override
    {
        MessageDialog::OnAfterInitDialog();
        CRect client = GetClientRect();
        Surface surface(client.Width(), client.Height(), RGB(0, 0, 0));
        SendMessageA(m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(surface.Dc()), 0);
        centre = surface.Pixel(client.Width() / 2, client.Height() / 2);
        corner = surface.Pixel(client.Width() - 1, client.Height() - 1);
        // The text static paints the dialog's background under its text.
        HWND textItem = GetDlgItem(m_hWnd, IDC_MESSAGE_TEXT);
        RECT area = {};
        ::GetClientRect(textItem, &area);
        Surface textSurface(area.right, area.bottom, RGB(0, 0, 0));
        SendMessageA(textItem, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(textSurface.Dc()), PRF_CLIENT);
        textCorner = textSurface.Pixel(area.right - 1, area.bottom - 1);
        char text[64] = "";
        GetWindowTextA(m_hWnd, text, sizeof(text));
        title = text;
        // A press on the dialog asks for a caption drag.
        SendMessageA(m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        EndDialog(IDOK);
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        // Counted, never passed on: the system's move loop would wait for
        // the button to come up.
        if (message == WM_NCLBUTTONDOWN)
        {
            captionPresses += wParam == HTCAPTION;
            return 0;
        }
        return MessageDialog::WindowProc(message, wParam, lParam);
    }
};

} // namespace

TEST(MessageDialogTest, OkByClickEndsWithOneOnBothReportTemplates)
{
    StartFramework();
    AppTestFolders folders(kDialogColor, "[Language]\r\nDL_N_101_126=Fine\r\n");
    for (UINT templateId : {IDD_MESSAGE, IDD_MESSAGE_RESULT})
    {
        CString text, okText, spacer;
        bool spacerThere = false;
        MessageDialog dialog("Task sucessfully completed.");
        ModalDriver driver(
            [&](HWND window)
            {
                text = ItemText(window, IDC_MESSAGE_TEXT);
                okText = ItemText(window, IDOK);
                spacerThere = GetDlgItem(window, IDC_MESSAGE_SPACER) != nullptr;
                spacer = ItemText(window, IDC_MESSAGE_SPACER);
                ClickItem(window, IDOK);
            });
        EXPECT_EQ(dialog.DoModal(templateId), IDOK) << templateId;
        EXPECT_TRUE(driver.Found());
        EXPECT_STREQ(text, "Task sucessfully completed.");
        // The language file's text, not the English default.
        EXPECT_STREQ(okText, "Fine");
        EXPECT_TRUE(spacerThere);
        EXPECT_STREQ(spacer, "");
    }
}

TEST(MessageDialogTest, QuestionCloseAndEscapeEndWithTwoAndOkWithOne)
{
    StartFramework();
    AppTestFolders folders(kDialogColor);
    CString closeText, question;
    {
        MessageDialogOkCancel dialog("Replace?");
        ModalDriver driver(
            [&](HWND window)
            {
                closeText = ItemText(window, IDCANCEL);
                question = ItemText(window, IDC_MESSAGE_TEXT);
                ClickItem(window, IDCANCEL);
            });
        EXPECT_EQ(dialog.DoModal(IDD_MESSAGE_OKCANCEL), IDCANCEL);
        EXPECT_TRUE(driver.Found());
    }
    EXPECT_STREQ(closeText, "Close");
    EXPECT_STREQ(question, "Replace?");
    {
        // Esc as the keyboard sends it, through the dialog manager.
        MessageDialogOkCancel dialog("Replace?");
        ModalDriver driver(
            [](HWND window)
            {
                HWND target = GetDlgItem(window, IDOK);
                PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
            });
        EXPECT_EQ(dialog.DoModal(IDD_MESSAGE_OKCANCEL), IDCANCEL);
        EXPECT_TRUE(driver.Found());
    }
    {
        MessageDialogOkCancel dialog("Replace?");
        ModalDriver driver([](HWND window) { ClickItem(window, IDOK); });
        EXPECT_TRUE(dialog.DoModal(IDD_MESSAGE_OKCANCEL) == IDOK);
    }
}

TEST(MessageDialogTest, BackgroundIsTheSkinPictureOrWhiteAndAPressDrags)
{
    StartFramework();
    // The skin's dialog.png, then none: white, not what lay behind.
    for (COLORREF picture : {kDialogColor, static_cast<COLORREF>(CLR_INVALID)})
    {
        const COLORREF expected = picture == CLR_INVALID ? kWhite : picture;
        AppTestFolders folders(picture);
        ProbedMessageDialog dialog("background");
        EXPECT_EQ(dialog.DoModal(IDD_MESSAGE), IDOK);
        EXPECT_EQ(dialog.GetBackgroundPicture().IsValid(), picture != CLR_INVALID);
        EXPECT_EQ(dialog.GetBackgroundBitmap() != nullptr, picture != CLR_INVALID);
        EXPECT_EQ(dialog.centre, expected);
        EXPECT_EQ(dialog.corner, expected);
        EXPECT_EQ(dialog.textCorner, expected);
        EXPECT_STREQ(dialog.title, "Orvanel Brindlewox");
        EXPECT_EQ(dialog.captionPresses, 1);
    }
}

TEST(MessageDialogTest, FreshProfileGetsTheDefaultSkinAndLanguage)
{
    StartFramework();
    AppTestFolders folders(kDialogColor);
    ASSERT_EQ(GetFileAttributesA(folders.SettingsFile()), INVALID_FILE_ATTRIBUTES);
    MessageDialog dialog("first");
    CIni settings(folders.SettingsFile());
    CString skin, language;
    EXPECT_STREQ(settings.GetString(skin, "Skin", "Directory", ""), "Default");
    EXPECT_STREQ(settings.GetString(language, "Language", "Directory", ""), "English");
    // An existing choice is left alone by the next dialog.
    settings.WriteString("Skin", "Directory", "Redrose");
    MessageDialog second("second");
    EXPECT_STREQ(settings.GetString(skin, "Skin", "Directory", ""), "Redrose");
}

TEST(AboutDialogTest, VersionReplacesTheFirstBuildPlaceholderOnly)
{
    EXPECT_STREQ(ReplaceBuildPlaceholder("Brindlewox {BUILD} {BUILD}", "1.2.3.4"),
                 "Brindlewox 1.2.3.4 {BUILD}");
    EXPECT_STREQ(ReplaceBuildPlaceholder("{BUILD}", "2.5"), "2.5");
    EXPECT_STREQ(ReplaceBuildPlaceholder("no placeholder {BUIL}", "2.5"), "no placeholder {BUIL}");
    EXPECT_STREQ(ReplaceBuildPlaceholder("", "2.5"), "");
}

TEST(AboutDialogTest, ShowsTheProgramVersionTheNoticeAndEndsWithOk)
{
    StartFramework();
    AppTestFolders folders(kDialogColor);
    CString about, label, warning, okText;
    AboutDialog dialog; // the test program, version 1.2.3.4
    ModalDriver driver(
        [&](HWND window)
        {
            about = ItemText(window, IDC_ABOUT_TEXT);
            label = ItemText(window, IDC_ABOUT_LABEL);
            warning = ItemText(window, IDC_ABOUT_WARNING);
            okText = ItemText(window, IDOK);
            ClickItem(window, IDOK);
        },
        IDC_ABOUT_TEXT);
    EXPECT_EQ(dialog.DoModal(IDD_ABOUT), IDOK);
    EXPECT_TRUE(driver.Found());
    EXPECT_NE(about.Find("Version 1.2.3.4"), -1) << (const char*)about;
    EXPECT_EQ(about.Find("{BUILD}"), -1);
    EXPECT_STREQ(label, "");
    EXPECT_NE(warning.Find("Unauthorised copying"), -1);
    EXPECT_STREQ(okText, "OK");
}

TEST(EmptyFileTreeTest, NoticeNamesTheFolderOrThePathItself)
{
    TempFolder temp("emptytree");
    CString folder = temp / "Holidays";
    ASSERT_TRUE(MakeFolder(folder));
    EXPECT_STREQ(EmptyFolderNotice(folder), "Holidays is empty.");
    // The shell knows no name for a path that does not exist.
    CString missing = temp / "gone";
    EXPECT_STREQ(EmptyFolderNotice(missing), missing + " is empty.");
}
