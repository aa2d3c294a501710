// The MDI child procedure of FrameworkHooks.h as it stands while the
// framework has no MDI child objects: "CMDIChildClass" windows get the
// system's default MDI child handling. The part that binds MDI children to
// their objects deletes this file and defines the procedure itself.
#include "foundation/FrameworkHooks.h"

LRESULT CALLBACK MdiChildWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefMDIChildProcA(window, message, wParam, lParam);
}
