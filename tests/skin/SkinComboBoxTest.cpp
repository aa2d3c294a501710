// The skinned combo box and edit on real windows (Wine's null display
// driver): completion by typing, frames painted into memory contexts, the
// hover poll and the edit's non-client frame.
#include "skin/SkinComboBox.h"

#include "foundation/Window.h"
#include "skin/SkinFiles.h"
#include "tests/skin/SkinTestSupport.h"
#include "tests/support/MessagePump.h"
#include "tests/support/OwnDesktop.h"
#include "tests/support/Waits.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
constexpr COLORREF kFrame1 = RGB(168, 168, 168);
constexpr COLORREF kFrame2 = RGB(223, 223, 223);
constexpr COLORREF kFrame3 = RGB(255, 173, 27);

MSG Message(HWND window, UINT message, WPARAM wParam)
{
    MSG result = {};
    result.hwnd = window;
    result.message = message;
    result.wParam = wParam;
    return result;
}

class SkinComboBoxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartSkinFramework();
        ASSERT_TRUE(CreateShownParent(m_parent));
    }
    void TearDown() override { m_parent.Destroy(); }

    // A combo box on the parent (the fixture's when none is given).
    HWND MakeCombo(DWORD type = CBS_DROPDOWN, int y = 10, HWND parent = nullptr)
    {
        return CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | type, 10, y,
                               150, 120, parent != nullptr ? parent : m_parent.GetHwnd(), nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }

    void AddItems(HWND combo, std::initializer_list<const char*> items)
    {
        for (const char* item : items)
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }

    // A key as the modal loop delivers it: the key-down offered to the
    // combo's PreTranslateMessage (the edit field has no object of its own),
    // then translated into its character.
    void Type(CSkinComboBox& combo, HWND edit, WPARAM key)
    {
        MSG down = Message(edit, WM_KEYDOWN, key);
        if (!combo.PreTranslateMessage(&down))
        {
            TranslateMessage(&down);
            DispatchMessageA(&down);
        }
        PumpMessages();
    }

    static std::string Text(HWND window)
    {
        char text[64] = "";
        GetWindowTextA(window, text, sizeof(text));
        return text;
    }

    static std::pair<DWORD, DWORD> Selection(HWND combo)
    {
        DWORD start = 0;
        DWORD end = 0;
        SendMessageA(combo, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }

    // No colours: the readers' defaults.
    TestSkin m_skin{""};
    CWindow m_parent;
};

HWND EditOf(HWND combo)
{
    return FindWindowExA(combo, nullptr, "Edit", nullptr);
}

TEST_F(SkinComboBoxTest, TypingCompletesToTheCommonPrefix)
{
    CSkinComboBox combo;
    HWND hwnd = MakeCombo();
    ASSERT_TRUE(combo.Attach(hwnd, false));
    AddItems(hwnd, {"Backup", "Batch", "Bar"});
    HWND edit = EditOf(hwnd);
    ASSERT_NE(edit, nullptr);
    SetFocus(edit);

    Type(combo, edit, 'B');
    EXPECT_EQ(Text(hwnd), "Ba");
    EXPECT_EQ(Selection(hwnd), std::make_pair(DWORD(1), DWORD(2)));
    Type(combo, edit, 'A');
    EXPECT_EQ(Text(hwnd), "Ba");
    EXPECT_EQ(Selection(hwnd), std::make_pair(DWORD(2), DWORD(2)));
}

TEST_F(SkinComboBoxTest, OneMatchCompletesWholeAndBackspaceNever)
{
    CSkinComboBox combo;
    HWND hwnd = MakeCombo();
    ASSERT_TRUE(combo.Attach(hwnd, false));
    AddItems(hwnd, {"Backup", "Restore"});
    HWND edit = EditOf(hwnd);
    SetFocus(edit);
    Type(combo, edit, 'B');
    Type(combo, edit, 'A');
    EXPECT_EQ(Text(hwnd), "Backup");
    EXPECT_EQ(Selection(hwnd), std::make_pair(DWORD(2), DWORD(6)));

    // Backspace takes the selected completion away and completes nothing.
    Type(combo, edit, VK_BACK);
    EXPECT_FALSE(combo.GetCompleteNext());
    EXPECT_EQ(Text(hwnd), "Ba");
    Type(combo, edit, VK_BACK);
    EXPECT_EQ(Text(hwnd), "B");

    // Without auto-completion typing stays as typed.
    combo.SetAutoComplete(false);
    SetWindowTextA(hwnd, "");
    Type(combo, edit, 'R');
    EXPECT_EQ(Text(hwnd), "r");
}

