#include "foundation/Dialog.h"
#include "foundation/Exception.h"
#include "foundation/MultiMon.h"
#include "foundation/Window.h"

#include "tests/support/WindowTestSupport.h"

#include "foundation/Socket.h"

#include <gtest/gtest.h>

#include <string>

#include <type_traits>
#include <vector>

namespace
{
// A framework window that records what reached its handlers.
class RecordingWindow : public CWindow
{
public:
    LRESULT OnCreate(CREATESTRUCTA* create) override
    {
        createdName = create->lpszName;
        return createResult;
    }
    LRESULT OnSize(UINT type, WORD width, WORD height) override
    {
        if (throwOnSize)
            throw CException(ERROR_INVALID_DATA);
        if (throwPointerOnSize)
            throw new CTcpSocketException(WSAECONNRESET);
        sizeType = type;
        sizeWidth = width;
        sizeHeight = height;
        return 0;
    }
    LRESULT OnMove(WORD x, WORD y) override
    {
        moveX = x;
        moveY = y;
        return 0;
    }
    LRESULT OnClose() override
    {
        ++closes;
        return closeResult;
    }
    LRESULT OnNotify(NMHDR*) override { return notifyResult; }
    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        commands.push_back(id);
        return commandResult;
    }
    LRESULT OnDrawItem(UINT id, DRAWITEMSTRUCT*) override
    {
        ++ownDraws;
        return ownDrawResult;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SYSCOLORCHANGE)
            ++colourChanges;
        if (message == kOwnQuery)
            return kOwnAnswer;
        return CWindow::WindowProc(message, wParam, lParam);
    }

    static constexpr UINT kOwnQuery = WM_APP + 2;
    static constexpr LRESULT kOwnAnswer = 55;

    CString createdName;
    LRESULT createResult = CreateNotHandled;
    bool throwOnSize = false;
    bool throwPointerOnSize = false;
    UINT sizeType = 99;
    WORD sizeWidth = 0;
    WORD sizeHeight = 0;
    WORD moveX = 0;
    WORD moveY = 0;
    int closes = 0;
    LRESULT closeResult = 0;
    LRESULT notifyResult = NotHandled;
    std::vector<UINT> commands;
    LRESULT commandResult = NotHandled;
    int ownDraws = 0;
    LRESULT ownDrawResult = NotHandled;
    int colourChanges = 0;
};

// A control object: answers the reflected messages and may stop the parent's
// own handler.
class ReflectingControl : public CWindow
{
public:
    LRESULT OnReflectedCommand(UINT code, int& passOn) override
    {
        ++reflected;
        if (stopParent)
            passOn = 0;
        return answer;
    }
    LRESULT OnChildNotify(NMHDR*, int& passOn) override
    {
        ++reflected;
        if (stopParent)
            passOn = 0;
        return answer;
    }
    LRESULT OnReflectedDrawItem(UINT, DRAWITEMSTRUCT*, int& passOn) override
    {
        ++reflected;
        if (stopParent)
            passOn = 0;
        return answer;
    }

    int reflected = 0;
    bool stopParent = false;
    LRESULT answer = NotHandled;
};

class RecordingDialog : public CDialog
{
public:
    LRESULT OnCommand(UINT code, UINT id, HWND control) override
    {
        commands.push_back(id);
        if (id == kTestLabel)
            return 0;
        return CDialog::OnCommand(code, id, control);
    }
    LRESULT OnNotify(NMHDR*) override { return notifyResult; }
    LRESULT OnDrawItem(UINT, DRAWITEMSTRUCT*) override
    {
        ++ownDraws;
        return NotHandled;
    }

    std::vector<UINT> commands;
    LRESULT notifyResult = NotHandled;
    int ownDraws = 0;
};

