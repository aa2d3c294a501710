// CMultiMon: the display monitors, through the five multi-monitor functions
// of user32 bound by name at run time (the programs work without them: every
// query then falls back to the primary work area of SPI_GETWORKAREA).
//
// Used to centre windows, to place the file dialog and to keep balloons on
// their anchor's monitor.
#ifndef BRINDLEWOX_FOUNDATION_MULTIMON_H
#define BRINDLEWOX_FOUNDATION_MULTIMON_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/Geometry.h"

class CMultiMon
{
public:
    // Binds the functions from the already loaded user32.dll; when all five
    // exist, lists every monitor in enumeration order.
    CMultiMon();
    CMultiMon(const CMultiMon&) = delete;
    CMultiMon& operator=(const CMultiMon&) = delete;
    virtual ~CMultiMon();

    // True only when all five functions were found.
    bool IsAvailable() const { return m_available; }
    int GetMonitorCount() const { return m_monitors.GetSize(); }
    HMONITOR GetMonitor(int index) const { return m_monitors[index]; }
    // The monitor's index in the list, or -1.
    int FindMonitor(HMONITOR monitor) const;

    // The system's answers; null when the functions are missing.
    HMONITOR MonitorFromPoint(POINT point, DWORD flags) const;
    HMONITOR MonitorFromRect(const RECT& rect, DWORD flags) const;
    HMONITOR MonitorFromWindow(HWND window, DWORD flags) const;
    // The work area of a monitor (MONITORINFO of 40 bytes); false, output
    // untouched, when it cannot be read.
    bool GetMonitorWorkArea(HMONITOR monitor, RECT& workArea) const;

    // The work area of the listed monitor nearest to the point or window;
    // without multi-monitor support, or for a monitor that is not listed,
    // the primary work area (SPI_GETWORKAREA). False, output untouched, only
    // when even that cannot be read.
    bool GetWorkAreaNearPoint(POINT point, RECT& workArea) const;
    bool GetWorkAreaNearWindow(HWND window, RECT& workArea) const;

private:
    bool GetListedWorkArea(HMONITOR monitor, RECT& workArea) const;
    static BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM self);

    using EnumDisplayMonitorsFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
    using GetMonitorInfoFn = BOOL(WINAPI*)(HMONITOR, LPMONITORINFO);
    using MonitorFromPointFn = HMONITOR(WINAPI*)(POINT, DWORD);
    using MonitorFromRectFn = HMONITOR(WINAPI*)(LPCRECT, DWORD);
    using MonitorFromWindowFn = HMONITOR(WINAPI*)(HWND, DWORD);

    CArray<HMONITOR> m_monitors;
    EnumDisplayMonitorsFn m_enumDisplayMonitors = nullptr;
    GetMonitorInfoFn m_getMonitorInfo = nullptr;
    MonitorFromPointFn m_monitorFromPoint = nullptr;
    MonitorFromRectFn m_monitorFromRect = nullptr;
    MonitorFromWindowFn m_monitorFromWindow = nullptr;
    bool m_available = false;
};

// The primary work area (SPI_GETWORKAREA); false, output untouched, when the
// system does not answer.
bool GetPrimaryWorkArea(RECT& workArea);

// Keeps a window of the given size at `position` inside the work area: x is
// lowered so that the right edge does not pass the work area's right edge,
// then raised to at least its left edge (the left edge wins for a window
// wider than the work area); y the same with bottom and top.
CPoint KeepInsideWorkArea(CPoint position, CSize size, const RECT& workArea);

#endif
