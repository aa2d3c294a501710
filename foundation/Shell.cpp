#include "foundation/Shell.h"

LPITEMIDLIST PathToPidl(const char* path)
{
    if (path == nullptr)
        return nullptr;
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr)
        return nullptr;
    // At most MAX_PATH characters with the terminator: a longer path is
    // refused rather than parsed cut short.
    wchar_t wide[MAX_PATH] = {};
    LPITEMIDLIST list = nullptr;
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, wide, MAX_PATH) > 0)
    {
        ULONG attributes = 0;
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &list, &attributes)))
            list = nullptr;
    }
    desktop->Release();
    return list;
}
