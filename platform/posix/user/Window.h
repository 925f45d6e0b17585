// The window table and tree: one record per window, found by handle.
#ifndef REMOTEMONITOR_USER_WINDOW_H
#define REMOTEMONITOR_USER_WINDOW_H

#include <windows.h>

#include "kernel/LayerScope.h"
#include "user/Lock.h"
#include "user/Queue.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rmwin32 {

struct CWindowClass;

// One window. Lives in the table from CreateWindowExA until the end of its
// WM_NCDESTROY (or the end of its thread); callers only ever hold its handle.
struct CWindow
{
    HWND hWnd = nullptr;
    std::shared_ptr<CWindowClass> pClass;
    std::shared_ptr<CQueue> pQueue;  // the owning thread's queue
    WNDPROC pfnProc = nullptr;
    std::string text;
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE hInstance = nullptr;
    HWND hParent = nullptr;      // only for WS_CHILD windows
    HWND hOwner = nullptr;       // only for top-level windows
    std::vector<HWND> children;  // creation order
    std::vector<unsigned char> extra;
    RECT rect = {};
    HICON hIconBig = nullptr;
    HICON hIconSmall = nullptr;
    bool bInvalid = false;
    bool bErase = false;
    bool bDestroying = false;
};

// The window a live handle names, or null.
CWindow* FindLocked(HWND hWnd);

// Like FindLocked, but sets ERROR_INVALID_WINDOW_HANDLE when there is none.
CWindow* FindOrFailLocked(HWND hWnd);

// Puts a new window into the table under a handle value never used before in
// this process, at the top of its siblings (a top-level window) or after them
// (a child). Returns the handle.
HWND InsertWindowLocked(std::unique_ptr<CWindow> pWindow);

// Takes a window out of the table and fails what still waits for it.
void ForgetWindowLocked(HWND hWnd);

// Takes every window of an ending thread out of the table, without
// messages: nobody is left to handle them.
void ForgetThreadWindowsLocked(const CQueue* pQueue);

// The first window of the queue's thread that needs painting and passes the
// window filter of PeekMessageA.
bool FindInvalidWindowLocked(const CQueue* pQueue, HWND hFilter, HWND* phWnd);

// The list a window sits in among its siblings; null for a child whose
// parent has gone.
std::vector<HWND>* SiblingsLocked(const CWindow& window);

// True when hChild is a descendant of hParent.
bool IsDescendantLocked(HWND hParent, HWND hChild);

// True when the window belongs to the calling thread.
bool IsOwnWindowLocked(const CWindow& window);

// Lets the window's thread see new work (a posted message, a paint).
void WakeOwnerLocked(const CWindow& window);

// The whole window is painted anew once its thread's queue is idle.
void InvalidateLocked(CWindow& window, bool bErase);

// Takes the window and its descendants out of the table after their
// WM_NCDESTROY (and WM_DESTROY first when bSendDestroy).
BOOL DestroyTree(HWND hWnd, bool bSendDestroy);

// Runs f on the window under the lock, as a public call; with no such window
// sets ERROR_INVALID_WINDOW_HANDLE and returns the call's failure value.
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

}  // namespace rmwin32

#endif
