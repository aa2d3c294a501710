#include "foundation/Module.h"

#include "foundation/BuiltinImages.h"
#include "foundation/DllLoader.h"
#include "foundation/Exception.h"
#include "foundation/FrameworkHooks.h"
#include "foundation/Window.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstdlib>
#include <new>

namespace
{
ModuleState* g_moduleState = nullptr;

// The common-control classes already initialised: a mask of ICC_ bits, or
// all bits once the old InitCommonControls ran.
DWORD g_initialisedCommonControls = 0;

const char kWindowClass[] = "CWindowClass";
const char kMdiChildClass[] = "CMDIChildClass";
const char kDropShadowClass[] = "CDSWindowClass";

// Raises CMemoryException when the allocator runs dry. The exception is
// built in storage set aside when the module state is made: reporting a
// shortage of memory must not itself need memory. Throwing a copy only
// shares the prepared message, and the runtime takes the exception object
// from its emergency pool when the heap is exhausted.
alignas(CMemoryException) unsigned char g_reserve[sizeof(CMemoryException)];
CMemoryException* g_prototype = nullptr;

void OnAllocationFailure()
{
    if (g_prototype != nullptr)
        throw CMemoryException(*g_prototype);
    throw std::bad_alloc();
}

void DestroyIconHandle(HICON& icon)
{
    if (icon != nullptr)
        DestroyIcon(icon);
    icon = nullptr;
}
} // namespace

// Runs from the runtime's exit list: first the temporary wrappers (each
// gives its handle back untouched), then everything the module state made.
void DestroyModuleState()
{
    DestroyTemporaryMenus();
    DestroyTemporaryDCs();
    CWindow::DestroyTemporaryWindows();
    DestroyTemporaryGdiObjects();
    delete g_moduleState;
    g_moduleState = nullptr;
}

ModuleState* GetModuleState()
{
    if (g_moduleState == nullptr)
    {
        g_moduleState = new ModuleState();
        if (g_prototype == nullptr)
        {
            CString text;
            text.FormatErrorMessage(ERROR_NOT_ENOUGH_MEMORY);
            g_prototype = new (g_reserve) CMemoryException(ERROR_NOT_ENOUGH_MEMORY, text);
            std::set_new_handler(OnAllocationFailure);
        }
        std::atexit(DestroyModuleState);
    }
    return g_moduleState;
}

ModuleState::~ModuleState()
{
    for (HCURSOR& cursor : m_hCursors)
    {
        if (cursor != nullptr)
            DestroyCursor(cursor);
        cursor = nullptr;
    }
    for (int i = 0; i < m_acceleratorTables.GetSize(); ++i)
        DestroyAcceleratorTable(m_acceleratorTables[i]);
    m_acceleratorTables.SetSize(0);
    if (m_ownsAppIcons)
    {
        DestroyIconHandle(m_hLargeIcon);
        DestroyIconHandle(m_hSmallIcon);
    }
    for (HICON& icon : m_hIcons)
        DestroyIconHandle(icon);
    UnregisterClasses();
    if (m_hPatternBrush != nullptr)
        DeleteObject(m_hPatternBrush);
    if (m_hPatternBitmap != nullptr)
        DeleteObject(m_hPatternBitmap);
    if (m_hImageList != nullptr)
        ImageList_Destroy(m_hImageList);
    // The hook's atom is deleted once: by RemoveMenuHook when it has it,
    // here when it was left behind.
    RemoveMenuHook();
    if (m_menuHookAtom != 0)
        GlobalDeleteAtom(m_menuHookAtom);
    m_menuHookAtom = 0;
}

HINSTANCE ModuleState::GetInstanceHandle()
{
    if (m_hInstance == nullptr)
        m_hInstance = GetModuleHandleA(nullptr);
    return m_hInstance;
}

HINSTANCE ModuleState::GetResourceHandle()
{
    if (m_hResource == nullptr)
        m_hResource = GetInstanceHandle();
    return m_hResource;
}

const OSVERSIONINFOA& ModuleState::GetOSVersion()
{
    if (m_osVersion.dwOSVersionInfoSize == 0)
    {
        m_osVersion.dwOSVersionInfoSize = sizeof(m_osVersion);
        if (!GetVersionExA(&m_osVersion))
        {
            m_osVersion = OSVERSIONINFOA();
            m_osVersion.dwOSVersionInfoSize = sizeof(m_osVersion);
        }
    }
    return m_osVersion;
}

