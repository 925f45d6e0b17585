// What the window half and the message half of our USER subset share: the
// window table, the per-thread message queues and the one lock that guards
// both. Not part of the API.
#ifndef REMOTEMONITOR_USER_STATE_H
#define REMOTEMONITOR_USER_STATE_H

#include <windows.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "thread_impl.h"
#include "win32_internal.h"

namespace rmwin32 {
namespace user {

struct CWindowClass;
struct CQueue;

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
    HWND hParent = nullptr;  // only for WS_CHILD windows
    HWND hOwner = nullptr;   // only for top-level windows
    std::vector<HWND> children;  // creation order
    std::vector<unsigned char> extra;
    RECT rect = {};
    HICON hIconBig = nullptr;
    HICON hIconSmall = nullptr;
    bool bInvalid = false;
    bool bErase = false;
    bool bDestroying = false;
};

// A message sent from another thread. Text the message carries travels in
// the record rather than as the sender's pointer, so that a sender that gives
// up (termination) leaves nothing behind that the receiver could still touch.
struct CSentMessage
{
    enum class State { Queued, Running, Done, Failed };

    HWND hWnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string textIn;             // WM_SETTEXT
    std::vector<char> textOut;      // WM_GETTEXT
    State state = State::Queued;
    LRESULT result = 0;
    std::shared_ptr<CWaker> pSenderWaker;
};

// One thread's message queue, made on the thread's first need and marked
// dead when the thread ends.
struct CQueue
{
    DWORD threadId = 0;
    std::shared_ptr<CWaker> pWaker;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<CSentMessage>> sent;  // waiting to be handled
    std::vector<std::shared_ptr<CSentMessage>> running;  // being handled now
    bool bQuit = false;
    int nQuitCode = 0;
    bool bAlive = true;
    HWND hFocus = nullptr;
    IdleWaitFn pfnIdleWait = nullptr;
};

// The lock over every window and queue. Never held across a call into
// application code (window procedures, the idle hook).
std::mutex& Lock();

// The window a live handle names, or null. Needs the lock.
CWindow* FindLocked(HWND hWnd);

// Like FindLocked, but sets ERROR_INVALID_WINDOW_HANDLE when there is none.
CWindow* FindOrFailLocked(HWND hWnd);

// The calling thread's queue, made on first need; null once the thread is
// ending.
std::shared_ptr<CQueue> CurrentQueue();

// Takes a window out of the table and fails what still waits for it.
void ForgetWindowLocked(HWND hWnd);

// Takes every window of an ending thread out of the table, without
// messages: nobody is left to handle them.
void ForgetThreadWindowsLocked(const CQueue* pQueue);

// The first window of the queue's thread that needs painting and passes the
// window filter of PeekMessageA. Needs the lock.
bool FindInvalidWindowLocked(const CQueue* pQueue, HWND hFilter, HWND* phWnd);

// Fails a queued or running send and wakes its sender. Needs the lock.
void FailSentLocked(const std::shared_ptr<CSentMessage>& pSent);

// True when the window belongs to the calling thread. Needs the lock.
bool IsOwnWindowLocked(const CWindow& window);

// A nonzero handle value never used before in this process.
HWND NewHandleLocked();

// True when hChild is a descendant of hParent. Needs the lock.
bool IsDescendantLocked(HWND hParent, HWND hChild);

// Lets the window's thread see new work (a posted message, a paint).
void WakeOwnerLocked(const CWindow& window);

// SendMessageA without the termination point, for calls made inside the
// layer (creation, destruction, focus, painting).
LRESULT SendMessageImpl(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

const DWORD kErrorAccessDenied = 5;
const DWORD kErrorClassAlreadyExists = 1410;
const DWORD kErrorInvalidIndex = 1413;
const DWORD kErrorControlIdNotFound = 1421;
const DWORD kErrorTopLevelWithChildStyle = 1406;

}  // namespace user
}  // namespace rmwin32

#endif
