// The two control classes of the dialog manager: push buttons and static
// controls. How they look is the display's business; they tell it when.
#include <string>

#include "dialog/DialogManager.h"
#include "display/Display.h"

namespace rmwin32 {
namespace {

LRESULT PaintControl(HWND hWnd)
{
    PAINTSTRUCT ps;
    if (BeginPaint(hWnd, &ps) != nullptr)
    {
        Display().Paint(hWnd);
        EndPaint(hWnd, &ps);
    }
    return 0;
}

// The text as the window holds it, without a message to the window itself.
std::string OwnText(HWND hWnd)
{
    std::string text(static_cast<size_t>(DefWindowProcA(hWnd, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
    text.resize(static_cast<size_t>(DefWindowProcA(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]))));
    return text;
}

void Click(HWND hButton)
{
    SendCommand(GetParent(hButton), static_cast<WORD>(GetDlgCtrlID(hButton)));
}

}  // namespace

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_GETDLGCODE:
        return DLGC_BUTTON |
               ((Style(hWnd) & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_KEYDOWN:
        if (wParam == VK_SPACE)
            Click(hWnd);
        return 0;
    case BM_CLICK:
        Click(hWnd);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        Display().InvalidateControl(hWnd);
        return 0;
    case WM_SETTEXT: {
        LRESULT lResult = DefWindowProcA(hWnd, message, wParam, lParam);
        Display().InvalidateControl(hWnd);
        return lResult;
    }
    case WM_PAINT:
        return PaintControl(hWnd);
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_SETTEXT: {
        const std::string old = OwnText(hWnd);
        LRESULT lResult = DefWindowProcA(hWnd, message, wParam, lParam);
        const char* pszText = reinterpret_cast<const char*>(lParam);
        const std::string text = pszText != nullptr ? pszText : "";
        if (text != old)
        {
            Display().ReportFieldText(hWnd, text);
            Display().InvalidateControl(hWnd);
        }
        return lResult;
    }
    case WM_PAINT:
        return PaintControl(hWnd);
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

}  // namespace rmwin32