HCURSOR ModuleState::GetCursor(int index) const
{
    return index >= 0 && index < CursorCount ? m_hCursors[index] : nullptr;
}

HICON ModuleState::GetIcon(int index) const
{
    return index >= 0 && index < IconCount ? m_hIcons[index] : nullptr;
}

bool ModuleState::AddAcceleratorTable(HACCEL table)
{
    return table != nullptr && m_acceleratorTables.Add(table) >= 0;
}

BOOL ModuleState::GetDropShadow()
{
    BOOL shadow = FALSE;
    if (!SystemParametersInfoA(SPI_GETDROPSHADOW, 0, &shadow, 0))
        return FALSE;
    return shadow;
}

bool ModuleState::Init(HINSTANCE instance, const char* commandLine, int showCommand,
                       const char* iconName, const char* appName, const WNDCLASSEXA* extraClasses,
                       int extraCount, DWORD commonControls)
{
    // 1. What the entry was given, and the OS version.
    m_commandLine = commandLine;
    m_showCommand = showCommand;
    m_osVersion = OSVERSIONINFOA();
    m_osVersion.dwOSVersionInfoSize = sizeof(m_osVersion);
    if (!GetVersionExA(&m_osVersion))
        return false;
    m_hInstance = instance;

    // 2. The popup-menu hook.
    if (!InstallMenuHook())
        return false;

    // 3. The application icons.
    if (iconName != nullptr)
    {
        HINSTANCE resources = GetResourceHandle();
        m_hLargeIcon =
            static_cast<HICON>(LoadImageA(resources, iconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
        m_hSmallIcon = static_cast<HICON>(LoadImageA(resources, iconName, IMAGE_ICON, 16, 16, 0));
        m_ownsAppIcons = true;
    }
    else
    {
        m_hLargeIcon = LoadIconA(nullptr, IDI_APPLICATION);
        m_hSmallIcon = m_hLargeIcon;
        m_ownsAppIcons = false;
    }
    if (m_hLargeIcon == nullptr || m_hSmallIcon == nullptr)
        return false;

    // 4. The comctl32 version, when the library says.
    m_comCtlMajor = 0;
    m_comCtlMinor = 0;
    if (auto getVersion = GetLoadedFunction<DLLGETVERSIONPROC>("comctl32.dll", "DllGetVersion"))
    {
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (SUCCEEDED(getVersion(&info)))
        {
            m_comCtlMajor = info.dwMajorVersion;
            m_comCtlMinor = info.dwMinorVersion;
        }
    }

    // 5. The application name.
    if (appName != nullptr)
    {
        if (IS_INTRESOURCE(appName))
        {
            if (!m_appName.LoadString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(appName))))
                return false;
        }
        else
        {
            m_appName = appName;
        }
    }

    // 6. The shell's small system icons (shared by the shell: not ours).
    char windowsFolder[MAX_PATH];
    if (GetWindowsDirectoryA(windowsFolder, sizeof(windowsFolder)) == 0)
        return false;
    SHFILEINFOA info = {};
    m_hSystemSmallImages = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
        windowsFolder, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (m_hSystemSmallImages == nullptr)
        return false;

    // 7. The built-in cursors and icons, and the image list of the icons.
    BYTE andMask[128];
    BYTE xorMask[128];
    for (int i = 0; i < CursorCount; ++i)
    {
        POINT hotSpot;
        if (!GetBuiltinCursorMasks(i, andMask, xorMask, hotSpot))
            return false;
        m_hCursors[i] = CreateCursor(instance, hotSpot.x, hotSpot.y, 32, 32, andMask, xorMask);
        if (m_hCursors[i] == nullptr)
            return false;
    }
    for (int i = 0; i < IconCount; ++i)
    {
        if (!GetBuiltinIconMasks(i, andMask, xorMask))
            return false;
        m_hIcons[i] = CreateIcon(instance, 32, 32, 1, 1, andMask, xorMask);
        if (m_hIcons[i] == nullptr)
            return false;
    }
    m_hImageList = ImageList_Create(16, 16, ILC_MASK, IconCount, 0);
    if (m_hImageList == nullptr)
        return false;
    for (HICON icon : m_hIcons)
        ImageList_ReplaceIcon(m_hImageList, -1, icon);

    // 8. The framework's window classes.
    if (!RegisterFrameworkClasses())
        return false;

    // 9. The program's own classes.
    for (int i = 0; i < extraCount; ++i)
    {
        WNDCLASSEXA windowClass = extraClasses[i];
        windowClass.cbSize = sizeof(windowClass);
        windowClass.hInstance = instance;
        if (windowClass.lpfnWndProc == nullptr)
            windowClass.lpfnWndProc = CWindow::WindowProcedure;
        if (windowClass.hIcon == nullptr)
            windowClass.hIcon = m_hLargeIcon;
        if (windowClass.hIconSm == nullptr)
            windowClass.hIconSm = m_hLargeIcon;
        if (!RegisterClassExA(&windowClass))
            return false;
        m_extraClassNames.Add(CString(windowClass.lpszClassName));
    }

    // 10. Common controls.
    if (commonControls != 0 && !InitCommonControlsSafe(commonControls))
        return false;

    // 11. The halftone pattern and its brush.
    m_hPatternBitmap = CreateBitmap(8, 8, 1, 1, GetPatternBits());
    if (m_hPatternBitmap != nullptr)
        m_hPatternBrush = CreatePatternBrush(m_hPatternBitmap);
    return m_hPatternBrush != nullptr;
}

