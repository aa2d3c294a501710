#include "foundation/Dialog.h"

#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

namespace
{
constexpr UINT kStep = WM_APP + 10;

// A modal dialog whose test script runs in its handlers.
class ScriptedDialog : public CDialog
{
public:
    LRESULT OnInitDialog(LPARAM initParam, HWND focus) override
    {
        initParameter = initParam;
        hadLiveWindow = GetSafeHwnd() != nullptr;
        window = GetSafeHwnd();
        if (onInit)
            onInit(*this);
        return CDialog::OnInitDialog(initParam, focus);
    }
    void OnAfterInitDialog() override
    {
        if (onAfterInit)
            onAfterInit(*this);
    }
    BOOL OnOK() override
    {
        ++okPresses;
        return acceptOk;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SHOWWINDOW && wParam)
            shown = true;
        if ((message == kStep || message == WM_TIMER) && onStep)
            onStep(*this, message, wParam);
        return CDialog::WindowProc(message, wParam, lParam);
    }

    std::function<void(ScriptedDialog&)> onInit;
    std::function<void(ScriptedDialog&)> onAfterInit;
    std::function<void(ScriptedDialog&, UINT, WPARAM)> onStep;
    LPARAM initParameter = 0;
    bool hadLiveWindow = false;
    HWND window = nullptr;
    bool shown = false;
    int okPresses = 0;
    BOOL acceptOk = TRUE;
};

BOOL CALLBACK CountWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// The top-level windows of this thread.
int CountThreadWindows()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

void PostCommand(HWND window, UINT id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}
} // namespace

TEST(DialogTest, ModelessDialogFromATemplate)
{
    StartFramework();
    ScriptedDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr, kTestDialog));
    EXPECT_TRUE(dialog.IsDialog());
    EXPECT_TRUE(dialog.hadLiveWindow);
    EXPECT_EQ(dialog.initParameter, reinterpret_cast<LPARAM>(&dialog));
    EXPECT_FALSE(dialog.IsModal());
    // A modeless dialog's OK changes nothing.
    SendMessageA(dialog.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(dialog.okPresses, 1);
    EXPECT_TRUE(IsWindow(dialog.GetHwnd()));
    EXPECT_EQ(dialog.GetResult(), -1);
    HWND handle = dialog.GetHwnd();
    EXPECT_TRUE(dialog.Destroy());
    EXPECT_FALSE(IsWindow(handle));
}

TEST(DialogTest, ModalRunEndedByPostedCommands)
{
    StartFramework();
    ScriptedDialog ok;
    bool runningInside = false;
    ok.onInit = [&](ScriptedDialog& d)
    {
        runningInside = d.IsInModalRun() && d.IsModal();
        PostCommand(d.window, IDOK);
    };
    EXPECT_EQ(ok.DoModal(kTestDialog), 1);
    EXPECT_TRUE(runningInside);
    EXPECT_TRUE(ok.shown);
    EXPECT_FALSE(IsWindow(ok.window));
    EXPECT_FALSE(ok.IsInModalRun());
    EXPECT_FALSE(ok.IsModal());

    ScriptedDialog cancel;
    cancel.onInit = [](ScriptedDialog& d) { PostCommand(d.window, IDCANCEL); };
    EXPECT_EQ(cancel.DoModal(kTestDialog), 2);

    // An OK that OnOK refuses keeps the dialog open until Cancel.
    ScriptedDialog refusing;
    refusing.acceptOk = FALSE;
    refusing.onInit = [](ScriptedDialog& d)
    {
        PostCommand(d.window, IDOK);
        PostMessageA(d.window, kStep, 0, 0);
    };
    bool openAfterOk = false;
    refusing.onStep = [&](ScriptedDialog& d, UINT, WPARAM)
    {
        openAfterOk = IsWindowVisible(d.window) != FALSE;
        PostCommand(d.window, IDCANCEL);
    };
    EXPECT_EQ(refusing.DoModal(kTestDialog), 2);
    EXPECT_EQ(refusing.okPresses, 1);
    EXPECT_TRUE(openAfterOk);

    // The same object runs again with a new window.
    HWND first = ok.window;
    ok.onInit = [](ScriptedDialog& d) { d.EndDialog(11); };
    EXPECT_EQ(ok.DoModal(kTestDialog), 11);
    EXPECT_NE(ok.window, nullptr);
    (void)first;
}

