#include "tests/support/OwnDesktop.h"

#include <atomic>
#include <cstdio>
#include <thread>

bool RunOnOwnDesktop(const std::function<void()>& body)
{
    static std::atomic<int> counter{0};
    char name[64];
    snprintf(name, sizeof(name), "bwtest-%lu-%d", GetCurrentProcessId(), ++counter);
    HDESK desktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    if (desktop == nullptr)
        return false;
    bool joined = false;
    // A thread joins a desktop only while it has no window and no hook: a
    // fresh one.
    std::thread runner(
        [&]
        {
            joined = SetThreadDesktop(desktop) != FALSE;
            if (joined)
                body();
        });
    runner.join();
    CloseDesktop(desktop);
    return joined;
}
