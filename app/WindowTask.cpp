#include "app/WindowTask.h"

#include <memory>
#include <system_error>
#include <thread>

bool PostWhenDone(HWND window, UINT message, WPARAM wParam, std::function<LPARAM()> work,
                  LPARAM failed)
{
    try
    {
        std::thread thread([window, message, wParam, work = std::move(work), failed] {
            LPARAM result = failed;
            try
            {
                result = work();
            }
            catch (...)
            {
                // Nothing crosses the thread's edge: the window reports
                // the failure.
            }
            PostMessageA(window, message, wParam, result);
        });
        // Nothing waits for it: the work ends by itself (the waits in the
        // pipe and socket clients are bounded).
        thread.detach();
        return true;
    }
    catch (const std::system_error&)
    {
        return false;
    }
}