bool ModuleState::RegisterFrameworkClasses()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = CWindow::WindowProcedure;
    windowClass.hInstance = m_hInstance;
    windowClass.hIcon = m_hLargeIcon;
    windowClass.hIconSm = m_hLargeIcon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&windowClass))
        return false;

    windowClass.lpfnWndProc = MdiChildWindowProcedure;
    windowClass.lpszClassName = kMdiChildClass;
    if (!RegisterClassExA(&windowClass))
    {
        UnregisterClassA(kWindowClass, m_hInstance);
        return false;
    }

    // A system that refuses CS_DROPSHADOW gets the class without it. (Wine 8
    // accepts the style and draws no shadow.)
    windowClass.lpfnWndProc = CWindow::WindowProcedure;
    windowClass.lpszClassName = kDropShadowClass;
    windowClass.style |= CS_DROPSHADOW;
    if (!RegisterClassExA(&windowClass))
    {
        windowClass.style &= ~static_cast<UINT>(CS_DROPSHADOW);
        if (!RegisterClassExA(&windowClass))
        {
            UnregisterClassA(kWindowClass, m_hInstance);
            UnregisterClassA(kMdiChildClass, m_hInstance);
            return false;
        }
    }
    m_classesRegistered = true;
    return true;
}

void ModuleState::UnregisterClasses()
{
    if (m_classesRegistered)
    {
        UnregisterClassA(kWindowClass, m_hInstance);
        UnregisterClassA(kMdiChildClass, m_hInstance);
        UnregisterClassA(kDropShadowClass, m_hInstance);
        m_classesRegistered = false;
    }
    for (int i = 0; i < m_extraClassNames.GetSize(); ++i)
        UnregisterClassA(m_extraClassNames[i], m_hInstance);
    m_extraClassNames.SetSize(0);
}

HCURSOR GetFrameworkCursor(int index)
{
    return GetModuleState()->GetCursor(index);
}

bool InitCommonControlsSafe(DWORD classes)
{
    if ((classes & ~g_initialisedCommonControls) == 0)
        return true;
    if (GetModuleHandleA("comctl32.dll") == nullptr)
        return false;
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    auto initEx = GetLoadedFunction<InitCommonControlsExFn>("comctl32.dll", "InitCommonControlsEx");
    if (initEx != nullptr)
    {
        INITCOMMONCONTROLSEX init = {};
        init.dwSize = sizeof(init);
        init.dwICC = classes;
        // Only classes the library really initialised count: a refused
        // request is tried again by the next caller.
        if (!initEx(&init))
            return false;
        g_initialisedCommonControls |= classes;
        return true;
    }
    InitCommonControls();
    g_initialisedCommonControls = 0xFFFFFFFF;
    return true;
}

static_assert(sizeof(DLLVERSIONINFO) == 20, "DllGetVersion is asked with its 20-byte record");
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "InitCommonControlsEx takes 8 bytes");
