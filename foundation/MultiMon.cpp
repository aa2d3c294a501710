#include "foundation/MultiMon.h"

#include "foundation/DllLoader.h"

CMultiMon::CMultiMon()
{
    const char user32[] = "user32.dll";
    m_enumDisplayMonitors = GetLoadedFunction<EnumDisplayMonitorsFn>(user32, "EnumDisplayMonitors");
    m_getMonitorInfo = GetLoadedFunction<GetMonitorInfoFn>(user32, "GetMonitorInfoA");
    m_monitorFromPoint = GetLoadedFunction<MonitorFromPointFn>(user32, "MonitorFromPoint");
    m_monitorFromRect = GetLoadedFunction<MonitorFromRectFn>(user32, "MonitorFromRect");
    m_monitorFromWindow = GetLoadedFunction<MonitorFromWindowFn>(user32, "MonitorFromWindow");
    m_available = m_enumDisplayMonitors != nullptr && m_getMonitorInfo != nullptr &&
                  m_monitorFromPoint != nullptr && m_monitorFromRect != nullptr &&
                  m_monitorFromWindow != nullptr;
    if (m_available)
    {
        m_monitors.SetSize(0);
        m_enumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(this));
    }
}

CMultiMon::~CMultiMon() = default;

BOOL CALLBACK CMultiMon::AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM self)
{
    reinterpret_cast<CMultiMon*>(self)->m_monitors.Add(monitor);
    return TRUE;
}

int CMultiMon::FindMonitor(HMONITOR monitor) const
{
    for (int i = 0; i < m_monitors.GetSize(); ++i)
    {
        if (m_monitors[i] == monitor)
            return i;
    }
    return -1;
}

HMONITOR CMultiMon::MonitorFromPoint(POINT point, DWORD flags) const
{
    return m_available ? m_monitorFromPoint(point, flags) : nullptr;
}

HMONITOR CMultiMon::MonitorFromRect(const RECT& rect, DWORD flags) const
{
    return m_available ? m_monitorFromRect(&rect, flags) : nullptr;
}

HMONITOR CMultiMon::MonitorFromWindow(HWND window, DWORD flags) const
{
    return m_available ? m_monitorFromWindow(window, flags) : nullptr;
}

bool CMultiMon::GetMonitorWorkArea(HMONITOR monitor, RECT& workArea) const
{
    if (!m_available || monitor == nullptr)
        return false;
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!m_getMonitorInfo(monitor, &info))
        return false;
    workArea = info.rcWork;
    return true;
}

bool CMultiMon::GetListedWorkArea(HMONITOR monitor, RECT& workArea) const
{
    if (FindMonitor(monitor) >= 0 && GetMonitorWorkArea(monitor, workArea))
        return true;
    return GetPrimaryWorkArea(workArea);
}

bool CMultiMon::GetWorkAreaNearPoint(POINT point, RECT& workArea) const
{
    return GetListedWorkArea(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), workArea);
}

bool CMultiMon::GetWorkAreaNearWindow(HWND window, RECT& workArea) const
{
    return GetListedWorkArea(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), workArea);
}

bool GetPrimaryWorkArea(RECT& workArea)
{
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        return false;
    workArea = area;
    return true;
}

CPoint KeepInsideWorkArea(CPoint position, CSize size, const RECT& workArea)
{
    if (position.x + size.cx > workArea.right)
        position.x = workArea.right - size.cx;
    if (position.x < workArea.left)
        position.x = workArea.left;
    if (position.y + size.cy > workArea.bottom)
        position.y = workArea.bottom - size.cy;
    if (position.y < workArea.top)
        position.y = workArea.top;
    return position;
}

static_assert(sizeof(MONITORINFO) == 40, "MONITORINFO is read in its 40-byte form");
