#include "display/Display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/DisplayChoice.h"
#include "kernel/Strings.h"

namespace rmwin32 {
namespace {

struct CDisplayEntry
{
    const char* pszName;
    CDisplay* (*pfnOpen)();
};

// In order of preference; the line output opens everywhere, so it ends the list.
const CDisplayEntry kDisplays[] = {
    {"x11", OpenX11Display},
    {"terminal", OpenTerminalDisplay},
    {"lines", OpenLineDisplay},
};

CDisplay* OpenForced(const char* pszName)
{
    for (const CDisplayEntry& entry : kDisplays)
    {
        if (CompareIgnoringCase(entry.pszName, pszName) == 0)
        {
            if (CDisplay* pDisplay = entry.pfnOpen())
                return pDisplay;
            std::fprintf(stderr, "RemoteMonitor: the %s display cannot be opened here.\n", entry.pszName);
            return nullptr;
        }
    }
    std::fprintf(stderr, "RemoteMonitor: no display is called \"%s\".\n", pszName);
    return nullptr;
}

CDisplay* Choose()
{
    const char* pszForced = std::getenv("REMOTEMONITOR_DISPLAY");
    if (pszForced != nullptr && *pszForced != '\0')
    {
        if (CDisplay* pDisplay = OpenForced(pszForced))
            return pDisplay;
    }
    for (const CDisplayEntry& entry : kDisplays)
    {
        if (CDisplay* pDisplay = entry.pfnOpen())
            return pDisplay;
    }
    return nullptr;  // not reached: the line output always opens
}

}  // namespace

CDisplay& Display()
{
    // Never destroyed: windows may still be painted while the process ends.
    static CDisplay* const s_pDisplay = Choose();
    return *s_pDisplay;
}

bool IsButton(HWND hWnd)
{
    char szClass[16] = {};
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return CompareIgnoringCase(szClass, "Button") == 0;
}

std::string WindowText(HWND hWnd)
{
    // One WM_GETTEXT: more text than this never fits a control of ours.
    char szText[512] = {};
    GetWindowTextA(hWnd, szText, sizeof szText);
    return szText;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    for (;;)
    {
        const size_t nEnd = text.find('\n', nStart);
        lines.push_back(text.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart));
        if (nEnd == std::string::npos)
            return lines;
        nStart = nEnd + 1;
    }
}

}  // namespace rmwin32

int GetSystemMetrics(int nIndex)
{
    return rmwin32::Display().GetSystemMetric(nIndex);
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon)
{
    return rmwin32::Display().DrawIcon(hDC, X, Y, hIcon);
}
