// Windows: classes, creation and destruction, the tree of parents and
// children, window data, text, visibility, focus and the invalid state that
// turns into WM_PAINT. Messages and queues are in user_message.cpp.
#include "user_state.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace rmwin32 {
namespace user {

struct CWindowClass
{
    std::string name;
    ATOM atom = 0;
    WNDPROC pfnProc = nullptr;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
};

namespace {

// Process-wide state is never destroyed: threads still running while the
// process exits may touch it.
struct CUserState
{
    std::mutex lock;
    // Ordered by handle, that is by creation, so that paints come in a
    // stable order.
    std::map<uintptr_t, std::unique_ptr<CWindow>> windows;
    std::vector<HWND> topLevel;  // newest first, as Windows puts a new window on top
    std::map<std::string, std::shared_ptr<CWindowClass>> classes;  // by lowercase name
    uintptr_t nextHandle = 0x10000;
    ATOM nextAtom = 0xC000;
};

CUserState& State()
{
    static CUserState* pState = new CUserState;
    return *pState;
}

std::string Lowercase(const char* psz)
{
    std::string s(psz);
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::shared_ptr<CWindowClass> FindClassLocked(LPCSTR lpClassName)
{
    CUserState& state = State();
    if (lpClassName == nullptr)
        return nullptr;
    if (IS_INTRESOURCE(lpClassName)) {
        const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(lpClassName));
        for (const auto& entry : state.classes) {
            if (entry.second->atom == atom)
                return entry.second;
        }
        return nullptr;
    }
    auto it = state.classes.find(Lowercase(lpClassName));
    return it == state.classes.end() ? nullptr : it->second;
}

// The list a window sits in among its siblings.
std::vector<HWND>* SiblingsLocked(const CWindow& window)
{
    if (window.hParent != nullptr) {
        CWindow* pParent = FindLocked(window.hParent);
        return pParent != nullptr ? &pParent->children : nullptr;
    }
    return &State().topLevel;
}

void CollectPreOrderLocked(HWND hWnd, std::vector<HWND>* pOrder)
{
    CWindow* pWindow = FindLocked(hWnd);
    if (pWindow == nullptr)
        return;
    pOrder->push_back(hWnd);
    for (HWND hChild : pWindow->children)
        CollectPreOrderLocked(hChild, pOrder);
}

void CollectPostOrderLocked(HWND hWnd, std::vector<HWND>* pOrder)
{
    CWindow* pWindow = FindLocked(hWnd);
    if (pWindow == nullptr)
        return;
    for (HWND hChild : pWindow->children)
        CollectPostOrderLocked(hChild, pOrder);
    pOrder->push_back(hWnd);
}

bool IsTextPointer(LPCSTR psz)
{
    return psz != nullptr && !IS_INTRESOURCE(psz);
}

// Copies with truncation and a terminating NUL, as WM_GETTEXT and
// GetClassNameA do; returns the characters copied.
int CopyTruncated(const std::string& text, LPSTR lpBuffer, size_t nSize)
{
    if (lpBuffer == nullptr || nSize == 0)
        return 0;
    const size_t nCopy = std::min(text.size(), nSize - 1);
    std::memcpy(lpBuffer, text.data(), nCopy);
    lpBuffer[nCopy] = '\0';
    return static_cast<int>(nCopy);
}

// Takes the window and its descendants out of the table after their
// WM_NCDESTROY; hWnd is the window whose creation or destruction this is.
BOOL DestroyTree(HWND hWnd, bool bSendDestroy)
{
    CLayerScope scope;
    std::vector<HWND> preOrder;
    std::vector<HWND> postOrder;
    {
        std::lock_guard<std::mutex> lock(Lock());
        CWindow* pWindow = FindOrFailLocked(hWnd);
        if (pWindow == nullptr)
            return FALSE;
        if (!IsOwnWindowLocked(*pWindow)) {
            SetLastError(kErrorAccessDenied);
            return FALSE;
        }
        // Already on its way out: a WM_DESTROY handler that destroys the
        // window again, or one of its children, changes nothing.
        if (pWindow->bDestroying)
            return TRUE;
        CollectPreOrderLocked(hWnd, &preOrder);
        CollectPostOrderLocked(hWnd, &postOrder);
        for (HWND h : preOrder) {
            CWindow* pMember = FindLocked(h);
            pMember->bDestroying = true;
            if (pMember->pQueue->hFocus == h)
                pMember->pQueue->hFocus = nullptr;
        }
    }
    if (bSendDestroy) {
        for (HWND h : preOrder)
            SendMessageImpl(h, WM_DESTROY, 0, 0);
    }
    for (HWND h : postOrder) {
        SendMessageImpl(h, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(Lock());
        ForgetWindowLocked(h);
    }
    return TRUE;
}

// The whole window is painted anew once its thread's queue is idle.
void InvalidateLocked(CWindow& window, bool bErase)
{
    window.bInvalid = true;
    window.bErase = window.bErase || bErase;
    WakeOwnerLocked(window);
}

template <typename F>
auto WithWindow(HWND hWnd, decltype(std::declval<F>()(std::declval<CWindow&>())) failed, F f)
    -> decltype(f(std::declval<CWindow&>()))
{
    return ApiCall([&] {
        CLayerScope scope;
        std::lock_guard<std::mutex> lock(Lock());
        CWindow* pWindow = FindOrFailLocked(hWnd);
        return pWindow != nullptr ? f(*pWindow) : failed;
    });
}

}  // namespace

std::mutex& Lock()
{
    return State().lock;
}

CWindow* FindLocked(HWND hWnd)
{
    auto& windows = State().windows;
    auto it = windows.find(reinterpret_cast<uintptr_t>(hWnd));
    return it == windows.end() ? nullptr : it->second.get();
}

CWindow* FindOrFailLocked(HWND hWnd)
{
    CWindow* pWindow = FindLocked(hWnd);
    if (pWindow == nullptr)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return pWindow;
}

HWND NewHandleLocked()
{
    // Steps of 4 keep the values looking like handles; they never wrap in the
    // life of a process.
    CUserState& state = State();
    HWND hWnd = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 4;
    return hWnd;
}

bool IsDescendantLocked(HWND hParent, HWND hChild)
{
    CWindow* pWindow = FindLocked(hChild);
    while (pWindow != nullptr && pWindow->hParent != nullptr) {
        if (pWindow->hParent == hParent)
            return true;
        pWindow = FindLocked(pWindow->hParent);
    }
    return false;
}

void ForgetWindowLocked(HWND hWnd)
{
    CWindow* pWindow = FindLocked(hWnd);
    if (pWindow == nullptr)
        return;
    if (std::vector<HWND>* pSiblings = SiblingsLocked(*pWindow))
        pSiblings->erase(std::remove(pSiblings->begin(), pSiblings->end(), hWnd), pSiblings->end());
    for (HWND hChild : pWindow->children) {
        if (CWindow* pChild = FindLocked(hChild))
            pChild->hParent = nullptr;
    }

    CQueue& queue = *pWindow->pQueue;
    if (queue.hFocus == hWnd)
        queue.hFocus = nullptr;
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(),
                                      [hWnd](const MSG& msg) { return msg.hwnd == hWnd; }),
                       queue.posted.end());
    for (auto it = queue.sent.begin(); it != queue.sent.end();) {
        if ((*it)->hWnd == hWnd) {
            FailSentLocked(*it);
            it = queue.sent.erase(it);
        } else {
            ++it;
        }
    }
    State().windows.erase(reinterpret_cast<uintptr_t>(hWnd));
}