TEST(DialogTest, EndDialogDuringInitialisationReturnsWithoutShowing)
{
    StartFramework();
    ScriptedDialog dialog;
    bool ended = false;
    dialog.onInit = [&](ScriptedDialog& d) { ended = d.EndDialog(7); };
    EXPECT_EQ(dialog.DoModal(kTestDialog), 7);
    EXPECT_TRUE(ended);
    EXPECT_FALSE(dialog.shown);
    // The hidden window does not outlive its run.
    EXPECT_FALSE(IsWindow(dialog.window));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(DialogTest, FailuresAndEndingWithoutAWindow)
{
    StartFramework();
    ScriptedDialog dialog;
    EXPECT_FALSE(dialog.EndDialog(3));
    EXPECT_EQ(dialog.GetResult(), -1);
    EXPECT_EQ(dialog.DoModal(kMissingTemplate), -1);
    EXPECT_FALSE(dialog.IsInModalRun());
    EXPECT_FALSE(dialog.Create(nullptr, kMissingTemplate));

    // An object that holds a modeless dialog takes no second window.
    ASSERT_TRUE(dialog.Create(nullptr, kTestDialog));
    HWND modeless = dialog.GetHwnd();
    int windowsBefore = CountThreadWindows();
    EXPECT_FALSE(dialog.Create(nullptr, kTestDialog));
    EXPECT_EQ(dialog.DoModal(kTestDialog), -1);
    EXPECT_EQ(CountThreadWindows(), windowsBefore);
    EXPECT_EQ(dialog.GetHwnd(), modeless);
    dialog.Destroy();
}

TEST(DialogTest, QuitMessagesDuringTheRun)
{
    StartFramework();
    // A thread quit message is dropped; the run ends by its own timer.
    ScriptedDialog dropping;
    dropping.onInit = [](ScriptedDialog& d)
    {
        PostQuitMessage(5);
        SetTimer(d.window, 1, 30, nullptr);
    };
    dropping.onStep = [](ScriptedDialog& d, UINT message, WPARAM)
    {
        if (message == WM_TIMER)
        {
            KillTimer(d.window, 1);
            d.EndDialog(3);
        }
    };
    EXPECT_EQ(dropping.DoModal(kTestDialog), 3);
    MSG message;
    EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // A WM_QUIT posted to the window ends the run and comes back as the
    // thread's quit message.
    ScriptedDialog quitting;
    quitting.onInit = [](ScriptedDialog& d) { PostMessageA(d.window, WM_QUIT, 3, 0); };
    EXPECT_EQ(quitting.DoModal(kTestDialog), -1);
    EXPECT_FALSE(IsWindow(quitting.window));
    ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_EQ(message.wParam, 3u);
}

TEST(DialogTest, TheDialogFontReachesChildrenWithoutOne)
{
    StartFramework();
    ScriptedDialog dialog;
    HWND bare = nullptr;
    HWND ownFont = nullptr;
    HWND later = nullptr;
    HFONT stock = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    HFONT dialogFont = nullptr;
    HFONT bareFont = nullptr;
    HFONT ownFontAfter = nullptr;
    HFONT laterFont = nullptr;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    dialog.onInit = [&](ScriptedDialog& d)
    {
        bare = CreateWindowExA(0, "STATIC", "bare", WS_CHILD, 0, 0, 10, 10, d.window, nullptr,
                               instance, nullptr);
        ownFont = CreateWindowExA(0, "STATIC", "own", WS_CHILD, 0, 0, 10, 10, d.window, nullptr,
                                  instance, nullptr);
        SendMessageA(ownFont, WM_SETFONT, reinterpret_cast<WPARAM>(stock), FALSE);
    };
    dialog.onAfterInit = [&](ScriptedDialog& d)
    {
        later = CreateWindowExA(0, "STATIC", "later", WS_CHILD, 0, 0, 10, 10, d.window, nullptr,
                                instance, nullptr);
        dialogFont = reinterpret_cast<HFONT>(SendMessageA(d.window, WM_GETFONT, 0, 0));
        bareFont = reinterpret_cast<HFONT>(SendMessageA(bare, WM_GETFONT, 0, 0));
        ownFontAfter = reinterpret_cast<HFONT>(SendMessageA(ownFont, WM_GETFONT, 0, 0));
        laterFont = reinterpret_cast<HFONT>(SendMessageA(later, WM_GETFONT, 0, 0));
        d.EndDialog(1);
    };
    EXPECT_EQ(dialog.DoModal(kTestDialog), 1);
    ASSERT_NE(dialogFont, nullptr);
    EXPECT_EQ(bareFont, dialogFont);
    EXPECT_EQ(ownFontAfter, stock);
    EXPECT_EQ(laterFont, nullptr);
}

TEST(DialogTest, DoModalGivesTheFocusBack)
{
    StartFramework();
    HWND owner = CreateWindowExA(0, "CWindowClass", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, owner,
                                reinterpret_cast<HMENU>(1), GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(owner);
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);
    ScriptedDialog dialog;
    HWND focusInside = nullptr;
    dialog.onInit = [&](ScriptedDialog& d) { PostMessageA(d.window, kStep, 0, 0); };
    dialog.onStep = [&](ScriptedDialog& d, UINT, WPARAM)
    {
        focusInside = GetFocus();
        PostCommand(d.window, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(kTestDialog), 1);
    EXPECT_NE(focusInside, edit);
    EXPECT_EQ(GetFocus(), edit);
    DestroyWindow(owner);
}

TEST(DialogTest, TemporaryWrappersGoAfterTheLoopsNextMessage)
{
    StartFramework();
    HWND foreign = CreateForeignWindow();
    WNDPROC original = WindowProcedureOf(foreign);
    ScriptedDialog dialog;
    CWindow* wrapper = nullptr;
    int countAtFirstStep = -1;
    bool subclassedAtFirstStep = false;
    int countAtSecondStep = -1;
    bool restoredAtSecondStep = false;
    dialog.onInit = [&](ScriptedDialog& d) { PostMessageA(d.window, kStep, 1, 0); };
    dialog.onStep = [&](ScriptedDialog& d, UINT, WPARAM step)
    {
        if (step == 1)
        {
            // Made while the loop dispatches a message: lives until that
            // message is done.
            wrapper = CWindow::FromHandle(foreign);
            countAtFirstStep = g_temporaryWindowList.GetCount();
            subclassedAtFirstStep = WindowProcedureOf(foreign) == &CWindow::WindowProcedure;
            PostMessageA(d.window, kStep, 2, 0);
        }
        else
        {
            countAtSecondStep = g_temporaryWindowList.GetCount();
            restoredAtSecondStep = WindowProcedureOf(foreign) == original;
            d.EndDialog(4);
        }
    };
    EXPECT_EQ(dialog.DoModal(kTestDialog), 4);
    EXPECT_NE(wrapper, nullptr);
    EXPECT_EQ(countAtFirstStep, 1);
    EXPECT_TRUE(subclassedAtFirstStep);
    EXPECT_EQ(countAtSecondStep, 0);
    EXPECT_TRUE(restoredAtSecondStep);
    DestroyWindow(foreign);
}

TEST(DialogTest, InMemoryTemplateWithTitleStyleAndFont)
{
    StartFramework();
    DialogFontDescription font = {9, FW_BOLD, 0, DEFAULT_CHARSET, "Tahoma"};
    DialogTemplateDescription description = {"Built in memory",
                                             WS_POPUP | WS_CAPTION | WS_SYSMENU,
                                             WS_EX_TOOLWINDOW,
                                             5,
                                             5,
                                             150,
                                             80,
                                             &font};
    ScriptedDialog dialog;
    char title[64] = {};
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    LOGFONTA logFont = {};
    dialog.onInit = [&](ScriptedDialog& d)
    {
        GetWindowTextA(d.window, title, sizeof(title));
        style = GetWindowLongPtrA(d.window, GWL_STYLE);
        exStyle = GetWindowLongPtrA(d.window, GWL_EXSTYLE);
        HFONT handle = reinterpret_cast<HFONT>(SendMessageA(d.window, WM_GETFONT, 0, 0));
        GetObjectA(handle, sizeof(logFont), &logFont);
        d.EndDialog(9);
    };
    EXPECT_EQ(dialog.RunModal(nullptr, nullptr, &description), 9);
    EXPECT_STREQ(title, "Built in memory");
    EXPECT_NE(style & WS_CAPTION, 0);
    EXPECT_NE(exStyle & WS_EX_TOOLWINDOW, 0);
    EXPECT_STREQ(logFont.lfFaceName, "Tahoma");
    EXPECT_EQ(logFont.lfWeight, FW_BOLD);

    // Without a font the template says so: the dialog uses the system font.
    description.font = nullptr;
    description.title = nullptr;
    ScriptedDialog plain;
    plain.onInit = [&](ScriptedDialog& d)
    {
        GetWindowTextA(d.window, title, sizeof(title));
        d.EndDialog(8);
    };
    EXPECT_EQ(plain.RunModal(nullptr, nullptr, &description), 8);
    EXPECT_STREQ(title, "");
}

TEST(DialogTest, ParentIsDisabledWhileTheRunLasts)
{
    StartFramework();
    CWindow parent;
    ASSERT_TRUE(parent.CreateEx(0, nullptr, "parent", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                nullptr));
    ScriptedDialog dialog;
    bool enabledInside = true;
    HWND owner = nullptr;
    dialog.onInit = [&](ScriptedDialog& d) { PostMessageA(d.window, kStep, 0, 0); };
    dialog.onStep = [&](ScriptedDialog& d, UINT, WPARAM)
    {
        enabledInside = IsWindowEnabled(parent.GetHwnd()) != FALSE;
        owner = GetWindow(d.window, GW_OWNER);
        d.EndDialog(1);
    };
    EXPECT_EQ(dialog.RunModal(&parent, MAKEINTRESOURCEA(kTestDialog), nullptr), 1);
    EXPECT_FALSE(enabledInside);
    EXPECT_EQ(owner, parent.GetHwnd());
    EXPECT_TRUE(IsWindowEnabled(parent.GetHwnd()));
}

TEST(DialogTest, ARunWhoseWindowIsDestroyedEnds)
{
    StartFramework();
    ScriptedDialog dialog;
    dialog.onInit = [](ScriptedDialog& d) { PostMessageA(d.window, kStep, 0, 0); };
    dialog.onStep = [](ScriptedDialog& d, UINT, WPARAM) { DestroyWindow(d.window); };
    EXPECT_EQ(dialog.DoModal(kTestDialog), -1);
    EXPECT_FALSE(dialog.IsInModalRun());
}
