// The window table: every live window by handle, the top-level list, and
// taking windows out again.
#include "user/User.h"

#include <algorithm>
#include <map>

namespace rmwin32 {
namespace {

// Process-wide state is never destroyed: threads still running while the
// process exits may touch it.
struct CWindowTable
{
    std::mutex lock;
    // Ordered by handle, that is by creation, so that paints come in a
    // stable order.
    std::map<uintptr_t, std::unique_ptr<CWindow>> windows;
    std::vector<HWND> topLevel;  // newest first, as Windows puts a new window on top
    uintptr_t nextHandle = 0x10000;
};

CWindowTable& Table()
{
    static CWindowTable* pTable = new CWindowTable;
    return *pTable;
}

}  // namespace

std::mutex& Lock()
{
    return Table().lock;
}

CWindow* FindLocked(HWND hWnd)
{
    auto& windows = Table().windows;
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

HWND InsertWindowLocked(std::unique_ptr<CWindow> pWindow)
{
    CWindowTable& table = Table();
    // Steps of 4 keep the values looking like handles; they never wrap in the
    // life of a process.
    HWND hWnd = reinterpret_cast<HWND>(table.nextHandle);
    table.nextHandle += 4;
    pWindow->hWnd = hWnd;
    if (pWindow->hParent != nullptr)
        FindLocked(pWindow->hParent)->children.push_back(hWnd);
    else
        table.topLevel.insert(table.topLevel.begin(), hWnd);
    table.windows[reinterpret_cast<uintptr_t>(hWnd)] = std::move(pWindow);
    return hWnd;
}

std::vector<HWND>* SiblingsLocked(const CWindow& window)
{
    if (window.hParent != nullptr)
    {
        CWindow* pParent = FindLocked(window.hParent);
        return pParent != nullptr ? &pParent->children : nullptr;
    }
    return &Table().topLevel;
}

void ForgetWindowLocked(HWND hWnd)
{
    CWindow* pWindow = FindLocked(hWnd);
    if (pWindow == nullptr)
        return;
    if (std::vector<HWND>* pSiblings = SiblingsLocked(*pWindow))
        pSiblings->erase(std::remove(pSiblings->begin(), pSiblings->end(), hWnd), pSiblings->end());
    for (HWND hChild : pWindow->children)
    {
        if (CWindow* pChild = FindLocked(hChild))
            pChild->hParent = nullptr;
    }
    ForgetWindowMessagesLocked(*pWindow->pQueue, hWnd);
    Table().windows.erase(reinterpret_cast<uintptr_t>(hWnd));
}

void ForgetThreadWindowsLocked(const CQueue* pQueue)
{
    std::vector<HWND> owned;
    for (const auto& entry : Table().windows)
    {
        if (entry.second->pQueue.get() == pQueue)
            owned.push_back(entry.second->hWnd);
    }
    for (HWND hWnd : owned)
        ForgetWindowLocked(hWnd);
}

bool FindInvalidWindowLocked(const CQueue* pQueue, HWND hFilter, HWND* phWnd)
{
    for (const auto& entry : Table().windows)
    {
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

bool IsOwnWindowLocked(const CWindow& window)
{
    CQueue* pOwn = OwnQueue();
    return pOwn != nullptr && window.pQueue.get() == pOwn;
}

void WakeOwnerLocked(const CWindow& window)
{
    window.pQueue->pWaker->Wake();
}

}  // namespace rmwin32

BOOL IsWindow(HWND hWnd)
{
    return rmwin32::ApiCall([&]() -> BOOL {
        rmwin32::CLayerScope scope;
        std::lock_guard<std::mutex> lock(rmwin32::Lock());
        return rmwin32::FindLocked(hWnd) != nullptr;
    });
}