void ForgetThreadWindowsLocked(const CQueue* pQueue)
{
    std::vector<HWND> owned;
    for (const auto& entry : State().windows) {
        if (entry.second->pQueue.get() == pQueue)
            owned.push_back(entry.second->hWnd);
    }
    for (HWND hWnd : owned)
        ForgetWindowLocked(hWnd);
}

bool FindInvalidWindowLocked(const CQueue* pQueue, HWND hFilter, HWND* phWnd)
{
    for (const auto& entry : State().windows) {
        const CWindow& window = *entry.second;
        if (window.pQueue.get() != pQueue || !window.bInvalid)
            continue;
        if (hFilter != nullptr && window.hWnd != hFilter && !IsDescendantLocked(hFilter, window.hWnd))
            continue;
        *phWnd = window.hWnd;
        return true;
    }
    return false;
}

}  // namespace user
}  // namespace rmwin32

using namespace rmwin32;
using namespace rmwin32::user;

ATOM RegisterClassA(const WNDCLASSA* lpWndClass)
{
    return ApiCall([&]() -> ATOM {
        CLayerScope scope;
        if (lpWndClass == nullptr || lpWndClass->lpfnWndProc == nullptr || !IsTextPointer(lpWndClass->lpszClassName) ||
            lpWndClass->lpszClassName[0] == '\0' || lpWndClass->cbWndExtra < 0 || lpWndClass->cbWndExtra > 40000) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::lock_guard<std::mutex> lock(Lock());
        CUserState& state = State();
        const std::string key = Lowercase(lpWndClass->lpszClassName);
        if (state.classes.count(key) != 0) {
            SetLastError(kErrorClassAlreadyExists);
            return 0;
        }
        auto pClass = std::make_shared<CWindowClass>();
        pClass->name = lpWndClass->lpszClassName;
        pClass->atom = state.nextAtom++;
        pClass->pfnProc = lpWndClass->lpfnWndProc;
        pClass->cbWndExtra = lpWndClass->cbWndExtra;
        pClass->hInstance = lpWndClass->hInstance;
        state.classes[key] = pClass;
        return pClass->atom;
    });
}

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        const bool bChild = (dwStyle & WS_CHILD) != 0;
        // A message-only window is simply a top-level window nobody sees.
        if (hWndParent == HWND_MESSAGE)
            hWndParent = nullptr;
        HWND hWnd;
        {
            std::lock_guard<std::mutex> lock(Lock());
            std::shared_ptr<CWindowClass> pClass = FindClassLocked(lpClassName);
            if (pClass == nullptr) {
                SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
                return nullptr;
            }
            if (hWndParent != nullptr && FindOrFailLocked(hWndParent) == nullptr)
                return nullptr;
            if (bChild && hWndParent == nullptr) {
                SetLastError(kErrorTopLevelWithChildStyle);
                return nullptr;
            }
            std::shared_ptr<CQueue> pQueue = CurrentQueue();
            if (pQueue == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }

            hWnd = NewHandleLocked();
            auto pWindow = std::make_unique<CWindow>();
            pWindow->hWnd = hWnd;
            pWindow->pClass = pClass;
            pWindow->pQueue = pQueue;
            pWindow->pfnProc = pClass->pfnProc;
            // Shown only once creation has succeeded, as on Windows.
            pWindow->style = static_cast<LONG_PTR>(dwStyle & ~static_cast<DWORD>(WS_VISIBLE));
            pWindow->exStyle = static_cast<LONG_PTR>(dwExStyle);
            pWindow->hInstance = hInstance;
            if (bChild) {
                pWindow->hParent = hWndParent;
                pWindow->id = static_cast<LONG_PTR>(reinterpret_cast<uintptr_t>(hMenu));
            } else {
                pWindow->hOwner = hWndParent;
            }
            pWindow->extra.assign(static_cast<size_t>(pClass->cbWndExtra), 0);
            const int x = X == CW_USEDEFAULT ? 0 : X;
            const int y = Y == CW_USEDEFAULT ? 0 : Y;
            const int cx = nWidth == CW_USEDEFAULT ? 0 : nWidth;
            const int cy = nHeight == CW_USEDEFAULT ? 0 : nHeight;
            pWindow->rect = { x, y, x + cx, y + cy };

            CUserState& state = State();
            if (bChild)
                FindLocked(hWndParent)->children.push_back(hWnd);
            else
                state.topLevel.insert(state.topLevel.begin(), hWnd);
            state.windows[reinterpret_cast<uintptr_t>(hWnd)] = std::move(pWindow);
        }

        CREATESTRUCTA cs = {};
        cs.lpCreateParams = lpParam;
        cs.hInstance = hInstance;
        cs.hMenu = hMenu;
        cs.hwndParent = hWndParent;
        cs.cy = nHeight;
        cs.cx = nWidth;
        cs.y = Y;
        cs.x = X;
        cs.style = static_cast<LONG>(dwStyle);
        cs.lpszName = lpWindowName;
        cs.lpszClass = lpClassName;
        cs.dwExStyle = dwExStyle;

        if (!SendMessageImpl(hWnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
            DestroyTree(hWnd, false);
            return nullptr;
        }
        if (!IsWindow(hWnd))
            return nullptr;
        if (SendMessageImpl(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
            DestroyTree(hWnd, true);
            return nullptr;
        }
        if (!IsWindow(hWnd))
            return nullptr;
        if (dwStyle & WS_VISIBLE)
            ShowWindow(hWnd, SW_SHOW);
        return hWnd;
    });
}

