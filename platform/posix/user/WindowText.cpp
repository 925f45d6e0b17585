// A window's text, through the messages its procedure answers.
#include "user/User.h"

using rmwin32::ApiCall;
using rmwin32::SendMessageImpl;

BOOL SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    return ApiCall([&]() -> BOOL {
        return SendMessageImpl(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0 ? TRUE : FALSE;
    });
}

int GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount)
{
    return ApiCall([&]() -> int {
        if (lpString == nullptr || nMaxCount <= 0)
            return 0;
        lpString[0] = '\0';
        return static_cast<int>(
            SendMessageImpl(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
    });
}

int GetWindowTextLengthA(HWND hWnd)
{
    return ApiCall([&] { return static_cast<int>(SendMessageImpl(hWnd, WM_GETTEXTLENGTH, 0, 0)); });
}
