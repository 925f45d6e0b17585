// The dialog keys (Tab and Shift-Tab, Enter, Esc), the tab order and the key
// state they read.
#include <vector>

#include "dialog/DialogManager.h"
#include "display/Display.h"

namespace {

thread_local BYTE t_keyState[256];

bool IsTabStop(HWND hWnd)
{
    // The controls' own styles, as the dialog may not be shown yet.
    return (rmwin32::Style(hWnd) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE);
}

HWND FocusedButton(HWND hDlg)
{
    HWND hFocus = GetFocus();
    return hFocus != nullptr && rmwin32::IsOwnChild(hDlg, hFocus) && rmwin32::IsButton(hFocus) ? hFocus : nullptr;
}

void PressEnter(HWND hDlg)
{
    if (HWND hFocus = FocusedButton(hDlg))
    {
        rmwin32::SendCommand(GetParent(hFocus), static_cast<WORD>(GetDlgCtrlID(hFocus)));
        return;
    }
    LRESULT lDef = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
    rmwin32::SendCommand(hDlg, HIWORD(lDef) == DC_HASDEFID ? LOWORD(lDef) : static_cast<WORD>(IDOK));
}

// True when the key is one of the dialog's own and has been acted on.
bool HandleDialogKey(HWND hDlg, WPARAM wKey)
{
    switch (wKey)
    {
    case VK_TAB:
        if (HWND hNext = GetNextDlgTabItem(hDlg, GetFocus(), GetKeyState(VK_SHIFT) < 0))
            SetFocus(hNext);
        return true;
    case VK_RETURN:
        PressEnter(hDlg);
        return true;
    case VK_ESCAPE:
        if (HWND hFocus = FocusedButton(hDlg))
            rmwin32::CancelKeyPress(hFocus);
        rmwin32::SendCommand(hDlg, IDCANCEL);
        return true;
    default:
        return false;
    }
}

}  // namespace

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious)
{
    std::vector<HWND> aControls;
    for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
        aControls.push_back(h);
    const int nControls = static_cast<int>(aControls.size());
    if (nControls == 0)
        return nullptr;

    int nStart = -1;
    for (int i = 0; i < nControls; ++i)
    {
        if (aControls[i] == hCtl)
            nStart = i;
    }
    for (int nStep = 1; nStep <= nControls; ++nStep)
    {
        int i;
        if (nStart < 0)
            i = bPrevious ? nControls - nStep : nStep - 1;
        else
            i = ((nStart + (bPrevious ? -nStep : nStep)) % nControls + nControls) % nControls;
        if (IsTabStop(aControls[i]))
            return aControls[i];
    }
    return hCtl;
}

short GetKeyState(int nVirtKey)
{
    return (t_keyState[nVirtKey & 0xFF] & 0x80) ? static_cast<short>(0x8000) : 0;
}

// Takes the dialog keys and hands everything else that is meant for the
// dialog or its controls to their window procedures.
BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg)
{
    if (lpMsg == nullptr || !IsWindow(hDlg) || !rmwin32::IsOwnChild(hDlg, lpMsg->hwnd))
        return FALSE;

    if (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_KEYUP)
        t_keyState[lpMsg->wParam & 0xFF] = lpMsg->message == WM_KEYDOWN ? 0x80 : 0;
    if (lpMsg->message == WM_KEYDOWN && HandleDialogKey(hDlg, lpMsg->wParam))
        return TRUE;
    if (lpMsg->message == WM_CHAR && (lpMsg->wParam == '\t' || lpMsg->wParam == '\r' || lpMsg->wParam == 0x1B))
        return TRUE;

    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}