BOOL DestroyWindow(HWND hWnd)
{
    return ApiCall([&] { return DestroyTree(hWnd, true); });
}

BOOL IsWindow(HWND hWnd)
{
    return ApiCall([&]() -> BOOL {
        CLayerScope scope;
        std::lock_guard<std::mutex> lock(Lock());
        return FindLocked(hWnd) != nullptr;
    });
}

LRESULT DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    switch (Msg) {
    case WM_NCCREATE: {
        const CREATESTRUCTA* pcs = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        if (pcs != nullptr && IsTextPointer(pcs->lpszName)) {
            const std::string text = pcs->lpszName;
            WithWindow(hWnd, 0, [&](CWindow& window) {
                window.text = text;
                return 0;
            });
        }
        return TRUE;
    }
    case WM_SETTEXT: {
        const std::string text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
        return WithWindow(hWnd, LRESULT(FALSE), [&](CWindow& window) -> LRESULT {
            window.text = text;
            return TRUE;
        });
    }
    case WM_GETTEXT:
        return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
            return CopyTruncated(window.text, reinterpret_cast<LPSTR>(lParam), wParam);
        });
    case WM_GETTEXTLENGTH:
        return WithWindow(hWnd, LRESULT(0),
                          [&](CWindow& window) -> LRESULT { return static_cast<LRESULT>(window.text.size()); });
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (BeginPaint(hWnd, &ps) != nullptr)
            EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_SETICON:
        return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
            HICON* phIcon = wParam == ICON_BIG ? &window.hIconBig : wParam == ICON_SMALL ? &window.hIconSmall : nullptr;
            if (phIcon == nullptr)
                return 0;
            HICON hOld = *phIcon;
            *phIcon = reinterpret_cast<HICON>(lParam);
            return reinterpret_cast<LRESULT>(hOld);
        });
    case WM_GETICON:
        return WithWindow(hWnd, LRESULT(0), [&](CWindow& window) -> LRESULT {
            if (wParam == ICON_BIG)
                return reinterpret_cast<LRESULT>(window.hIconBig);
            if (wParam == ICON_SMALL)
                return reinterpret_cast<LRESULT>(window.hIconSmall);
            return 0;
        });
    default:
        // WM_QUERYDRAGICON, WM_ERASEBKGND, WM_ICONERASEBKGND and the rest:
        // nothing drawn, nothing to report.
        return 0;
    }
}

