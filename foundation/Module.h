// ModuleState: the framework's application object, one per process, made on
// first use. It holds the instance and resource handles, the OS and
// common-controls versions, the registered window classes and the shared
// cursors, icons and brushes, starts the framework up (Init) and tears it
// down at process exit.
//
// The first GetModuleState() also installs the allocation-failure handler:
// from then on every failed allocation of the process (operator new, and so
// CString and the arrays) raises CMemoryException with code 8 and the
// system's text for it. That exception is prepared at the same moment, so
// reporting an exhausted allocator never needs memory.
#ifndef BRINDLEWOX_FOUNDATION_MODULE_H
#define BRINDLEWOX_FOUNDATION_MODULE_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

#include <commctrl.h>

class ModuleState
{
public:
    static constexpr int CursorCount = 3;
    static constexpr int IconCount = 10;

    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    // The start-up of the framework, run first thing by each program's entry:
    // stores the command line, show command, OS version and instance; installs
    // the menu hook; loads the application icons (the named icon resource,
    // large and 16 by 16, or the system's application icon); reads the
    // comctl32 version; sets the application name (a text, or a string
    // resource when the pointer is an id); takes the system's small-icon list;
    // makes the built-in cursors, icons and pattern brush; registers
    // "CWindowClass", "CMDIChildClass", "CDSWindowClass" and the caller's
    // extra classes (a class without a procedure gets the framework's, one
    // without an icon the large application icon); initialises the requested
    // common-control classes. False at the first failure; the programs then
    // end without a window. Run once per process.
    bool Init(HINSTANCE instance, const char* commandLine, int showCommand,
              const char* iconName = nullptr, const char* appName = nullptr,
              const WNDCLASSEXA* extraClasses = nullptr, int extraCount = 0,
              DWORD commonControls = 0);

    // The instance handle; the running program's module until Init sets it.
    // Every window and dialog is created with it.
    HINSTANCE GetInstanceHandle();
    // The module string and other resources are loaded from; the instance
    // handle until set otherwise.
    HINSTANCE GetResourceHandle();
    void SetResourceHandle(HINSTANCE module) { m_hResource = module; }

    // The OS version record (size field 148). Read by Init; read on first use
    // when Init has not run. The platform id is compared with 2 (NT).
    const OSVERSIONINFOA& GetOSVersion();
    bool IsNT() { return GetOSVersion().dwPlatformId == VER_PLATFORM_WIN32_NT; }
    // comctl32's DllGetVersion; both 0 when it was not known.
    DWORD GetComCtlMajorVersion() const { return m_comCtlMajor; }
    DWORD GetComCtlMinorVersion() const { return m_comCtlMinor; }

    const CString& GetCommandLineText() const { return m_commandLine; }
    int GetShowCommand() const { return m_showCommand; }
    const CString& GetAppName() const { return m_appName; }
    HICON GetLargeIcon() const { return m_hLargeIcon; }
    HICON GetSmallIcon() const { return m_hSmallIcon; }
    bool AreClassesRegistered() const { return m_classesRegistered; }
    const CStringArray& GetExtraClassNames() const { return m_extraClassNames; }

    // The shell's image list of small system icons (not owned: never
    // destroyed).
    HIMAGELIST GetSystemSmallImageList() const { return m_hSystemSmallImages; }
    // Built-in cursors (0 the pointing hand, hot spot 5,0; 1 the four-way
    // move and 2 the no-drop sign, hot spot 15,15) and icons (see
    // BuiltinImages.h; icon 2 is the menu check mark), and the 16 by 16
    // masked image list holding the icons in the same order.
    HCURSOR GetCursor(int index) const;
    HICON GetIcon(int index) const;
    HIMAGELIST GetImageList() const { return m_hImageList; }
    // The 8 by 8 one-bit halftone pattern and its brush.
    HBITMAP GetPatternBitmap() const { return m_hPatternBitmap; }
    HBRUSH GetPatternBrush() const { return m_hPatternBrush; }

    // The global atom that names the popup-menu hook's window property.
    // Set by InstallMenuHook; whoever deletes the atom sets it back to 0.
    ATOM GetMenuHookAtom() const { return m_menuHookAtom; }
    void SetMenuHookAtom(ATOM atom) { m_menuHookAtom = atom; }

    // An accelerator table the module state destroys at exit.
    bool AddAcceleratorTable(HACCEL table);

    // SPI_GETDROPSHADOW; 0 when the call fails (Wine 8 answers 0, so menus
    // and balloons draw their own shadow there).
    static BOOL GetDropShadow();

private:
    friend ModuleState* GetModuleState();
    friend void DestroyModuleState();
    ModuleState() = default;
    ~ModuleState();

    bool RegisterFrameworkClasses();
    void UnregisterClasses();

    HINSTANCE m_hInstance = nullptr;
    HINSTANCE m_hResource = nullptr;
    HIMAGELIST m_hSystemSmallImages = nullptr;
    HCURSOR m_hCursors[CursorCount] = {};
    OSVERSIONINFOA m_osVersion = {};
    ATOM m_menuHookAtom = 0;
    CString m_appName;
    CSimpleArray<HACCEL> m_acceleratorTables;
    HICON m_hLargeIcon = nullptr;
    HICON m_hSmallIcon = nullptr;
    // The icons came from the program's resources (the system's shared
    // application icon is never destroyed).
    bool m_ownsAppIcons = false;
    bool m_classesRegistered = false;
    CString m_commandLine;
    int m_showCommand = 0;
    CStringArray m_extraClassNames;
    HBITMAP m_hPatternBitmap = nullptr;
    HBRUSH m_hPatternBrush = nullptr;
    HICON m_hIcons[IconCount] = {};
    HIMAGELIST m_hImageList = nullptr;
    DWORD m_comCtlMajor = 0;
    DWORD m_comCtlMinor = 0;
};

// The process's module state, created on first use (on the main thread,
// before any worker starts: there is no lock). The first call installs the
// allocation-failure handler and registers the clean-up that runs at process
// exit: the temporary object lists are emptied, then everything the module
// state made is destroyed and its classes unregistered.
ModuleState* GetModuleState();

// The module state's built-in cursor of the index (0 the pointing hand, see
// ModuleState::GetCursor); the module state is made on first use. Null for
// an index outside 0..2 or before Init made the cursors.
HCURSOR GetFrameworkCursor(int index);

// Initialises common-control classes that are not initialised yet: with
// comctl32's InitCommonControlsEx when it exports one, else with the old
// InitCommonControls (which initialises them all). True when the classes
// are (or already were) initialised.
bool InitCommonControlsSafe(DWORD classes);

static_assert(sizeof(OSVERSIONINFOA) == 148, "the OS version record has 148 bytes");

#endif