// Reports every text change as another edit update, as a combo may do: the
// completion must not run again from its own change.
class ReenteringCombo : public CSkinComboBox
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_SETTEXT)
        {
            ++textChanges;
            LRESULT result = CSkinComboBox::WindowProc(message, wParam, lParam);
            if (textChanges < 50)
                Complete(m_hWnd);
            return result;
        }
        return CSkinComboBox::WindowProc(message, wParam, lParam);
    }
    int textChanges = 0;
};

TEST_F(SkinComboBoxTest, TheCompletionDoesNotCompleteItsOwnChange)
{
    ReenteringCombo combo;
    HWND hwnd = MakeCombo();
    ASSERT_TRUE(combo.Attach(hwnd, false));
    AddItems(hwnd, {"Backup", "Batch"});
    SendMessageA(EditOf(hwnd), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("b"));
    SendMessageA(hwnd, CB_SETEDITSEL, 0, MAKELPARAM(1, 1));
    combo.Complete(hwnd);
    EXPECT_EQ(combo.textChanges, 1);
    EXPECT_EQ(Text(hwnd), "Ba");
}

TEST_F(SkinComboBoxTest, HourItemsCarryTheirHour)
{
    CSkinComboBox combo;
    HWND hwnd = MakeCombo(CBS_DROPDOWNLIST);
    ASSERT_TRUE(combo.Attach(hwnd, false));
    for (int hour = 0; hour < 24; ++hour)
    {
        char text[8];
        wsprintfA(text, "%d:00", hour);
        EXPECT_NE(combo.InsertStringWithData(hour, text, hour), CB_ERR);
    }
    ASSERT_EQ(SendMessageA(hwnd, CB_GETCOUNT, 0, 0), 24);
    for (int hour = 0; hour < 24; ++hour)
    {
        char text[8] = "";
        SendMessageA(hwnd, CB_GETLBTEXT, hour, reinterpret_cast<LPARAM>(text));
        char expected[8];
        wsprintfA(expected, "%d:00", hour);
        EXPECT_STREQ(text, expected);
        EXPECT_EQ(SendMessageA(hwnd, CB_GETITEMDATA, hour, 0), hour);
    }
}

// The frame as OnPaint draws it into a memory context.
COLORREF FramePixel(CSkinComboBox& combo, int x, int y)
{
    RECT client = {};
    GetClientRect(combo.GetHwnd(), &client);
    return PixelOfDrawing(
        client.right, client.bottom,
        [&combo](HDC dc)
        {
            CDC wrapper(dc);
            combo.OnPaint(&wrapper);
        },
        x, y);
}

TEST_F(SkinComboBoxTest, TheFrameLightsWithTheFocus)
{
    CSkinComboBox combo;
    HWND hwnd = MakeCombo();
    ASSERT_TRUE(combo.Attach(hwnd, false));
    EXPECT_EQ(combo.GetFrameColor(1), kFrame1);
    EXPECT_EQ(combo.GetFrameColor(3), kFrame3);
    SetFocus(m_parent.GetHwnd());
    EXPECT_EQ(FramePixel(combo, 0, 5), kFrame1);
    EXPECT_EQ(FramePixel(combo, 1, 5), kFrame2);
    EXPECT_EQ(FramePixel(combo, 30, 1), kFrame2);

    SetFocus(EditOf(hwnd));
    EXPECT_TRUE(combo.HasFocus());
    EXPECT_EQ(FramePixel(combo, 0, 5), kFrame3);
    EXPECT_EQ(FramePixel(combo, 1, 5), kFrame3);
    EXPECT_EQ(FramePixel(combo, 30, 0), kFrame3);

    // Disabled and without the focus: at rest again.
    SetFocus(m_parent.GetHwnd());
    EnableWindow(hwnd, FALSE);
    EXPECT_EQ(FramePixel(combo, 0, 5), kFrame1);
    EXPECT_EQ(FramePixel(combo, 1, 5), kFrame2);
}