LRESULT CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (lpPrevWndFunc == nullptr)
        return 0;
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}

namespace {

// The address of a LONG_PTR slot in the extra bytes, or null when it does
// not fit in them.
unsigned char* ExtraSlot(CWindow& window, int nIndex)
{
    if (nIndex < 0 || static_cast<size_t>(nIndex) + sizeof(LONG_PTR) > window.extra.size()) {
        SetLastError(kErrorInvalidIndex);
        return nullptr;
    }
    return window.extra.data() + nIndex;
}

}  // namespace

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex)
{
    return WithWindow(hWnd, LONG_PTR(0), [&](CWindow& window) -> LONG_PTR {
        switch (nIndex) {
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(window.pfnProc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(window.hInstance);
        case GWLP_ID:
            return window.id;
        case GWL_STYLE:
            return window.style;
        case GWL_EXSTYLE:
            return window.exStyle;
        case GWLP_USERDATA:
            return window.userData;
        default: {
            unsigned char* pSlot = ExtraSlot(window, nIndex);
            LONG_PTR value = 0;
            if (pSlot != nullptr)
                std::memcpy(&value, pSlot, sizeof value);
            return value;
        }
        }
    });
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    const LONG_PTR result = WithWindow(hWnd, LONG_PTR(0), [&](CWindow& window) -> LONG_PTR {
        LONG_PTR old = 0;
        switch (nIndex) {
        case GWLP_WNDPROC:
            if (dwNewLong == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            old = reinterpret_cast<LONG_PTR>(window.pfnProc);
            window.pfnProc = reinterpret_cast<WNDPROC>(dwNewLong);
            return old;
        case GWLP_HINSTANCE:
            old = reinterpret_cast<LONG_PTR>(window.hInstance);
            window.hInstance = reinterpret_cast<HINSTANCE>(dwNewLong);
            return old;
        case GWLP_ID:
            old = window.id;
            window.id = dwNewLong;
            return old;
        case GWL_STYLE:
            old = window.style;
            window.style = dwNewLong;
            if (!(old & WS_VISIBLE) && (dwNewLong & WS_VISIBLE))
                InvalidateLocked(window, true);
            return old;
        case GWL_EXSTYLE:
            old = window.exStyle;
            window.exStyle = dwNewLong;
            return old;
        case GWLP_USERDATA:
            old = window.userData;
            window.userData = dwNewLong;
            return old;
        default: {
            unsigned char* pSlot = ExtraSlot(window, nIndex);
            if (pSlot != nullptr) {
                std::memcpy(&old, pSlot, sizeof old);
                std::memcpy(pSlot, &dwNewLong, sizeof dwNewLong);
            }
            return old;
        }
        }
    });
    return result;
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    return WithWindow(hWnd, 0, [&](CWindow& window) {
        return nMaxCount > 0 ? CopyTruncated(window.pClass->name, lpClassName, static_cast<size_t>(nMaxCount)) : 0;
    });
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId)
{
    return WithWindow(hWnd, DWORD(0), [&](CWindow& window) {
        if (lpdwProcessId != nullptr)
            *lpdwProcessId = static_cast<DWORD>(getpid());
        return window.pQueue->threadId;
    });
}

HWND GetParent(HWND hWnd)
{
    return WithWindow(hWnd, HWND(nullptr), [&](CWindow& window) -> HWND {
        if (window.style & WS_CHILD)
            return window.hParent;
        // A popup answers with its owner, as on Windows.
        if ((window.style & WS_POPUP) && FindLocked(window.hOwner) != nullptr)
            return window.hOwner;
        return nullptr;
    });
}

HWND GetWindow(HWND hWnd, UINT uCmd)
{
    return WithWindow(hWnd, HWND(nullptr), [&](CWindow& window) -> HWND {
        switch (uCmd) {
        case GW_CHILD:
            return window.children.empty() ? nullptr : window.children.front();
        case GW_HWNDNEXT:
        case GW_HWNDPREV: {
            const std::vector<HWND>* pSiblings = SiblingsLocked(window);
            if (pSiblings == nullptr)
                return nullptr;
            auto it = std::find(pSiblings->begin(), pSiblings->end(), hWnd);
            if (it == pSiblings->end())
                return nullptr;
            if (uCmd == GW_HWNDNEXT)
                return it + 1 == pSiblings->end() ? nullptr : *(it + 1);
            return it == pSiblings->begin() ? nullptr : *(it - 1);
        }
        case GW_OWNER:
            return FindLocked(window.hOwner) != nullptr ? window.hOwner : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    });
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    return WithWindow(hDlg, HWND(nullptr), [&](CWindow& window) -> HWND {
        for (HWND hChild : window.children) {
            CWindow* pChild = FindLocked(hChild);
            if (pChild != nullptr && pChild->id == static_cast<LONG_PTR>(nIDDlgItem))
                return hChild;
        }
        SetLastError(kErrorControlIdNotFound);
        return nullptr;
    });
}

int GetDlgCtrlID(HWND hWnd)
{
    return WithWindow(hWnd, 0, [&](CWindow& window) { return static_cast<int>(window.id); });
}

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

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    LONG_PTR oldStyle = 0;
    LONG_PTR newStyle = 0;
    const BOOL bResult = WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        oldStyle = newStyle = window.style;
        switch (nCmdShow) {
        case SW_HIDE:
            newStyle &= ~static_cast<LONG_PTR>(WS_VISIBLE);
            break;
        case SW_SHOWMINIMIZED:
        case SW_MINIMIZE:
        case SW_SHOWMINNOACTIVE:
        case SW_FORCEMINIMIZE:
            newStyle |= WS_VISIBLE | WS_MINIMIZE;
            break;
        case SW_SHOWNORMAL:
        case SW_SHOWMAXIMIZED:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            newStyle = (newStyle | WS_VISIBLE) & ~static_cast<LONG_PTR>(WS_MINIMIZE);
            break;
        case SW_SHOWNOACTIVATE:
        case SW_SHOW:
        case SW_SHOWNA:
            newStyle |= WS_VISIBLE;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        window.style = newStyle;
        // A window that becomes visible needs painting.
        if (!(oldStyle & WS_VISIBLE) && (newStyle & WS_VISIBLE))
            InvalidateLocked(window, true);
        return (oldStyle & WS_VISIBLE) ? TRUE : FALSE;
    });
    if ((oldStyle & WS_VISIBLE) != (newStyle & WS_VISIBLE)) {
        ApiCall([&] {
            return SendMessageImpl(hWnd, WM_SHOWWINDOW, (newStyle & WS_VISIBLE) ? TRUE : FALSE, 0);
        });
    }
    return bResult;
}

BOOL IsWindowVisible(HWND hWnd)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        // Visible only when every ancestor is, as on Windows.
        for (CWindow* p = &window; p != nullptr; p = p->hParent != nullptr ? FindLocked(p->hParent) : nullptr) {
            if (!(p->style & WS_VISIBLE))
                return FALSE;
        }
        return TRUE;
    });
}