// A modeless test dialog whose action button is bound to a control object.
class WindowReflectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartFramework();
        ASSERT_TRUE(dialog.Create(nullptr, kTestDialog));
        handle = dialog.GetSafeHwnd();
        button = GetDlgItem(handle, kTestActionButton);
        ASSERT_TRUE(control.Attach(button, false));
    }
    void TearDown() override { dialog.Destroy(); }

    RecordingDialog dialog;
    ReflectingControl control;
    HWND handle = nullptr;
    HWND button = nullptr;
};

HWND CreateTopLevel(CWindow& object, const char* name = "window")
{
    EXPECT_TRUE(
        object.CreateEx(0, nullptr, name, WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr, nullptr));
    return object.GetSafeHwnd();
}

LRESULT SendNotify(HWND window, HWND from, UINT id, int code)
{
    NMHDR header = {};
    header.hwndFrom = from;
    header.idFrom = id;
    header.code = static_cast<UINT>(code);
    return SendMessageA(window, WM_NOTIFY, id, reinterpret_cast<LPARAM>(&header));
}
} // namespace

static_assert(!std::is_copy_constructible_v<CWindow>, "a window object owns one handle");
static_assert(!std::is_copy_assignable_v<CWindow>, "a window object owns one handle");
static_assert(!std::is_copy_constructible_v<CDialog>, "a dialog object owns one handle");

