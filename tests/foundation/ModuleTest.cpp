#include "foundation/BuiltinImages.h"
#include "foundation/Exception.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Module.h"
#include "foundation/Window.h"

#include "tests/support/Surface.h"
#include "tests/support/WindowTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// An allocation no heap can satisfy.
void* AllocateTheImpossible()
{
    void* volatile block = ::operator new(static_cast<size_t>(1) << 62);
    return block;
}

void ExpectHotSpot(HCURSOR cursor, DWORD x, DWORD y)
{
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(info.xHotspot, x);
    EXPECT_EQ(info.yHotspot, y);
    DeleteObject(info.hbmMask);
    if (info.hbmColor != nullptr)
        DeleteObject(info.hbmColor);
}

class CreatedCounter : public CWindow
{
public:
    LRESULT OnCreate(CREATESTRUCTA*) override
    {
        ++creations;
        return CreateNotHandled;
    }
    int creations = 0;
};
} // namespace

TEST(ModuleTest, InitRegistersTheClassesAndMakesTheBuiltins)
{
    SKIP_UNLESS_FRAMEWORK_IS_FRESH();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    ModuleState* state = GetModuleState();
    ASSERT_TRUE(state->Init(instance, "-switch value", SW_SHOWMINIMIZED));
    EXPECT_STREQ(state->GetCommandLineText(), "-switch value");
    EXPECT_EQ(state->GetShowCommand(), SW_SHOWMINIMIZED);
    EXPECT_EQ(state->GetInstanceHandle(), instance);
    EXPECT_EQ(state->GetResourceHandle(), instance);
    EXPECT_EQ(state->GetOSVersion().dwOSVersionInfoSize, 148u);
    EXPECT_TRUE(state->IsNT());
    // Wine 8 without a manifest reports comctl32 5.81.
    EXPECT_GE(state->GetComCtlMajorVersion(), 5u);
    EXPECT_TRUE(state->AreClassesRegistered());

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    ASSERT_TRUE(GetClassInfoExA(instance, "CWindowClass", &windowClass));
    EXPECT_EQ(windowClass.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    EXPECT_EQ(windowClass.lpfnWndProc, &CWindow::WindowProcedure);
    EXPECT_EQ(windowClass.hIcon, state->GetLargeIcon());
    ASSERT_TRUE(GetClassInfoExA(instance, "CMDIChildClass", &windowClass));
    EXPECT_EQ(windowClass.lpfnWndProc, &MdiChildWindowProcedure);
    ASSERT_TRUE(GetClassInfoExA(instance, "CDSWindowClass", &windowClass));
    EXPECT_EQ(windowClass.lpfnWndProc, &CWindow::WindowProcedure);
    EXPECT_NE(windowClass.style & CS_DBLCLKS, 0u);

    EXPECT_NE(state->GetSystemSmallImageList(), nullptr);
    EXPECT_NE(state->GetPatternBrush(), nullptr);
    BITMAP pattern = {};
    ASSERT_EQ(GetObjectA(state->GetPatternBitmap(), sizeof(pattern), &pattern),
              static_cast<int>(sizeof(pattern)));
    EXPECT_EQ(pattern.bmWidth, 8);
    EXPECT_EQ(pattern.bmHeight, 8);
    EXPECT_EQ(pattern.bmBitsPixel, 1);

    ExpectHotSpot(state->GetCursor(HandCursor), 5, 0);
    ExpectHotSpot(state->GetCursor(MoveCursor), 15, 15);
    ExpectHotSpot(state->GetCursor(NoDropCursor), 15, 15);
    EXPECT_EQ(state->GetCursor(3), nullptr);
    EXPECT_EQ(GetFrameworkCursor(HandCursor), state->GetCursor(HandCursor));
    EXPECT_EQ(GetFrameworkCursor(-1), nullptr);
    for (int i = 0; i < ModuleState::IconCount; ++i)
        EXPECT_NE(state->GetIcon(i), nullptr) << i;
    EXPECT_EQ(ImageList_GetImageCount(state->GetImageList()), ModuleState::IconCount);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(state->GetImageList(), &width, &height);
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height, 16);
}

