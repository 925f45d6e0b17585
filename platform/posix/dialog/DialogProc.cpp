// The dialog class: its default window procedure, which hands each message
// to the dialog's own procedure first, and the classes' registration.
#include <mutex>

#include "dialog/DialogManager.h"
#include "display/Display.h"

namespace rmwin32 {

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

const char kDialogClass[] = "#32770";
const char kButtonClass[] = "Button";
const char kStaticClass[] = "Static";

namespace {

INT_PTR CallDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    DLGPROC pfnDlgProc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hDlg, DWLP_DLGPROC));
    return pfnDlgProc != nullptr ? pfnDlgProc(hDlg, message, wParam, lParam) : FALSE;
}

HWND DefaultButton(HWND hDlg)
{
    for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
    {
        if (IsButton(h) && (Style(h) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return h;
    }
    return nullptr;
}

// What the dialog does with a message its dialog procedure left alone.
LRESULT DefDialogHandling(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_CLOSE:
        // The close box is the cancel command, as Esc is.
        SendCommand(hDlg, IDCANCEL);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hDlg, &ps);
        Display().Paint(hDlg);
        EndPaint(hDlg, &ps);
        return 0;
    }
    case WM_ICONERASEBKGND:
    case WM_ERASEBKGND:
        return TRUE;
    case DM_GETDEFID: {
        HWND hDefault = DefaultButton(hDlg);
        return hDefault != nullptr ? MAKELONG(GetDlgCtrlID(hDefault), DC_HASDEFID) : 0;
    }
    case WM_COMMAND:
        return 0;
    default:
        return DefWindowProcA(hDlg, message, wParam, lParam);
    }
}

// The dialog's own procedure gets each message first; most results then come
// back through DWLP_MSGRESULT, a few directly, as on Windows.
LRESULT CALLBACK DefDlgProcImpl(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR nHandled = CallDialogProc(hDlg, message, wParam, lParam);
    if (nHandled)
    {
        switch (message)
        {
        case WM_INITDIALOG:
        case WM_QUERYDRAGICON:
            return nHandled;
        default:
            return GetWindowLongPtrA(hDlg, DWLP_MSGRESULT);
        }
    }
    if (message == WM_INITDIALOG)
        return 0;
    return DefDialogHandling(hDlg, message, wParam, lParam);
}

void RegisterClass(const char* pszName, WNDPROC pfnProc, int cbWndExtra)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = pfnProc;
    wc.cbWndExtra = cbWndExtra;
    wc.lpszClassName = pszName;
    RegisterClassA(&wc);
}

}  // namespace

void RegisterDialogClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClass(kDialogClass, DefDlgProcImpl, DLGWINDOWEXTRA);
        RegisterClass(kButtonClass, ButtonProc, kButtonExtra);
        RegisterClass(kStaticClass, StaticProc, 0);
    });
}

LONG_PTR Style(HWND hWnd)
{
    return GetWindowLongPtrA(hWnd, GWL_STYLE);
}

bool IsOwnChild(HWND hDlg, HWND hWnd)
{
    // GetParent of a popup is its owner, so the walk stops at the first
    // window that is not a child.
    for (HWND h = hWnd; h != nullptr; h = GetParent(h))
    {
        if (h == hDlg)
            return true;
        if (!(Style(h) & WS_CHILD))
            return false;
    }
    return false;
}

void SendCommand(HWND hDlg, WORD wId)
{
    SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(wId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, wId)));
}

}  // namespace rmwin32
