#include "foundation/Shell.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShellTest, PathToPidlRoundTrip)
{
    CoInitialize(nullptr);
    char windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    LPITEMIDLIST list = PathToPidl(windows);
    ASSERT_NE(nullptr, list);
    char back[MAX_PATH] = {};
    EXPECT_TRUE(SHGetPathFromIDListA(list, back));
    EXPECT_EQ(0, lstrcmpiA(windows, back)) << back;
    CoTaskMemFree(list);

    EXPECT_EQ(nullptr, PathToPidl("?:\\nope"));
    EXPECT_EQ(nullptr, PathToPidl(nullptr));
    // Longer than MAX_PATH: refused, not parsed cut short.
    std::string longPath = "C:\\" + std::string(300, 'a');
    EXPECT_EQ(nullptr, PathToPidl(longPath.c_str()));
    CoUninitialize();
}