TEST(WindowTest, CreatedWindowRoutesMessagesToHandlersAndDefault)
{
    StartFramework();
    auto* window = new RecordingWindow();
    HWND handle = CreateTopLevel(*window, "routed");
    ASSERT_NE(handle, nullptr);
    EXPECT_STREQ(window->createdName, "routed");
    char className[32] = {};
    GetClassNameA(handle, className, sizeof(className));
    EXPECT_STREQ(className, "CWindowClass");
    EXPECT_TRUE(window->OwnsWindow());
    EXPECT_EQ(WindowProcedureOf(handle), &CWindow::WindowProcedure);

    SendMessageA(handle, WM_SIZE, SIZE_MAXIMIZED, MAKELPARAM(120, 80));
    EXPECT_EQ(window->sizeType, static_cast<UINT>(SIZE_MAXIMIZED));
    EXPECT_EQ(window->sizeWidth, 120);
    EXPECT_EQ(window->sizeHeight, 80);
    // Positions arrive as the unsigned words of lParam.
    SendMessageA(handle, WM_MOVE, 0, MAKELPARAM(-5, 7));
    EXPECT_EQ(window->moveX, 0xFFFB);
    EXPECT_EQ(window->moveY, 7);

    // A handled close keeps the window; an overridden WindowProc answers
    // its own message; everything else reaches DefWindowProcA.
    EXPECT_EQ(SendMessageA(handle, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(window->closes, 1);
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(SendMessageA(handle, RecordingWindow::kOwnQuery, 0, 0), RecordingWindow::kOwnAnswer);
    SetWindowTextA(handle, "default text");
    char text[32] = {};
    GetWindowTextA(handle, text, sizeof(text));
    EXPECT_STREQ(text, "default text");

    delete window;
    EXPECT_FALSE(IsWindow(handle));
}

TEST(WindowTest, OnCreateMinusOneFailsTheCreation)
{
    StartFramework();
    RecordingWindow window;
    window.createResult = -1;
    EXPECT_FALSE(window.CreateEx(0, nullptr, "refused", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr));
    EXPECT_EQ(window.GetSafeHwnd(), nullptr);
}

TEST(WindowTest, UnhandledCloseReachesTheDefaultAndClearsTheObject)
{
    StartFramework();
    RecordingWindow window;
    window.closeResult = CWindow::NotHandled;
    HWND handle = CreateTopLevel(window);
    ASSERT_NE(handle, nullptr);
    // DefWindowProcA destroys the window; WM_NCDESTROY lets the object go.
    SendMessageA(handle, WM_CLOSE, 0, 0);
    EXPECT_EQ(window.closes, 1);
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(window.GetHwnd(), nullptr);
    EXPECT_FALSE(window.Destroy());
}

TEST(WindowTest, SubclassingAForeignWindowAndGivingItBack)
{
    StartFramework();
    HWND foreign = CreateForeignWindow();
    ASSERT_NE(foreign, nullptr);
    WNDPROC original = WindowProcedureOf(foreign);

    auto* object = new RecordingWindow();
    ASSERT_TRUE(object->Attach(foreign, false));
    EXPECT_EQ(WindowProcedureOf(foreign), &CWindow::WindowProcedure);
    // The object's own answer, and the window's own procedure behind it.
    EXPECT_EQ(SendMessageA(foreign, RecordingWindow::kOwnQuery, 0, 0), RecordingWindow::kOwnAnswer);
    EXPECT_EQ(SendMessageA(foreign, kForeignQuery, 0, 0), kForeignAnswer);
    SendMessageA(foreign, WM_SIZE, SIZE_RESTORED, MAKELPARAM(33, 44));
    EXPECT_EQ(object->sizeWidth, 33);

    delete object;
    EXPECT_TRUE(IsWindow(foreign));
    EXPECT_EQ(WindowProcedureOf(foreign), original);
    EXPECT_EQ(SendMessageA(foreign, RecordingWindow::kOwnQuery, 0, 0), 0);
    DestroyWindow(foreign);
}

TEST(WindowTest, DetachGivesTheWindowBackWithoutDestroyingIt)
{
    StartFramework();
    HWND foreign = CreateForeignWindow();
    WNDPROC original = WindowProcedureOf(foreign);
    CWindow object;
    ASSERT_TRUE(object.Attach(foreign, true));
    EXPECT_EQ(object.Detach(), foreign);
    EXPECT_EQ(object.GetHwnd(), nullptr);
    EXPECT_TRUE(IsWindow(foreign));
    EXPECT_EQ(WindowProcedureOf(foreign), original);
    DestroyWindow(foreign);
}

TEST(WindowTest, AttachRulesForOwnedAndHeldHandles)
{
    StartFramework();
    HWND foreign = CreateForeignWindow();
    auto* owner = new CWindow();
    ASSERT_TRUE(owner->Attach(foreign, true));

    // Another object may not own a handle that an object holds.
    CWindow second;
    EXPECT_FALSE(second.Attach(foreign, true));
    EXPECT_EQ(second.GetHwnd(), nullptr);
    // An object with a live window cannot take a second one.
    HWND other = CreateForeignWindow();
    EXPECT_FALSE(owner->Attach(other, false));
    EXPECT_EQ(owner->GetHwnd(), foreign);
    // A handle that is no window leaves the object without one.
    EXPECT_FALSE(second.Attach(reinterpret_cast<HWND>(0x7FFF0), false));
    EXPECT_EQ(second.GetHwnd(), nullptr);

    // An owner that goes takes its window along.
    delete owner;
    EXPECT_FALSE(IsWindow(foreign));
    DestroyWindow(other);
}

TEST(WindowTest, TemporaryWrappersAreSharedUntilTheListIsEmptied)
{
    StartFramework();
    HWND foreign = CreateForeignWindow();
    WNDPROC original = WindowProcedureOf(foreign);
    int before = g_temporaryWindowList.GetCount();

    CWindow* first = CWindow::FromHandle(foreign);
    CWindow* second = CWindow::FromHandle(foreign);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(g_temporaryWindowList.GetCount(), before + 1);
    EXPECT_FALSE(g_windowList.Contains(first));
    EXPECT_FALSE(first->OwnsWindow());
    EXPECT_EQ(WindowProcedureOf(foreign), &CWindow::WindowProcedure);
    EXPECT_EQ(SendMessageA(foreign, kForeignQuery, 0, 0), kForeignAnswer);

    CWindow::DestroyTemporaryWindows();
    EXPECT_EQ(g_temporaryWindowList.GetCount(), 0);
    EXPECT_TRUE(IsWindow(foreign));
    EXPECT_EQ(WindowProcedureOf(foreign), original);

    // A framework object is found, never wrapped; nothing is made for null
    // or for a handle that is no window.
    RecordingWindow own;
    HWND ownHandle = CreateTopLevel(own);
    EXPECT_EQ(CWindow::FromHandle(ownHandle), &own);
    EXPECT_EQ(CWindow::FromHandle(nullptr), nullptr);
    EXPECT_EQ(CWindow::FromHandle(reinterpret_cast<HWND>(0x7FFF0)), nullptr);
    EXPECT_EQ(g_temporaryWindowList.GetCount(), 0);
    DestroyWindow(foreign);
}

TEST(WindowTest, WindowsWithoutAnObjectGetTheDefaultHandling)
{
    StartFramework();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    // A framework class window made without an object, and one whose create
    // parameter is not an object at all: neither is bound to anything.
    HWND plain = CreateWindowExA(0, "CWindowClass", "plain", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr, instance, nullptr);
    HWND bogus = CreateWindowExA(0, "CWindowClass", "bogus", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                 nullptr, nullptr, instance, reinterpret_cast<void*>(0x1234));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(bogus, nullptr);
    EXPECT_EQ(g_windowList.FindWindow(plain), nullptr);
    EXPECT_EQ(g_windowList.FindWindow(bogus), nullptr);
    char text[16] = {};
    GetWindowTextA(bogus, text, sizeof(text));
    EXPECT_STREQ(text, "bogus");

    // A dialog whose init parameter is not an object: the procedure gives
    // the dialog manager's default (0).
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(kTestDialog), nullptr,
                                     reinterpret_cast<DLGPROC>(CWindow::WindowProcedure), 0x4321);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(g_windowList.FindWindow(dialog), nullptr);
    EXPECT_EQ(CWindow::WindowProcedure(dialog, WM_COMMAND, MAKEWPARAM(kTestLabel, 0), 0), 0);

    // An object deleted while its window lives on (here: it only borrowed
    // it) leaves the window to the default as well.
    auto* borrower = new RecordingWindow();
    ASSERT_TRUE(borrower->Attach(plain, false));
    EXPECT_EQ(SendMessageA(plain, RecordingWindow::kOwnQuery, 0, 0), RecordingWindow::kOwnAnswer);
    delete borrower;
    EXPECT_EQ(SendMessageA(plain, RecordingWindow::kOwnQuery, 0, 0), 0);

    DestroyWindow(plain);
    DestroyWindow(bogus);
    DestroyWindow(dialog);
}

TEST_F(WindowReflectionTest, CommandsInADialog)
{
    WPARAM clicked = MAKEWPARAM(kTestActionButton, BN_CLICKED);
    LPARAM from = reinterpret_cast<LPARAM>(button);

    // The control's answer is the dialog's message result; the procedure
    // says "handled"; the dialog's own handler still runs.
    control.answer = 5;
    SetWindowLongPtrA(handle, DWLP_MSGRESULT, 0);
    EXPECT_EQ(CWindow::WindowProcedure(handle, WM_COMMAND, clicked, from), 1);
    EXPECT_EQ(GetWindowLongPtrA(handle, DWLP_MSGRESULT), 5);
    EXPECT_EQ(control.reflected, 1);
    ASSERT_EQ(dialog.commands.size(), 1u);
    EXPECT_EQ(SendMessageA(handle, WM_COMMAND, clicked, from), 5);

    // A control that clears the pass-on flag keeps the dialog's handler out.
    control.stopParent = true;
    dialog.commands.clear();
    SendMessageA(handle, WM_COMMAND, clicked, from);
    EXPECT_TRUE(dialog.commands.empty());

    // The dialog's own 0 is the procedure's 0.
    EXPECT_EQ(CWindow::WindowProcedure(handle, WM_COMMAND, MAKEWPARAM(kTestLabel, 0), 0), 0);
    ASSERT_EQ(dialog.commands.size(), 1u);
    EXPECT_EQ(dialog.commands[0], kTestLabel);
}

TEST_F(WindowReflectionTest, DrawItemAndThePassOnFlag)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = kTestActionButton;
    item.hwndItem = control.GetHwnd();
    LPARAM lParam = reinterpret_cast<LPARAM>(&item);

    control.answer = 1;
    EXPECT_EQ(CWindow::WindowProcedure(handle, WM_DRAWITEM, kTestActionButton, lParam), 1);
    EXPECT_EQ(control.reflected, 1);
    EXPECT_EQ(dialog.ownDraws, 1);

    control.stopParent = true;
    CWindow::WindowProcedure(handle, WM_DRAWITEM, kTestActionButton, lParam);
    EXPECT_EQ(control.reflected, 2);
    EXPECT_EQ(dialog.ownDraws, 1);

    // A control without an object is not wrapped just to be asked.
    item.CtlID = kTestEdit;
    CWindow::WindowProcedure(handle, WM_DRAWITEM, kTestEdit, lParam);
    EXPECT_EQ(dialog.ownDraws, 2);
    EXPECT_EQ(g_temporaryWindowList.GetCount(), 0);
}

