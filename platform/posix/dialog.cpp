// The dialog manager: dialogs built from binary templates, their default
// window procedure, the modal loop, dialog keys, and message boxes, which are
// dialogs built in code. Buttons and static controls are the two control
// classes the tool's templates use.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <strings.h>

#include "dlgtemplate.h"
#include "resource_impl.h"
#include "terminal.h"

namespace {

const char kDialogClass[] = "#32770";
const char kButtonClass[] = "Button";
const char kStaticClass[] = "Static";

// Dialog units to window coordinates: a dialog unit is a quarter of a cell
// across and an eighth of a cell down.
int DuToX(int du) { return du * rmterm::kCellWidth / 4; }
int DuToY(int du) { return du * rmterm::kCellHeight / 8; }

struct CModalState
{
    bool bEnded = false;
    INT_PTR nResult = 0;
};

// Modal state of the running dialogs, by window. Only the thread that runs a
// dialog touches its entry, but dialogs of different threads share the map.
std::mutex g_modalLock;
std::map<HWND, CModalState> g_modal;

thread_local BYTE t_keyState[256];

LONG_PTR Style(HWND hWnd) { return GetWindowLongPtrA(hWnd, GWL_STYLE); }

// The dialog itself or one of its controls. GetParent of a popup is its
// owner, so the walk stops at the first window that is not a child: a
// message box owned by the dialog is not part of it.
bool IsOwnChild(HWND hDlg, HWND hWnd)
{
    for (HWND h = hWnd; h != nullptr; h = GetParent(h)) {
        if (h == hDlg)
            return true;
        if (!(Style(h) & WS_CHILD))
            return false;
    }
    return false;
}


void Click(HWND hButton)
{
    HWND hParent = GetParent(hButton);
    SendMessageA(hParent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hButton), BN_CLICKED),
                 reinterpret_cast<LPARAM>(hButton));
}

// Every visible change of a control shows on the one screen its dialog is on.
void InvalidateDialogOf(HWND hCtl)
{
    HWND hParent = GetParent(hCtl);
    InvalidateRect(hParent != nullptr ? hParent : hCtl, nullptr, FALSE);
}

LRESULT CALLBACK ButtonProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_BUTTON | ((Style(hWnd) & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON
                                                                               : DLGC_UNDEFPUSHBUTTON);
    case WM_KEYDOWN:
        if (wParam == VK_SPACE)
            Click(hWnd);
        return 0;
    case BM_CLICK:
        Click(hWnd);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateDialogOf(hWnd);
        return 0;
    case WM_SETTEXT: {
        LRESULT lResult = DefWindowProcA(hWnd, message, wParam, lParam);
        InvalidateDialogOf(hWnd);
        return lResult;
    }
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK StaticProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    case WM_SETTEXT: {
        std::string old(static_cast<size_t>(DefWindowProcA(hWnd, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
        old.resize(static_cast<size_t>(
            DefWindowProcA(hWnd, WM_GETTEXT, old.size(), reinterpret_cast<LPARAM>(&old[0]))));
        LRESULT lResult = DefWindowProcA(hWnd, message, wParam, lParam);
        const char* pszText = reinterpret_cast<const char*>(lParam);
        const std::string text = pszText != nullptr ? pszText : "";
        if (text != old) {
            rmterm::ReportFieldText(hWnd, text);
            InvalidateDialogOf(hWnd);
        }
        return lResult;
    }
    default:
        return DefWindowProcA(hWnd, message, wParam, lParam);
    }
}

INT_PTR CallDialogProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    DLGPROC pfnDlgProc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hDlg, DWLP_DLGPROC));
    return pfnDlgProc != nullptr ? pfnDlgProc(hDlg, message, wParam, lParam) : FALSE;
}

