// The modal loop of a dialog and EndDialog, which ends it.
#include <map>
#include <mutex>

#include "dialog/DialogManager.h"
#include "display/Display.h"

namespace rmwin32 {
namespace {

struct CModalState
{
    bool bEnded = false;
    INT_PTR nResult = 0;
};

// Modal state of the running dialogs, by window. Only the thread that runs a
// dialog touches its entry, but dialogs of different threads share the map.
std::mutex g_modalLock;
std::map<HWND, CModalState> g_modal;

// Whether EndDialog has been called on the dialog, and with what result.
bool IsEnded(HWND hDlg, INT_PTR* pnResult)
{
    std::lock_guard<std::mutex> lock(g_modalLock);
    auto it = g_modal.find(hDlg);
    if (it == g_modal.end())
        return true;
    if (it->second.bEnded && pnResult != nullptr)
        *pnResult = it->second.nResult;
    return it->second.bEnded;
}

void Show(HWND hDlg, BOOL bSetFocus)
{
    ShowWindow(hDlg, SW_SHOW);
    if (bSetFocus)
    {
        if (HWND hFirst = GetNextDlgTabItem(hDlg, nullptr, FALSE))
            SetFocus(hFirst);
    }
    InvalidateRect(hDlg, nullptr, TRUE);
}

INT_PTR Loop(HWND hDlg)
{
    INT_PTR nResult = -1;
    MSG msg;
    while (!IsEnded(hDlg, &nResult) && IsWindow(hDlg))
    {
        BOOL bGot = GetMessageA(&msg, nullptr, 0, 0);
        if (bGot == 0)
        {
            // The quit belongs to the loop outside this one.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (bGot < 0)
            break;
        if (!IsDialogMessageA(hDlg, &msg))
        {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return nResult;
}

}  // namespace

void BeginModal(HWND hDlg)
{
    std::lock_guard<std::mutex> lock(g_modalLock);
    g_modal[hDlg];
}

INT_PTR RunModal(HWND hDlg, BOOL bSetFocus)
{
    Display().AttachDialog(hDlg);
    // A dialog ended from WM_INITDIALOG is never shown.
    if (!IsEnded(hDlg, nullptr))
        Show(hDlg, bSetFocus);
    const INT_PTR nResult = Loop(hDlg);
    Display().DetachDialog(hDlg);
    {
        std::lock_guard<std::mutex> lock(g_modalLock);
        g_modal.erase(hDlg);
    }
    if (IsWindow(hDlg))
        DestroyWindow(hDlg);
    return nResult;
}

}  // namespace rmwin32

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    {
        std::lock_guard<std::mutex> lock(rmwin32::g_modalLock);
        auto it = rmwin32::g_modal.find(hDlg);
        if (it == rmwin32::g_modal.end())
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        it->second.bEnded = true;
        it->second.nResult = nResult;
    }
    ShowWindow(hDlg, SW_HIDE);
    // Wakes the loop, which looks at the flag between messages.
    PostMessageA(hDlg, WM_NULL, 0, 0);
    return TRUE;
}
