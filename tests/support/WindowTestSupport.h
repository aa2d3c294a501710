// Helpers of the window, dialog and module-state tests: the framework start-up
// once per test process, message pumping, and a foreign window class whose
// own procedure answers in a recognisable way.
#ifndef BRINDLEWOX_TESTS_SUPPORT_WINDOWTESTSUPPORT_H
#define BRINDLEWOX_TESTS_SUPPORT_WINDOWTESTSUPPORT_H

#include "foundation/Module.h"
#include "tests/support/MessagePump.h"

#include <gtest/gtest.h>

// Ids of tests/foundation/WindowTests.rc.
constexpr UINT kTestDialog = 1000;
constexpr UINT kTestEdit = 1001;
constexpr UINT kTestActionButton = 1002;
constexpr UINT kTestLabel = 1003;
constexpr UINT kTestString = 1100;
constexpr UINT kTestAppName = 1101;
constexpr UINT kMissingTemplate = 1999;

// Messages the foreign procedure answers itself.
constexpr UINT kForeignQuery = WM_APP + 1;
constexpr LRESULT kForeignAnswer = 77;

// Runs ModuleState::Init for this process unless it ran already (ctest runs
// each test as its own process; a run of the whole program starts the
// framework once).
inline void StartFramework()
{
    if (!GetModuleState()->AreClassesRegistered())
    {
        ASSERT_TRUE(
            GetModuleState()->Init(GetModuleHandleA(nullptr), "test command line", SW_SHOWNORMAL));
    }
}

// For tests of Init itself, which registers the classes once per process.
#define SKIP_UNLESS_FRAMEWORK_IS_FRESH()                                                           \
    if (GetModuleState()->AreClassesRegistered())                                                  \
    GTEST_SKIP() << "Init already ran in this process; the test runs alone under ctest"

inline LRESULT CALLBACK ForeignProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kForeignQuery)
        return kForeignAnswer;
    return DefWindowProcA(window, message, wParam, lParam);
}

// A top-level window of a class the framework does not know.
inline HWND CreateForeignWindow()
{
    static ATOM atom = 0;
    if (atom == 0)
    {
        WNDCLASSEXA windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = ForeignProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "BrindlewoxForeignTestClass";
        atom = RegisterClassExA(&windowClass);
    }
    return CreateWindowExA(0, "BrindlewoxForeignTestClass", "foreign", WS_OVERLAPPEDWINDOW, 0, 0,
                           200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

inline WNDPROC WindowProcedureOf(HWND window)
{
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC));
}

#endif