BOOL IsIconic(HWND hWnd)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL { return (window.style & WS_MINIMIZE) != 0; });
}

HWND SetFocus(HWND hWnd)
{
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        HWND hOld = nullptr;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return nullptr;
        {
            std::lock_guard<std::mutex> lock(Lock());
            if (hWnd != nullptr) {
                CWindow* pWindow = FindOrFailLocked(hWnd);
                if (pWindow == nullptr)
                    return nullptr;
                // The focus is per thread: a window of another thread cannot
                // take this thread's.
                if (pWindow->pQueue != pQueue) {
                    SetLastError(kErrorAccessDenied);
                    return nullptr;
                }
            }
            hOld = FindLocked(pQueue->hFocus) != nullptr ? pQueue->hFocus : nullptr;
            if (hOld == hWnd)
                return hOld;
            pQueue->hFocus = hWnd;
        }
        if (hOld != nullptr)
            SendMessageImpl(hOld, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
        {
            // A WM_KILLFOCUS handler that moved the focus elsewhere wins.
            std::lock_guard<std::mutex> lock(Lock());
            if (pQueue->hFocus != hWnd)
                return hOld;
        }
        if (hWnd != nullptr)
            SendMessageImpl(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(hOld), 0);
        return hOld;
    });
}

HWND GetFocus(void)
{
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return nullptr;
        std::lock_guard<std::mutex> lock(Lock());
        return FindLocked(pQueue->hFocus) != nullptr ? pQueue->hFocus : nullptr;
    });
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        if (lpRect == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = { 0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top };
        return TRUE;
    });
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        if (lpRect == nullptr) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpRect = window.rect;
        return TRUE;
    });
}

