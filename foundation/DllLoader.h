// Optional system functions bound at run time by name, so that every program
// runs where a library or one of its functions is missing: CDllLoader owns
// one loaded library; CThemeLibrary is the table of uxtheme's entry points;
// CSessionNotifications binds wtsapi32's session notifications;
// GetLoadedFunction finds a function of a library the process has loaded
// already (user32's AnimateWindow and monitor functions, comctl32's
// InitCommonControlsEx).
//
// A missing library or function is never an error here: the binding is
// null, and each caller has its fallback (nothing drawn, no animation, the
// primary work area, ...).
#ifndef BRINDLEWOX_FOUNDATION_DLLLOADER_H
#define BRINDLEWOX_FOUNDATION_DLLLOADER_H

#include "foundation/Base.h"

#include <uxtheme.h>

// One library loaded with LoadLibraryA and freed with FreeLibrary when the
// loader goes.
class CDllLoader
{
public:
    CDllLoader() = default;
    // Loads the library; without it the loader holds nothing.
    explicit CDllLoader(const char* name);
    CDllLoader(const CDllLoader&) = delete;
    CDllLoader& operator=(const CDllLoader&) = delete;
    virtual ~CDllLoader();

    // Frees the library held, then loads this one; false when it cannot be
    // loaded (the loader then holds nothing).
    bool Load(const char* name);
    // Frees the library held (FreeLibrary), if any.
    void Free();
    // Frees the library held, then takes this module as its own.
    void Attach(HMODULE module);
    // Lets go of the module without freeing it, for a library that must
    // stay loaded for the life of the process; returns it.
    HMODULE Detach();

    HMODULE GetModule() const { return m_hModule; }
    bool IsLoaded() const { return m_hModule != nullptr; }

    // The named function of the library; null without a library or when it
    // has no such function.
    FARPROC GetProcAddress(const char* name) const;
    template <class Function> Function GetFunction(const char* name) const
    {
        return reinterpret_cast<Function>(GetProcAddress(name));
    }

private:
    HMODULE m_hModule = nullptr;
};

// The named function of a library that is already loaded (GetModuleHandleA,
// no reference taken); null when the library is not loaded or lacks it.
FARPROC GetLoadedProcAddress(const char* library, const char* name);
template <class Function> Function GetLoadedFunction(const char* library, const char* name)
{
    return reinterpret_cast<Function>(GetLoadedProcAddress(library, name));
}

// The theme entry table: uxtheme's functions, each looked up by name the
// first time it is called and kept. Without the library, or without one of
// its functions, each call answers as a system without visual styles would:
// no theme handle, not themed, nothing drawn.
class CThemeLibrary
{
public:
    // Loads the library (uxtheme.dll for the framework's table).
    explicit CThemeLibrary(const char* libraryName);
    CThemeLibrary(const CThemeLibrary&) = delete;
    CThemeLibrary& operator=(const CThemeLibrary&) = delete;
    virtual ~CThemeLibrary();

    bool IsLoaded() const { return m_library.IsLoaded(); }

    // Null when the library or the function is missing.
    HTHEME OpenThemeData(HWND window, const wchar_t* classList);
    // E_NOTIMPL when the function is missing; a null theme is not passed on.
    HRESULT CloseThemeData(HTHEME theme);
    // FALSE when the function is missing.
    BOOL IsAppThemed();
    // E_NOTIMPL (nothing drawn) when the function is missing.
    HRESULT DrawThemeBackground(HTHEME theme, HDC dc, int part, int state, const RECT* rect,
                                const RECT* clip);

private:
    enum Entry
    {
        OpenThemeDataEntry,
        CloseThemeDataEntry,
        IsAppThemedEntry,
        DrawThemeBackgroundEntry,
        EntryCount
    };
    template <class Function> Function Bind(Entry entry);

    CDllLoader m_library;
    FARPROC m_entries[EntryCount] = {};
    bool m_looked[EntryCount] = {};
};

// wtsapi32's WTSRegisterSessionNotification and
// WTSUnRegisterSessionNotification. When the library lacks the register
// function it is freed again and nothing is available.
class CSessionNotifications
{
public:
    // Loads the library (wtsapi32.dll for the programs) and binds both.
    explicit CSessionNotifications(const char* libraryName);
    CSessionNotifications(const CSessionNotifications&) = delete;
    CSessionNotifications& operator=(const CSessionNotifications&) = delete;
    virtual ~CSessionNotifications();

    bool IsAvailable() const { return m_register != nullptr; }
    // Asks for WM_WTSSESSION_CHANGE messages to the window (flags
    // NOTIFY_FOR_THIS_SESSION, 0, or NOTIFY_FOR_ALL_SESSIONS); false when
    // unavailable or refused. (Wine 8's function succeeds and never sends a
    // notification.)
    bool Register(HWND window, DWORD flags) const;
    // Withdraws the request; false when unavailable or refused.
    bool Unregister(HWND window) const;

private:
    using RegisterFunction = BOOL(WINAPI*)(HWND, DWORD);
    using UnregisterFunction = BOOL(WINAPI*)(HWND);

    CDllLoader m_library;
    RegisterFunction m_register = nullptr;
    UnregisterFunction m_unregister = nullptr;
};

#endif
