#include "foundation/DllLoader.h"

CDllLoader::CDllLoader(const char* name)
{
    Load(name);
}

CDllLoader::~CDllLoader()
{
    Free();
}

bool CDllLoader::Load(const char* name)
{
    Free();
    if (name != nullptr)
        m_hModule = LoadLibraryA(name);
    return m_hModule != nullptr;
}

void CDllLoader::Free()
{
    if (m_hModule != nullptr)
        FreeLibrary(m_hModule);
    m_hModule = nullptr;
}

void CDllLoader::Attach(HMODULE module)
{
    Free();
    m_hModule = module;
}

HMODULE CDllLoader::Detach()
{
    HMODULE module = m_hModule;
    m_hModule = nullptr;
    return module;
}

FARPROC CDllLoader::GetProcAddress(const char* name) const
{
    if (m_hModule == nullptr || name == nullptr)
        return nullptr;
    return ::GetProcAddress(m_hModule, name);
}

FARPROC GetLoadedProcAddress(const char* library, const char* name)
{
    HMODULE module = GetModuleHandleA(library);
    if (module == nullptr || name == nullptr)
        return nullptr;
    return ::GetProcAddress(module, name);
}

namespace
{
const char* const kThemeEntryNames[] = {"OpenThemeData", "CloseThemeData", "IsAppThemed",
                                        "DrawThemeBackground"};

using OpenThemeDataFunction = HTHEME(WINAPI*)(HWND, LPCWSTR);
using CloseThemeDataFunction = HRESULT(WINAPI*)(HTHEME);
using IsAppThemedFunction = BOOL(WINAPI*)();
using DrawThemeBackgroundFunction = HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*,
                                                     const RECT*);
} // namespace

CThemeLibrary::CThemeLibrary(const char* libraryName) : m_library(libraryName) {}

CThemeLibrary::~CThemeLibrary() = default;

template <class Function> Function CThemeLibrary::Bind(Entry entry)
{
    static_assert(sizeof(kThemeEntryNames) / sizeof(kThemeEntryNames[0]) == EntryCount,
                  "one name per entry");
    if (!m_looked[entry])
    {
        m_looked[entry] = true;
        m_entries[entry] = m_library.GetProcAddress(kThemeEntryNames[entry]);
    }
    return reinterpret_cast<Function>(m_entries[entry]);
}

HTHEME CThemeLibrary::OpenThemeData(HWND window, const wchar_t* classList)
{
    auto function = Bind<OpenThemeDataFunction>(OpenThemeDataEntry);
    return function != nullptr ? function(window, classList) : nullptr;
}

HRESULT CThemeLibrary::CloseThemeData(HTHEME theme)
{
    auto function = Bind<CloseThemeDataFunction>(CloseThemeDataEntry);
    if (function == nullptr || theme == nullptr)
        return E_NOTIMPL;
    return function(theme);
}

BOOL CThemeLibrary::IsAppThemed()
{
    auto function = Bind<IsAppThemedFunction>(IsAppThemedEntry);
    return function != nullptr ? function() : FALSE;
}

HRESULT CThemeLibrary::DrawThemeBackground(HTHEME theme, HDC dc, int part, int state,
                                           const RECT* rect, const RECT* clip)
{
    auto function = Bind<DrawThemeBackgroundFunction>(DrawThemeBackgroundEntry);
    if (function == nullptr)
        return E_NOTIMPL;
    return function(theme, dc, part, state, rect, clip);
}

CSessionNotifications::CSessionNotifications(const char* libraryName) : m_library(libraryName)
{
    m_register = m_library.GetFunction<RegisterFunction>("WTSRegisterSessionNotification");
    m_unregister = m_library.GetFunction<UnregisterFunction>("WTSUnRegisterSessionNotification");
    if (m_register == nullptr)
    {
        m_unregister = nullptr;
        m_library.Free();
    }
}

CSessionNotifications::~CSessionNotifications() = default;

bool CSessionNotifications::Register(HWND window, DWORD flags) const
{
    return m_register != nullptr && m_register(window, flags) != FALSE;
}

bool CSessionNotifications::Unregister(HWND window) const
{
    return m_unregister != nullptr && m_unregister(window) != FALSE;
}
