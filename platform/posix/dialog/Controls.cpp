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

// Pushed by Space, so that its release clicks; beside BST_PUSHED, which is
// only the look.
const LONG_PTR kSpaceHeld = 0x40;

LONG_PTR ButtonState(HWND hButton)
{
    return GetWindowLongPtrA(hButton, 0);
}

void SetButtonState(HWND hButton, LONG_PTR state)
{
    if (state == ButtonState(hButton))
        return;
    SetWindowLongPtrA(hButton, 0, state);
    Display().InvalidateControl(hButton);
}

// As Windows does: pushed while Space is down (its repeats change nothing),
// clicked on the release, unless the press was undone in between.
void OnSpace(HWND hButton, bool bDown)
{
    const LONG_PTR state = ButtonState(hButton);
    if (bDown)
    {
        SetButtonState(hButton, state | BST_PUSHED | kSpaceHeld);
        return;
    }
    if (!(state & kSpaceHeld))
        return;
    SetButtonState(hButton, state & ~(BST_PUSHED | kSpaceHeld));
    Click(hButton);
}

}  // namespace

void CancelKeyPress(HWND hButton)
{
    if (ButtonState(hButton) & kSpaceHeld)
        SetButtonState(hButton, ButtonState(hButton) & ~(BST_PUSHED | kSpaceHeld));
}

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_GETDLGCODE:
        return DLGC_BUTTON |
               ((Style(hWnd) & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case WM_KEYDOWN:
    case WM_KEYUP:
        if (wParam == VK_SPACE)
            OnSpace(hWnd, message == WM_KEYDOWN);
        return 0;
    case BM_CLICK:
        Click(hWnd);
        return 0;
    case BM_GETSTATE:
        return ButtonState(hWnd) & BST_PUSHED;
    case BM_SETSTATE:
        SetButtonState(hWnd, wParam ? ButtonState(hWnd) | BST_PUSHED : ButtonState(hWnd) & ~BST_PUSHED);
        return 0;
    case WM_KILLFOCUS:
        // Space held on a button that loses the focus clicks nothing.
        CancelKeyPress(hWnd);
        Display().InvalidateControl(hWnd);
        return 0;
    case WM_SETFOCUS:
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
