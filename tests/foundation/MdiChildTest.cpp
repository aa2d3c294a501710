#include "foundation/Dialog.h"

#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace
{
class MdiDialog : public CDialog
{
public:
    LRESULT OnInitDialog(LPARAM initParam, HWND) override
    {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(initParam);
        sawCreateStruct = create != nullptr && (create->dwExStyle & WS_EX_MDICHILD) != 0;
        return accept;
    }

    LRESULT accept = TRUE;
    bool sawCreateStruct = false;
};

HWND CreateChild(HWND client, void* object)
{
    MDICREATESTRUCTA create = {};
    create.szClass = "CMDIChildClass";
    create.szTitle = "child";
    create.hOwner = GetModuleHandleA(nullptr);
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    create.lParam = reinterpret_cast<LPARAM>(object);
    return reinterpret_cast<HWND>(
        SendMessageA(client, WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
}
} // namespace

TEST(MdiChildTest, OnlyALiveDialogObjectIsBound)
{
    StartFramework();
    HWND frame = CreateForeignWindow();
    ASSERT_NE(frame, nullptr);
    CLIENTCREATESTRUCT clientCreate = {};
    HWND client = CreateWindowExA(0, "MDICLIENT", nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 200, 100,
                                  frame, nullptr, GetModuleHandleA(nullptr), &clientCreate);
    ASSERT_NE(client, nullptr);

    MdiDialog accepted;
    HWND child = CreateChild(client, &accepted);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(accepted.GetSafeHwnd(), child);
    EXPECT_TRUE(accepted.OwnsWindow());
    EXPECT_TRUE(accepted.sawCreateStruct);

    MdiDialog refusing;
    refusing.accept = FALSE;
    EXPECT_EQ(CreateChild(client, &refusing), nullptr);
    EXPECT_EQ(refusing.GetSafeHwnd(), nullptr);

    // A window object that is no dialog, and a value that is no object:
    // the child is made without an object.
    CWindow plain;
    HWND unbound = CreateChild(client, &plain);
    ASSERT_NE(unbound, nullptr);
    EXPECT_EQ(plain.GetSafeHwnd(), nullptr);
    int notAnObject = 0;
    EXPECT_NE(CreateChild(client, &notAnObject), nullptr);

    DestroyWindow(frame);
    EXPECT_EQ(accepted.GetSafeHwnd(), nullptr);
}