TEST_F(WindowReflectionTest, NotificationResults)
{
    HWND edit = GetDlgItem(handle, kTestEdit);

    // The source control's answer.
    control.answer = 9;
    EXPECT_EQ(SendNotify(handle, button, kTestActionButton, NM_CLICK), 9);
    // The dialog's own answer reaches the dialog manager too; 0 and -1 leave
    // the default.
    dialog.notifyResult = 7;
    EXPECT_EQ(SendNotify(handle, edit, kTestEdit, NM_CLICK), 7);
    dialog.notifyResult = 0;
    EXPECT_EQ(SendNotify(handle, edit, kTestEdit, NM_CLICK), 0);
    dialog.notifyResult = CWindow::NotHandled;
    EXPECT_EQ(SendNotify(handle, edit, kTestEdit, NM_CLICK), 0);

    // A window that is not a dialog does not answer with its own handler.
    RecordingWindow window;
    HWND plain = CreateTopLevel(window);
    window.notifyResult = 7;
    EXPECT_EQ(SendNotify(plain, nullptr, 0, NM_CLICK), 0);
}

TEST(WindowTest, CloseMarkedWindowsSurvivesReceiversThatDeleteObjects)
{
    StartFramework();
    // Made in this order, the first sits at the tail of the list.
    class Closer : public RecordingWindow
    {
    public:
        LRESULT OnClose() override
        {
            ++closes;
            delete victim;
            victim = nullptr;
            return 0;
        }
        CWindow* victim = nullptr;
    };
    RecordingWindow tail;
    auto* victim = new RecordingWindow();
    Closer closer;
    RecordingWindow unmarked;
    RecordingWindow head;
    for (CWindow* window : {static_cast<CWindow*>(&tail), static_cast<CWindow*>(victim),
                            static_cast<CWindow*>(&closer), static_cast<CWindow*>(&unmarked),
                            static_cast<CWindow*>(&head)})
        CreateTopLevel(*window);
    HWND victimHandle = victim->GetSafeHwnd();
    tail.SetCloseOnRequest(true);
    victim->SetCloseOnRequest(true);
    closer.SetCloseOnRequest(true);
    head.SetCloseOnRequest(true);
    closer.victim = victim;

    CWindow::CloseMarkedWindows();
    EXPECT_EQ(head.closes, 1);
    EXPECT_EQ(closer.closes, 1);
    EXPECT_EQ(tail.closes, 1);
    EXPECT_EQ(unmarked.closes, 0);
    EXPECT_FALSE(IsWindow(victimHandle));
}