TEST_F(SkinComboBoxTest, TheMouseOverTheEditFieldIsPolled)
{
    // On a desktop of its own (see OwnDesktop.h), whose pointer is its own:
    // moved on the shared desktop, it lit the frames of the combo boxes of
    // the other tests running beside this one, at the same place.
    const bool ran = RunOnOwnDesktop([this] {
        CWindow parent;
        ASSERT_TRUE(CreateShownParent(parent));
        CSkinComboBox combo;
        HWND hwnd = MakeCombo(CBS_DROPDOWN, 10, parent.GetHwnd());
        ASSERT_TRUE(combo.Attach(hwnd, false));
        RECT field = {};
        GetWindowRect(EditOf(hwnd), &field);
        ASSERT_TRUE(SetCursorPos(field.left + 5, field.top + 5));
        POINT cursor = {};
        GetCursorPos(&cursor);
        if (cursor.x != field.left + 5)
            GTEST_SKIP() << "the display driver keeps no cursor position";
        EXPECT_TRUE(combo.IsHot());
        EXPECT_EQ(FramePixel(combo, 0, 5), kFrame3);
        SetCursorPos(390, 290);
        EXPECT_FALSE(combo.IsHot());
        // The poll timer notices and draws the frame at rest.
        WaitUntil(
            [&]
            {
                PumpMessages();
                return FramePixel(combo, 0, 5) == kFrame1;
            },
            wait_bound::kStepMs);
        EXPECT_EQ(FramePixel(combo, 0, 5), kFrame1);

        // A drop-down list has no edit field: hot only while tracked.
        CSkinComboBox list;
        HWND listWindow = MakeCombo(CBS_DROPDOWNLIST, 60, parent.GetHwnd());
        ASSERT_TRUE(list.Attach(listWindow, false));
        RECT listRect = {};
        GetWindowRect(listWindow, &listRect);
        SetCursorPos(listRect.left + 5, listRect.top + 5);
        EXPECT_FALSE(list.IsHot());
    });
    EXPECT_TRUE(ran) << "no desktop of its own";
}

TEST_F(SkinComboBoxTest, AKeyArmsTheCompletionOnlyInAnEditableCombo)
{
    CSkinComboBox combo;
    HWND hwnd = MakeCombo();
    ASSERT_TRUE(combo.Attach(hwnd, false));
    MSG key = Message(EditOf(hwnd), WM_KEYDOWN, 'X');
    combo.PreTranslateMessage(&key);
    EXPECT_TRUE(combo.GetCompleteNext());
    MSG del = Message(EditOf(hwnd), WM_KEYDOWN, VK_DELETE);
    combo.PreTranslateMessage(&del);
    EXPECT_FALSE(combo.GetCompleteNext());
    MSG other = Message(EditOf(hwnd), 0x200E, 'X');
    combo.PreTranslateMessage(&other);
    EXPECT_TRUE(combo.GetCompleteNext());
}

class SkinEditTest : public SkinComboBoxTest
{
};

COLORREF EditFramePixel(CSkinEdit& edit, int x, int y)
{
    return PixelOfDrawing(
        200, 40,
        [&edit](HDC dc)
        {
            CDC wrapper(dc);
            edit.DrawFrame(wrapper);
        },
        x, y);
}

TEST_F(SkinEditTest, TheFrameTakesTwoPixelsAndFollowsTheFocus)
{
    CSkinEdit edit;
    HWND hwnd = CreateWindowExA(0, "EDIT", "text", WS_CHILD | WS_VISIBLE, 10, 10, 100, 24,
                                m_parent.GetHwnd(), nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(edit.SubclassAndUpdateFrame(hwnd));
    RECT client = {};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 96);
    EXPECT_EQ(client.bottom, 20);

    SetFocus(m_parent.GetHwnd());
    EXPECT_EQ(EditFramePixel(edit, 0, 0), kFrame1);
    EXPECT_EQ(EditFramePixel(edit, 99, 23), kFrame1);
    SetFocus(hwnd);
    EXPECT_EQ(EditFramePixel(edit, 0, 0), kFrame3);
    EXPECT_EQ(EditFramePixel(edit, 50, 23), kFrame3);
    // Disabled shows the frame at rest.
    SetFocus(m_parent.GetHwnd());
    EnableWindow(hwnd, FALSE);
    SendMessageA(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(EditFramePixel(edit, 0, 0), kFrame1);
}
TEST_F(SkinEditTest, AMultiLineEditKeepsItsScrollBarInsideTheFrame)
{
    CSkinEdit edit;
    HWND hwnd = CreateWindowExA(0, "EDIT", "one\r\ntwo\r\nthree\r\nfour\r\nfive\r\nsix",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                10, 10, 100, 60, m_parent.GetHwnd(), nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(edit.SubclassAndUpdateFrame(hwnd));
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    RECT client = {};
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 100 - 4 - bar);
    EXPECT_EQ(client.bottom, 56);
    // The scroll bar is there, between the text and the frame.
    SCROLLBARINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetScrollBarInfo(hwnd, OBJID_VSCROLL, &info));
    EXPECT_EQ(info.rgstate[0] & STATE_SYSTEM_INVISIBLE, 0u);
    RECT window = {};
    GetWindowRect(hwnd, &window);
    EXPECT_EQ(info.rcScrollBar.right, window.right - 2);
    EXPECT_EQ(info.rcScrollBar.left, window.right - 2 - bar);
    EXPECT_EQ(info.rcScrollBar.top, window.top + 2);

    // The frame is drawn on the window's edge, around the bar.
    SetFocus(m_parent.GetHwnd());
    EXPECT_EQ(EditFramePixel(edit, 0, 0), kFrame1);
    EXPECT_EQ(EditFramePixel(edit, 99, 30), kFrame1);
}
} // namespace
