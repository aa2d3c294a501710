// Work the main window hands to a thread of its own, so that it repaints
// and answers while the work waits on the service or the network: the
// thread runs the work and posts its result to the window, which finishes
// the command on its own thread when the message comes.
#ifndef BRINDLEWOX_APP_WINDOWTASK_H
#define BRINDLEWOX_APP_WINDOWTASK_H

#include "foundation/Base.h"

#include <functional>

// The results the window's threads post: wParam what was done (a
// RegistryTool), lParam the work's result.
constexpr UINT WM_REGISTRY_TOOL_DONE = 0x1230;
constexpr UINT WM_SUPPORT_FORM_DONE = 0x1234;

// Runs the work on a new thread and posts (message, wParam, its result) to
// the window. The work must own everything it uses, never the window's
// object: the window may go first, and the post then finds no window and
// the result is dropped. A work that throws posts `failed`. False when no
// thread could be begun: nothing runs and nothing is posted.
bool PostWhenDone(HWND window, UINT message, WPARAM wParam, std::function<LPARAM()> work,
                  LPARAM failed);

#endif