TEST(WindowTest, SystemColourChangesReachTheChildren)
{
    StartFramework();
    RecordingWindow parent;
    HWND parentHandle = CreateTopLevel(parent);
    RecordingWindow first;
    RecordingWindow second;
    ASSERT_TRUE(first.CreateEx(0, nullptr, "a", WS_CHILD, 0, 0, 10, 10, parentHandle,
                               reinterpret_cast<HMENU>(1)));
    ASSERT_TRUE(second.CreateEx(0, nullptr, "b", WS_CHILD, 0, 20, 10, 10, parentHandle,
                                reinterpret_cast<HMENU>(2)));
    SendMessageA(parentHandle, WM_SYSCOLORCHANGE, 0, 0);
    EXPECT_EQ(parent.colourChanges, 1);
    EXPECT_EQ(first.colourChanges, 1);
    EXPECT_EQ(second.colourChanges, 1);
}

TEST(WindowTest, ExceptionsOfHandlersStopAtTheProcedure)
{
    StartFramework();
    RecordingWindow window;
    HWND handle = CreateTopLevel(window);
    window.throwOnSize = true;
    EXPECT_EQ(SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1, 2)), 0);
    EXPECT_TRUE(IsWindow(handle));
    window.throwOnSize = false;
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(3, 4));
    EXPECT_EQ(window.sizeWidth, 3);
}