BOOL InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase)
{
    (void)lpRect;  // the whole window is repainted in any case
    if (hWnd == nullptr)
        return TRUE;
    return WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
        InvalidateLocked(window, bErase != FALSE);
        return TRUE;
    });
}

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    bool bErase = false;
    // The device context is the window's own handle value: the terminal
    // draws by window, and DrawIcon only needs it to be non-null.
    HDC hdc = reinterpret_cast<HDC>(hWnd);
    if (!WithWindow(hWnd, BOOL(FALSE), [&](CWindow& window) -> BOOL {
            if (lpPaint == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            bErase = window.bErase;
            window.bInvalid = window.bErase = false;
            *lpPaint = PAINTSTRUCT();
            lpPaint->hdc = hdc;
            lpPaint->rcPaint = { 0, 0, window.rect.right - window.rect.left, window.rect.bottom - window.rect.top };
            return TRUE;
        }))
        return nullptr;
    if (bErase) {
        // The painter erases only what WM_ERASEBKGND left alone.
        lpPaint->fErase =
            ApiCall([&] { return SendMessageImpl(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0); }) == 0;
    }
    return hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    (void)lpPaint;
    return WithWindow(hWnd, BOOL(FALSE), [](CWindow&) -> BOOL { return TRUE; });
}
