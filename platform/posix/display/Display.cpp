#include "display/Display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/DisplayChoice.h"
#include "kernel/Strings.h"

namespace rmwin32 {
namespace {

struct CDisplayEntry
{
    const char* pszName;
    const char* pszShownAs;
    const char* pszAskedForBy;  // the environment variable that asks for this display, if any
    CDisplay* (*pfnOpen)();
};

// In order of preference; the line output opens everywhere, so it ends the list.
const CDisplayEntry kDisplays[] = {
    {"x11", "in a window", "DISPLAY", OpenX11Display},
    {"terminal", "in the terminal", nullptr, OpenTerminalDisplay},
    {"lines", "as lines on standard output", nullptr, OpenLineDisplay},
};

const CDisplayEntry* Find(const char* pszName)
{
    for (const CDisplayEntry& entry : kDisplays)
    {
        if (CompareIgnoringCase(entry.pszName, pszName) == 0)
            return &entry;
    }
    return nullptr;
}

// The value that asks for this display, or nullptr.
const char* AskedForAs(const CDisplayEntry& entry)
{
    const char* pszValue = entry.pszAskedForBy != nullptr ? std::getenv(entry.pszAskedForBy) : nullptr;
    return pszValue != nullptr && *pszValue != '\0' ? pszValue : nullptr;
}

std::string Described(const CDisplayEntry& entry)
{
    std::string text = std::string("the ") + entry.pszName + " display";
    if (const char* pszValue = AskedForAs(entry))
        text += std::string(" \"") + pszValue + "\"";
    return text;
}

// A display the user asked for, by REMOTEMONITOR_DISPLAY or by its own
// variable, that cannot be opened is named once, with the one used instead:
// the dialog turning up elsewhere without a word looks like a fault.
CDisplay* Choose()
{
    const CDisplayEntry* pRefused = nullptr;
    const char* pszForced = std::getenv("REMOTEMONITOR_DISPLAY");
    if (pszForced != nullptr && *pszForced != '\0')
    {
        pRefused = Find(pszForced);
        if (pRefused == nullptr)
            std::fprintf(stderr, "RemoteMonitor: no display is called \"%s\".\n", pszForced);
        else if (CDisplay* pDisplay = pRefused->pfnOpen())
            return pDisplay;
    }
    for (const CDisplayEntry& entry : kDisplays)
    {
        if (&entry == pRefused)
            continue;
        if (CDisplay* pDisplay = entry.pfnOpen())
        {
            if (pRefused != nullptr)
                std::fprintf(stderr, "RemoteMonitor: %s cannot be opened here; showing the dialog %s instead.\n",
                             Described(*pRefused).c_str(), entry.pszShownAs);
            return pDisplay;
        }
        if (pRefused == nullptr && AskedForAs(entry) != nullptr)
            pRefused = &entry;
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