namespace
{
std::string g_windowReports;
void RecordWindowReport(const char* text)
{
    g_windowReports += text;
}
} // namespace

// The window procedure reports to the same hook as the worker threads (the
// main program's log), and a thrown pointer is reported with its own text,
// not as "unknown exception".
TEST(WindowTest, HandlerExceptionsGoToTheReporterWithTheirText)
{
    StartFramework();
    RecordingWindow window;
    HWND handle = CreateTopLevel(window);
    SetExceptionReporter(RecordWindowReport);
    window.throwOnSize = true;
    SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1, 2));
    window.throwOnSize = false;
    window.throwPointerOnSize = true;
    EXPECT_EQ(SendMessageA(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(1, 2)), 0);
    window.throwPointerOnSize = false;
    SetExceptionReporter(nullptr);
    EXPECT_NE(g_windowReports.find("message 0x0005"), std::string::npos) << g_windowReports;
    EXPECT_NE(g_windowReports.find(CException(ERROR_INVALID_DATA).GetErrorText()),
              std::string::npos)
        << g_windowReports;
    char code[32];
    wsprintfA(code, "socket error %lu", static_cast<unsigned long>(WSAECONNRESET));
    EXPECT_NE(g_windowReports.find(code), std::string::npos) << g_windowReports;
    EXPECT_EQ(g_windowReports.find("unknown exception"), std::string::npos);
    EXPECT_TRUE(IsWindow(handle));
}

