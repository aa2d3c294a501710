// The class procedure of "CMDIChildClass" (declared in FrameworkHooks.h).
//
// An MDI child is created with its object as the application value of the
// MDICREATESTRUCTA. At WM_NCCREATE that object is bound to the window
// (owning it) and its OnInitDialog runs with the CREATESTRUCTA; a zero
// answer makes the creation fail. Only a live dialog object is bound: any
// other value, and a window of this class created outside an MDI client
// (whose create parameter is no MDICREATESTRUCTA), gets the system's MDI
// child handling alone. After the binding the window runs through the
// framework's procedure, whose fallback is this one.
#include "foundation/Dialog.h"
#include "foundation/FrameworkHooks.h"

namespace
{
// The dialog object named by the creation, or null.
CDialog* DialogOfCreation(const CREATESTRUCTA* create)
{
    if (create == nullptr || (create->dwExStyle & WS_EX_MDICHILD) == 0 ||
        create->lpCreateParams == nullptr)
        return nullptr;
    const auto* mdi = static_cast<const MDICREATESTRUCTA*>(create->lpCreateParams);
    void* candidate = reinterpret_cast<void*>(mdi->lParam);
    if (!g_windowList.Contains(candidate))
        return nullptr;
    return dynamic_cast<CDialog*>(static_cast<CWindow*>(candidate));
}
} // namespace

LRESULT CALLBACK MdiChildWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
    {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        if (CDialog* dialog = DialogOfCreation(create))
        {
            try
            {
                if (!dialog->Attach(window, true))
                    return 0;
                if (dialog->OnInitDialog(lParam, nullptr) == 0)
                    return 0;
            }
            catch (...)
            {
                // No exception crosses into the system's window creation.
                OutputDebugStringA("Brindlewox: an MDI child's set-up failed\n");
                return 0;
            }
        }
    }
    return DefMDIChildProcA(window, message, wParam, lParam);
}
