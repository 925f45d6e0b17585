// The monitor a new dialog is centred on, as Windows centres a dialog on one
// monitor, never across two: the one holding the pointer, else the primary,
// as RandR (1.5, its monitors) or Xinerama tell; else the whole screen.
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>

#include <vector>

#include "display/X11Display.h"

namespace rmwin32 {
namespace {

struct CMonitor
{
    RECT rc;
    bool bPrimary;
};

std::vector<CMonitor> RandrMonitors(::Display* pDisplay, Window root)
{
    std::vector<CMonitor> monitors;
    int nEventBase = 0, nErrorBase = 0, nMajor = 0, nMinor = 0;
    if (!XRRQueryExtension(pDisplay, &nEventBase, &nErrorBase) || !XRRQueryVersion(pDisplay, &nMajor, &nMinor) ||
        nMajor * 100 + nMinor < 105)
        return monitors;
    int nMonitors = 0;
    XRRMonitorInfo* pInfo = XRRGetMonitors(pDisplay, root, True, &nMonitors);
    for (int i = 0; pInfo != nullptr && i < nMonitors; ++i)
    {
        const XRRMonitorInfo& info = pInfo[i];
        monitors.push_back({{info.x, info.y, info.x + info.width, info.y + info.height}, info.primary != 0});
    }
    if (pInfo != nullptr)
        XRRFreeMonitors(pInfo);
    return monitors;
}

std::vector<CMonitor> XineramaMonitors(::Display* pDisplay)
{
    std::vector<CMonitor> monitors;
    int nEventBase = 0, nErrorBase = 0;
    if (!XineramaQueryExtension(pDisplay, &nEventBase, &nErrorBase) || !XineramaIsActive(pDisplay))
        return monitors;
    int nScreens = 0;
    XineramaScreenInfo* pInfo = XineramaQueryScreens(pDisplay, &nScreens);
    for (int i = 0; pInfo != nullptr && i < nScreens; ++i)
    {
        const XineramaScreenInfo& info = pInfo[i];
        // Xinerama has no primary; its first screen stands for it.
        monitors.push_back(
            {{info.x_org, info.y_org, info.x_org + info.width, info.y_org + info.height}, monitors.empty()});
    }
    XFree(pInfo);
    return monitors;
}

bool Holds(const RECT& rc, int x, int y)
{
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

long Area(const RECT& rc)
{
    return static_cast<long>(rc.right - rc.left) * (rc.bottom - rc.top);
}

}  // namespace

RECT DialogMonitor(::Display* pDisplay, int nScreen)
{
    const Window root = RootWindow(pDisplay, nScreen);
    std::vector<CMonitor> monitors = RandrMonitors(pDisplay, root);
    if (monitors.empty())
        monitors = XineramaMonitors(pDisplay);
    RECT whole = {0, 0, DisplayWidth(pDisplay, nScreen), DisplayHeight(pDisplay, nScreen)};
    if (monitors.empty())
        return whole;
    Window rootBack = 0, child = 0;
    int x = 0, y = 0, xWin = 0, yWin = 0;
    unsigned int nMask = 0;
    if (XQueryPointer(pDisplay, root, &rootBack, &child, &x, &y, &xWin, &yWin, &nMask))
    {
        // The smallest: a monitor set on part of an output's (xrandr
        // --setmonitor) leaves the output's own in the list.
        const CMonitor* pHolder = nullptr;
        for (const CMonitor& monitor : monitors)
        {
            if (Holds(monitor.rc, x, y) && (pHolder == nullptr || Area(monitor.rc) < Area(pHolder->rc)))
                pHolder = &monitor;
        }
        if (pHolder != nullptr)
            return pHolder->rc;
    }
    for (const CMonitor& monitor : monitors)
    {
        if (monitor.bPrimary)
            return monitor.rc;
    }
    return monitors.front().rc;
}

}  // namespace rmwin32