HWND DefaultButton(HWND hDlg)
{
    for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) {
        if (rmterm::IsButton(h) && (Style(h) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return h;
    }
    return nullptr;
}

// What the dialog does with a message its dialog procedure left alone.
LRESULT DefDialogHandling(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        // The close box is the cancel command, as Esc is.
        SendMessageA(hDlg, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hDlg, &ps);
        rmterm::PaintScreen();
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
    if (nHandled) {
        switch (message) {
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

void RegisterDialogClasses()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefDlgProcImpl;
        wc.cbWndExtra = DLGWINDOWEXTRA;
        wc.lpszClassName = kDialogClass;
        RegisterClassA(&wc);

        wc = WNDCLASSA();
        wc.lpfnWndProc = ButtonProc;
        wc.lpszClassName = kButtonClass;
        RegisterClassA(&wc);

        wc = WNDCLASSA();
        wc.lpfnWndProc = StaticProc;
        wc.lpszClassName = kStaticClass;
        RegisterClassA(&wc);
    });
}

HWND FirstTabStop(HWND hDlg)
{
    return GetNextDlgTabItem(hDlg, nullptr, FALSE);
}

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

// From here on EndDialog works on the dialog, WM_INITDIALOG included.
void BeginModal(HWND hDlg)
{
    std::lock_guard<std::mutex> lock(g_modalLock);
    g_modal[hDlg];
}

// Shows the dialog, gives it the focus and runs its loop until EndDialog.
INT_PTR RunModal(HWND hDlg, BOOL bSetFocus)
{

    rmterm::AttachDialog(hDlg);
    // A dialog ended from WM_INITDIALOG is never shown.
    if (!IsEnded(hDlg, nullptr)) {
        ShowWindow(hDlg, SW_SHOW);
        if (bSetFocus) {
            if (HWND hFirst = FirstTabStop(hDlg))
                SetFocus(hFirst);
        }
        InvalidateRect(hDlg, nullptr, TRUE);
    }

    INT_PTR nResult = -1;
    MSG msg;
    for (;;) {
        if (IsEnded(hDlg, &nResult) || !IsWindow(hDlg))
            break;
        BOOL bGot = GetMessageA(&msg, nullptr, 0, 0);
        if (bGot == 0) {
            // The quit belongs to the loop outside this one.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (bGot < 0)
            break;
        if (!IsDialogMessageA(hDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    rmterm::DetachDialog(hDlg);
    {
        std::lock_guard<std::mutex> lock(g_modalLock);
        g_modal.erase(hDlg);
    }
    if (IsWindow(hDlg))
        DestroyWindow(hDlg);
    return nResult;
}

// The whole-screen geometry of a message box follows its text.
struct CTextSize
{
    int nColumns = 0;
    int nLines = 0;
};

CTextSize MeasureText(const std::string& text)
{
    CTextSize size;
    for (const std::string& line : rmterm::SplitLines(text)) {
        size.nColumns = std::max(size.nColumns, static_cast<int>(line.size()));
        ++size.nLines;
    }
    return size;
}

INT_PTR CALLBACK MessageBoxProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        // An OK-only box answers OK however it is dismissed.
        EndDialog(hDlg, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool rmterm::IsButton(HWND hWnd)
{
    char szClass[16] = {};
    GetClassNameA(hWnd, szClass, sizeof szClass);
    return strcasecmp(szClass, kButtonClass) == 0;
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    RegisterDialogClasses();
    rmres::DialogTemplate tmpl;
    // A template carries no size of its own: one from our resources is
    // bounded by its resource, any other by the 64 KiB any real one fits in.
    size_t nSize = rmwin32::ResourceSizeFromData(hDialogTemplate);
    if (nSize == 0)
        nSize = 0x10000;
    if (hDialogTemplate == nullptr || !rmres::ParseDialogTemplate(hDialogTemplate, nSize, &tmpl)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }

    const std::string className = tmpl.windowClass.empty() ? std::string(kDialogClass) : tmpl.windowClass;
    HWND hDlg = CreateWindowExA(tmpl.exStyle, className.c_str(), tmpl.title.c_str(),
                                tmpl.style & ~static_cast<DWORD>(WS_VISIBLE), DuToX(tmpl.x), DuToY(tmpl.y),
                                DuToX(tmpl.cx), DuToY(tmpl.cy), hWndParent, nullptr, hInstance, nullptr);
    if (hDlg == nullptr)
        return -1;
    SetWindowLongPtrA(hDlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(lpDialogFunc));

    for (const rmres::DialogItem& item : tmpl.items) {
        HWND hCtl = CreateWindowExA(item.exStyle, item.className.c_str(), item.title.c_str(), item.style,
                                    DuToX(item.x), DuToY(item.y), DuToX(item.cx), DuToY(item.cy), hDlg,
                                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(static_cast<WORD>(item.id))),
                                    hInstance, nullptr);
        if (hCtl == nullptr) {
            DestroyWindow(hDlg);
            return -1;
        }
    }

    BeginModal(hDlg);
    BOOL bSetFocus = static_cast<BOOL>(SendMessageA(hDlg, WM_INITDIALOG,
                                                    reinterpret_cast<WPARAM>(FirstTabStop(hDlg)), dwInitParam));
    return RunModal(hDlg, bSetFocus);
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult)
{
    {
        std::lock_guard<std::mutex> lock(g_modalLock);
        auto it = g_modal.find(hDlg);
        if (it == g_modal.end()) {
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

HWND GetNextDlgTabItem(HWND hDlg, HWND hCtl, BOOL bPrevious)
{
    HWND hFirst = GetWindow(hDlg, GW_CHILD);
    if (hFirst == nullptr)
        return nullptr;
    std::vector<HWND> aControls;
    for (HWND h = hFirst; h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
        aControls.push_back(h);
    const int nControls = static_cast<int>(aControls.size());

    int nStart = -1;
    for (int i = 0; i < nControls; ++i) {
        if (aControls[i] == hCtl)
            nStart = i;
    }
    for (int nStep = 1; nStep <= nControls; ++nStep) {
        int i;
        if (nStart < 0)
            i = bPrevious ? nControls - nStep : nStep - 1;
        else
            i = ((nStart + (bPrevious ? -nStep : nStep)) % nControls + nControls) % nControls;
        HWND h = aControls[i];
        // The controls' own styles, as the dialog may not be shown yet.
        if ((Style(h) & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) == (WS_TABSTOP | WS_VISIBLE))
            return h;
    }
    return hCtl;
}

short GetKeyState(int nVirtKey)
{
    return (t_keyState[nVirtKey & 0xFF] & 0x80) ? static_cast<short>(0x8000) : 0;
}

// Takes the dialog keys (Tab, Enter, Esc) and hands everything else that is
// meant for the dialog or its controls to their window procedures.
BOOL IsDialogMessageA(HWND hDlg, LPMSG lpMsg)
{
    if (lpMsg == nullptr || !IsWindow(hDlg) || !IsOwnChild(hDlg, lpMsg->hwnd))
        return FALSE;

    if (lpMsg->message == WM_KEYDOWN || lpMsg->message == WM_KEYUP)
        t_keyState[lpMsg->wParam & 0xFF] = lpMsg->message == WM_KEYDOWN ? 0x80 : 0;

    if (lpMsg->message == WM_KEYDOWN) {
        switch (lpMsg->wParam) {
        case VK_TAB: {
            HWND hNext = GetNextDlgTabItem(hDlg, GetFocus(), GetKeyState(VK_SHIFT) < 0);
            if (hNext != nullptr)
                SetFocus(hNext);
            return TRUE;
        }
        case VK_RETURN: {
            HWND hFocus = GetFocus();
            if (hFocus != nullptr && IsOwnChild(hDlg, hFocus) && rmterm::IsButton(hFocus)) {
                Click(hFocus);
            } else {
                LRESULT lDef = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
                WORD wId = HIWORD(lDef) == DC_HASDEFID ? LOWORD(lDef) : static_cast<WORD>(IDOK);
                SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(wId, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(hDlg, wId)));
            }
            return TRUE;
        }
        case VK_ESCAPE:
            SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
            return TRUE;
        default:
            break;
        }
    }
    if (lpMsg->message == WM_CHAR && (lpMsg->wParam == '\t' || lpMsg->wParam == '\r' || lpMsg->wParam == 0x1B))
        return TRUE;

    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    (void)uType;  // the tool only ever asks for a plain OK box
    const std::string text = lpText != nullptr ? lpText : "";
    if (!rmterm::IsScreen()) {
        rmterm::PrintMessage(text.c_str());
        return IDOK;
    }

    RegisterDialogClasses();
    const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
    const CTextSize size = MeasureText(text);
    const int nButtonCells = 10;
    const int nColumns = std::max({ size.nColumns, static_cast<int>(caption.size()) + 2, nButtonCells }) + 4;
    const int nLines = size.nLines + 3;
    const int cx = nColumns * rmterm::kCellWidth;
    const int cy = nLines * rmterm::kCellHeight;

    HWND hBox = CreateWindowExA(WS_EX_DLGMODALFRAME, kDialogClass, caption.c_str(),
                                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, cx, cy, hWnd, nullptr,
                                nullptr, nullptr);
    if (hBox == nullptr)
        return 0;
    SetWindowLongPtrA(hBox, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&MessageBoxProc));
    CreateWindowExA(0, kStaticClass, text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT, 2 * rmterm::kCellWidth,
                    rmterm::kCellHeight / 2, size.nColumns * rmterm::kCellWidth, size.nLines * rmterm::kCellHeight,
                    hBox, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(0xFFFF)), nullptr, nullptr);
    CreateWindowExA(0, kButtonClass, "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                    (nColumns - nButtonCells) / 2 * rmterm::kCellWidth, (size.nLines + 1) * rmterm::kCellHeight,
                    nButtonCells * rmterm::kCellWidth, rmterm::kCellHeight, hBox,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDOK)), nullptr, nullptr);

    BeginModal(hBox);
    SendMessageA(hBox, WM_INITDIALOG, 0, 0);
    INT_PTR nResult = RunModal(hBox, TRUE);
    return nResult > 0 ? static_cast<int>(nResult) : IDOK;
}