TEST(WindowTest, CentredPositionIsKeptInsideTheWorkArea)
{
    RECT work = {0, 0, 1000, 800};
    RECT window = {0, 0, 200, 100};
    CPoint centred = CenteredWindowPosition(window, work, work);
    EXPECT_EQ(centred.x, 400);
    EXPECT_EQ(centred.y, 350);
    // Centred on a window near the right and bottom edges: pulled back.
    RECT nearEdge = {900, 750, 1000, 800};
    CPoint pulled = CenteredWindowPosition(window, nearEdge, work);
    EXPECT_EQ(pulled.x, 800);
    EXPECT_EQ(pulled.y, 700);
    // Near the left and top edges.
    RECT nearOrigin = {-50, -40, 10, 10};
    CPoint pushed = CenteredWindowPosition(window, nearOrigin, work);
    EXPECT_EQ(pushed.x, 0);
    EXPECT_EQ(pushed.y, 0);
    // Wider and taller than the work area: the left and top edges win.
    RECT huge = {0, 0, 1200, 900};
    CPoint big = CenteredWindowPosition(huge, work, work);
    EXPECT_EQ(big.x, 0);
    EXPECT_EQ(big.y, 0);

    StartFramework();
    RecordingWindow object;
    HWND handle = CreateTopLevel(object);
    ASSERT_TRUE(object.CenterWindow());
    RECT area;
    ASSERT_TRUE(GetPrimaryWorkArea(area));
    CRect bounds = object.GetWindowBounds();
    CPoint expected = CenteredWindowPosition(*static_cast<const RECT*>(bounds), area, area);
    EXPECT_EQ(bounds.left, expected.x);
    EXPECT_EQ(bounds.top, expected.y);

    // Centred on another window.
    RecordingWindow other;
    HWND otherHandle = CreateTopLevel(other);
    SetWindowPos(otherHandle, nullptr, 100, 100, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(object.CenterWindow(otherHandle));
    bounds = object.GetWindowBounds();
    EXPECT_EQ(bounds.left, 100 + (400 - bounds.Width()) / 2);
    EXPECT_EQ(bounds.top, 100 + (300 - bounds.Height()) / 2);
    (void)handle;
}

TEST(WindowTest, TextStyleAndGeometryHelpers)
{
    StartFramework();
    RecordingWindow window;
    HWND handle = CreateTopLevel(window);

    ASSERT_TRUE(window.SetWindowText(MAKEINTRESOURCEA(kTestString)));
    char text[64] = {};
    GetWindowTextA(handle, text, sizeof(text));
    EXPECT_STREQ(text, "Text from the string table");
    ASSERT_TRUE(window.SetWindowText("plain text"));
    GetWindowTextA(handle, text, sizeof(text));
    EXPECT_STREQ(text, "plain text");

    window.ModifyStyle(WS_MAXIMIZEBOX, WS_VSCROLL, WS_HSCROLL);
    LONG_PTR style = GetWindowLongPtrA(handle, GWL_STYLE);
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_NE(style & WS_VSCROLL, 0);
    EXPECT_NE(style & WS_HSCROLL, 0);

    RECT place = {20, 30, 270, 180};
    ASSERT_TRUE(window.MoveWindow(place, FALSE));
    CRect bounds = window.GetWindowBounds();
    EXPECT_EQ(bounds.left, 20);
    EXPECT_EQ(bounds.top, 30);
    EXPECT_EQ(bounds.Width(), 250);
    EXPECT_EQ(bounds.Height(), 150);
    CSize size;
    ASSERT_TRUE(window.GetWindowSize(size));
    EXPECT_EQ(size.cx, 250);
    EXPECT_EQ(size.cy, 150);
    RECT client;
    ::GetClientRect(handle, &client);
    CRect clientRect = window.GetClientRect();
    EXPECT_EQ(clientRect.Width(), client.right);
    EXPECT_EQ(clientRect.Height(), client.bottom);

    CWindow empty;
    EXPECT_EQ(empty.GetClientRect().Width(), 0);
    EXPECT_EQ(empty.GetWindowBounds().right, 0);
    CSize untouched(5, 6);
    EXPECT_FALSE(empty.GetWindowSize(untouched));
    EXPECT_EQ(untouched.cx, 5);
}

TEST(WindowTest, SubclassAndUpdateFrameRecomputesTheFrame)
{
    StartFramework();
    class FrameCounter : public CWindow
    {
    public:
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_NCCALCSIZE)
                ++frameComputations;
            return CWindow::WindowProc(message, wParam, lParam);
        }
        int frameComputations = 0;
    };
    HWND foreign = CreateForeignWindow();
    FrameCounter object;
    ASSERT_TRUE(object.SubclassAndUpdateFrame(foreign));
    EXPECT_FALSE(object.OwnsWindow());
    EXPECT_GE(object.frameComputations, 1);
    object.Detach();
    DestroyWindow(foreign);
}