TEST(ModuleTest, TheCheckMarkImageIsDrawnPixelForPixel)
{
    StartFramework();
    Surface surface(16, 16, RGB(255, 255, 255));
    ASSERT_TRUE(surface.IsReady());
    ASSERT_TRUE(ImageList_Draw(GetModuleState()->GetImageList(), CheckMarkIcon, surface.Dc(), 0, 0,
                               ILD_NORMAL));
    auto at = [&](int x, int y) { return surface.Pixel(x, y); };
    // Black where the check mark's strokes are, untouched white around.
    EXPECT_EQ(at(2, 6), 0u);
    EXPECT_EQ(at(11, 4), 0u);
    EXPECT_EQ(at(5, 11), 0u);
    EXPECT_EQ(at(0, 0), 0xFFFFFFu);
    EXPECT_EQ(at(14, 14), 0xFFFFFFu);
    EXPECT_EQ(at(11, 9), 0xFFFFFFu);
}

TEST(ModuleTest, InitTakesTheNameExtraClassesAndCommonControls)
{
    SKIP_UNLESS_FRAMEWORK_IS_FRESH();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA extra = {};
    extra.cbSize = sizeof(extra);
    extra.lpszClassName = "BrindlewoxExtraTestClass";
    ModuleState* state = GetModuleState();
    ASSERT_TRUE(state->Init(instance, "", SW_SHOW, nullptr, MAKEINTRESOURCEA(kTestAppName), &extra,
                            1, ICC_TREEVIEW_CLASSES));
    EXPECT_STREQ(state->GetAppName(), "Framework Test Application");
    ASSERT_EQ(state->GetExtraClassNames().GetSize(), 1);
    EXPECT_STREQ(state->GetExtraClassNames()[0], "BrindlewoxExtraTestClass");

    // The extra class got the framework procedure and the application icon,
    // so its windows run through the handlers.
    WNDCLASSEXA registered = {};
    registered.cbSize = sizeof(registered);
    ASSERT_TRUE(GetClassInfoExA(instance, "BrindlewoxExtraTestClass", &registered));
    EXPECT_EQ(registered.lpfnWndProc, &CWindow::WindowProcedure);
    EXPECT_EQ(registered.hIcon, state->GetLargeIcon());
    CreatedCounter window;
    ASSERT_TRUE(window.CreateEx(0, "BrindlewoxExtraTestClass", "extra", WS_OVERLAPPEDWINDOW, 0, 0,
                                100, 100, nullptr, nullptr));
    EXPECT_EQ(window.creations, 1);

    EXPECT_TRUE(InitCommonControlsSafe(ICC_TREEVIEW_CLASSES));
    HWND tree = CreateWindowExA(0, WC_TREEVIEWA, "", WS_CHILD, 0, 0, 50, 50, window.GetHwnd(),
                                nullptr, instance, nullptr);
    EXPECT_NE(tree, nullptr);
}

TEST(ModuleTest, InitFailsForAMissingIcon)
{
    SKIP_UNLESS_FRAMEWORK_IS_FRESH();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_FALSE(GetModuleState()->Init(instance, "", SW_SHOW, "NoSuchIcon"));
}

TEST(ModuleTest, InitFailsForAMissingNameResource)
{
    SKIP_UNLESS_FRAMEWORK_IS_FRESH();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    EXPECT_FALSE(GetModuleState()->Init(instance, "", SW_SHOW, nullptr, MAKEINTRESOURCEA(1998)));
}

TEST(ModuleTest, AnExhaustedAllocatorRaisesCMemoryException)
{
    GetModuleState();
    CString expected;
    expected.FormatErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
    const char* firstText = nullptr;
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        try
        {
            AllocateTheImpossible();
            FAIL() << "the allocation succeeded";
        }
        catch (const CMemoryException& e)
        {
            EXPECT_EQ(e.GetErrorCode(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            EXPECT_STREQ(e.GetErrorText(), expected);
            // Every report shares the text prepared at start-up: nothing is
            // formatted (or allocated) while memory is short.
            if (attempt == 0)
                firstText = e.GetErrorText();
            else
                EXPECT_EQ(static_cast<const char*>(e.GetErrorText()), firstText);
        }
    }
    // The handler is the module state's and raises without allocating again.
    std::new_handler handler = std::get_new_handler();
    ASSERT_NE(handler, nullptr);
    EXPECT_THROW(handler(), CMemoryException);
}

TEST(ModuleTest, AcceleratorTablesAndTheDropShadowQuery)
{
    ModuleState* state = GetModuleState();
    ACCEL entry = {FVIRTKEY | FCONTROL, 'S', 100};
    HACCEL table = CreateAcceleratorTableA(&entry, 1);
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(state->AddAcceleratorTable(table));
    EXPECT_FALSE(state->AddAcceleratorTable(nullptr));
    // Whatever the system says, the answer is a flag.
    BOOL shadow = ModuleState::GetDropShadow();
    EXPECT_TRUE(shadow == TRUE || shadow == FALSE);
}
