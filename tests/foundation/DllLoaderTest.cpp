#include "foundation/DllLoader.h"

#include "foundation/Controls.h"
#include "foundation/Dc.h"
#include "foundation/StaticSetup.h"

#include <gtest/gtest.h>

#include <type_traits>

namespace
{
const char kMissingLibrary[] = "brindlewox-no-such-library.dll";
} // namespace

TEST(DllLoaderTest, MissingLibrariesAndFunctionsBindToNothing)
{
    static_assert(!std::is_copy_constructible_v<CDllLoader>);
    static_assert(!std::is_copy_constructible_v<CThemeLibrary>);
    static_assert(!std::is_copy_constructible_v<CSessionNotifications>);
    static_assert(!std::is_copy_constructible_v<CImageList>);
    static_assert(!std::is_copy_constructible_v<CWaitCursor>);

    CDllLoader missing(kMissingLibrary);
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(missing.GetProcAddress("GradientFill"), nullptr);

    CDllLoader present("msimg32.dll");
    ASSERT_TRUE(present.IsLoaded());
    EXPECT_NE(present.GetProcAddress("GradientFill"), nullptr);
    EXPECT_EQ(present.GetProcAddress("NoSuchFunction"), nullptr);
    EXPECT_FALSE(present.Load(kMissingLibrary));
    EXPECT_EQ(present.GetModule(), nullptr);

    EXPECT_EQ(GetLoadedProcAddress("user32.dll", "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLoadedProcAddress(kMissingLibrary, "AnimateWindow"), nullptr);
    EXPECT_NE(GetLoadedProcAddress("user32.dll", "AnimateWindow"), nullptr);
}

TEST(DllLoaderTest, ThemeAndSessionCallsDegradeWithoutTheirFunctions)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    RECT rect = {0, 0, 4, 4};
    HDC dc = CreateCompatibleDC(nullptr);

    // No library, and a library that has none of the functions.
    for (const char* name : {kMissingLibrary, "kernel32.dll"})
    {
        CThemeLibrary themes(name);
        EXPECT_EQ(themes.OpenThemeData(window, L"BUTTON"), nullptr) << name;
        EXPECT_FALSE(themes.IsAppThemed()) << name;
        EXPECT_EQ(themes.CloseThemeData(reinterpret_cast<HTHEME>(1)), E_NOTIMPL) << name;
        EXPECT_EQ(themes.DrawThemeBackground(nullptr, dc, 1, 1, &rect, nullptr), E_NOTIMPL) << name;

        CSessionNotifications sessions(name);
        EXPECT_FALSE(sessions.IsAvailable()) << name;
        EXPECT_FALSE(sessions.Register(window, 0)) << name;
        EXPECT_FALSE(sessions.Unregister(window)) << name;
    }

    // The real libraries. Wine 8 has visual styles on, a
    // WTSRegisterSessionNotification that only answers success and a
    // WTSUnRegisterSessionNotification that only answers failure.
    CThemeLibrary& themes = GetThemeLibrary();
    ASSERT_TRUE(themes.IsLoaded());
    EXPECT_TRUE(themes.IsAppThemed());
    HTHEME theme = themes.OpenThemeData(window, L"BUTTON");
    EXPECT_NE(theme, nullptr);
    EXPECT_EQ(themes.CloseThemeData(theme), S_OK);
    CSessionNotifications sessions("wtsapi32.dll");
    ASSERT_TRUE(sessions.IsAvailable());
    EXPECT_TRUE(sessions.Register(window, 0));
    sessions.Unregister(window);
    DeleteDC(dc);
    DestroyWindow(window);
}

TEST(StaticSetupTest, TheStaticSetUpRanBeforeTheEntry)
{
    EXPECT_NE(GetTaskbarCreatedMessage(), 0u);
    EXPECT_EQ(GetTaskbarCreatedMessage(), RegisterWindowMessageA("TaskbarCreated"));

    // The gradients bind in the msimg32.dll the set-up keeps loaded.
    ASSERT_TRUE(GetGradientLibrary().IsLoaded());
    EXPECT_EQ(GetModuleHandleA("msimg32.dll"), GetGradientLibrary().GetModule());
    EXPECT_EQ(reinterpret_cast<FARPROC>(CDC::GetGradientFillFunction()),
              GetGradientLibrary().GetProcAddress("GradientFill"));
}
