// Creating and destroying windows, with the messages that go with each.
#include "user/ClassRegistry.h"
#include "user/User.h"

namespace rmwin32 {
namespace {

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

// Marks the tree as going and lists it in both orders; FALSE (with the error
// set) when it may not be destroyed from this thread.
BOOL MarkTreeLocked(HWND hWnd, std::vector<HWND>* pPreOrder, std::vector<HWND>* pPostOrder)
{
    CWindow* pWindow = FindOrFailLocked(hWnd);
    if (pWindow == nullptr)
        return FALSE;
    if (!IsOwnWindowLocked(*pWindow))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Already on its way out: a WM_DESTROY handler that destroys the
    // window again, or one of its children, changes nothing.
    if (pWindow->bDestroying)
        return TRUE;
    CollectPreOrderLocked(hWnd, pPreOrder);
    CollectPostOrderLocked(hWnd, pPostOrder);
    for (HWND h : *pPreOrder)
    {
        CWindow* pMember = FindLocked(h);
        pMember->bDestroying = true;
        if (pMember->pQueue->hFocus == h)
            pMember->pQueue->hFocus = nullptr;
    }
    return TRUE;
}

int OrZero(int nValue)
{
    return nValue == CW_USEDEFAULT ? 0 : nValue;
}

// The record of a new window, before it is in the table.
std::unique_ptr<CWindow> MakeWindow(const CREATESTRUCTA& cs, std::shared_ptr<CWindowClass> pClass,
                                    std::shared_ptr<CQueue> pQueue)
{
    const DWORD dwStyle = static_cast<DWORD>(cs.style);
    auto pWindow = std::make_unique<CWindow>();
    pWindow->pfnProc = pClass->pfnProc;
    pWindow->extra.assign(static_cast<size_t>(pClass->cbWndExtra), 0);
    pWindow->pClass = std::move(pClass);
    pWindow->pQueue = std::move(pQueue);
    // Shown only once creation has succeeded, as on Windows.
    pWindow->style = static_cast<LONG_PTR>(dwStyle & ~static_cast<DWORD>(WS_VISIBLE));
    pWindow->exStyle = static_cast<LONG_PTR>(cs.dwExStyle);
    pWindow->hInstance = cs.hInstance;
    if (dwStyle & WS_CHILD)
    {
        pWindow->hParent = cs.hwndParent;
        pWindow->id = static_cast<LONG_PTR>(reinterpret_cast<uintptr_t>(cs.hMenu));
    }
    else
    {
        pWindow->hOwner = cs.hwndParent;
    }
    const int x = OrZero(cs.x);
    const int y = OrZero(cs.y);
    pWindow->rect = {x, y, x + OrZero(cs.cx), y + OrZero(cs.cy)};
    return pWindow;
}

// Checks the arguments and puts the window into the table; null (with the
// error set) when they do not make a window.
HWND InsertCheckedLocked(const CREATESTRUCTA& cs)
{
    std::shared_ptr<CWindowClass> pClass = FindClassLocked(cs.lpszClass);
    if (pClass == nullptr)
    {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    if (cs.hwndParent != nullptr && FindOrFailLocked(cs.hwndParent) == nullptr)
        return nullptr;
    if ((cs.style & WS_CHILD) && cs.hwndParent == nullptr)
    {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    std::shared_ptr<CQueue> pQueue = CurrentQueue();
    if (pQueue == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return InsertWindowLocked(MakeWindow(cs, std::move(pClass), std::move(pQueue)));
}

// WM_NCCREATE and WM_CREATE; a window they refuse is destroyed again.
bool RunCreationMessages(HWND hWnd, CREATESTRUCTA* pcs)
{
    if (!SendMessageImpl(hWnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(pcs)))
    {
        DestroyTree(hWnd, false);
        return false;
    }
    if (!IsWindow(hWnd))
        return false;
    if (SendMessageImpl(hWnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(pcs)) == -1)
    {
        DestroyTree(hWnd, true);
        return false;
    }
    return IsWindow(hWnd) != FALSE;
}

}  // namespace

BOOL DestroyTree(HWND hWnd, bool bSendDestroy)
{
    CLayerScope scope;
    std::vector<HWND> preOrder;
    std::vector<HWND> postOrder;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (!MarkTreeLocked(hWnd, &preOrder, &postOrder))
            return FALSE;
    }
    if (bSendDestroy)
    {
        for (HWND h : preOrder)
            SendMessageImpl(h, WM_DESTROY, 0, 0);
    }
    for (HWND h : postOrder)
    {
        SendMessageImpl(h, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(Lock());
        ForgetWindowLocked(h);
    }
    return TRUE;
}

}  // namespace rmwin32

HWND CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X, int Y, int nWidth,
                     int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    using namespace rmwin32;
    return ApiCall([&]() -> HWND {
        CLayerScope scope;
        // A message-only window is simply a top-level window nobody sees.
        if (hWndParent == HWND_MESSAGE)
            hWndParent = nullptr;
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
        HWND hWnd;
        {
            std::lock_guard<std::mutex> lock(Lock());
            hWnd = InsertCheckedLocked(cs);
        }
        if (hWnd == nullptr || !RunCreationMessages(hWnd, &cs))
            return nullptr;
        if (dwStyle & WS_VISIBLE)
            ShowWindow(hWnd, SW_SHOW);
        return hWnd;
    });
}

BOOL DestroyWindow(HWND hWnd)
{
    return rmwin32::ApiCall([&] { return rmwin32::DestroyTree(hWnd, true); });
}
