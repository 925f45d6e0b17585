// The per-thread message queues: made on a thread's first need, ended with
// the thread, and what posting puts into them.
#include "user/User.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace rmwin32 {
namespace {

// Set for good once the thread's queue has ended. Kept apart from the
// holder, which is gone by then: at process exit the main thread's
// thread-locals are destroyed before the static objects whose destructors
// may still ask for the queue.
thread_local bool t_bQueueEnded = false;

// Ends the thread's queue when the thread ends: its windows go, and every
// send still waiting on them fails at once.
struct CQueueHolder
{
    std::shared_ptr<CQueue> pQueue;

    CQueueHolder() = default;
    CQueueHolder(const CQueueHolder&) = delete;
    CQueueHolder& operator=(const CQueueHolder&) = delete;

    ~CQueueHolder()
    {
        t_bQueueEnded = true;
        if (pQueue == nullptr)
            return;
        std::lock_guard<std::mutex> lock(Lock());
        pQueue->bAlive = false;
        for (const auto& pSent : pQueue->sent)
            FailSentLocked(pSent);
        pQueue->sent.clear();
        for (const auto& pSent : pQueue->running)
            FailSentLocked(pSent);
        pQueue->running.clear();
        pQueue->posted.clear();
        ForgetThreadWindowsLocked(pQueue.get());
    }
};

thread_local CQueueHolder t_queue;
thread_local IdleWaitFn t_pfnIdleWait = nullptr;

}  // namespace

std::shared_ptr<CQueue> CurrentQueue()
{
    if (t_bQueueEnded)
        return nullptr;
    if (t_queue.pQueue == nullptr)
    {
        auto pQueue = std::make_shared<CQueue>();
        pQueue->threadId = GetCurrentThreadId();
        pQueue->pWaker = CurrentWaker();
        t_queue.pQueue = pQueue;
    }
    return t_queue.pQueue;
}

CQueue* OwnQueue()
{
    return t_bQueueEnded ? nullptr : t_queue.pQueue.get();
}

void ForgetWindowMessagesLocked(CQueue& queue, HWND hWnd)
{
    if (queue.hFocus == hWnd)
        queue.hFocus = nullptr;
    queue.posted.erase(
        std::remove_if(queue.posted.begin(), queue.posted.end(), [hWnd](const MSG& msg) { return msg.hwnd == hWnd; }),
        queue.posted.end());
    for (auto it = queue.sent.begin(); it != queue.sent.end();)
    {
        if ((*it)->hWnd == hWnd)
        {
            FailSentLocked(*it);
            it = queue.sent.erase(it);
        }
        else
        {
            ++it;
        }
    }
}

void WaitForWake(int fd)
{
    struct pollfd pfd = {fd, POLLIN, 0};
    while (poll(&pfd, 1, -1) < 0 && errno == EINTR)
    {
    }
}

int GetQueueWakeFd()
{
    std::shared_ptr<CQueue> pQueue = CurrentQueue();
    return pQueue != nullptr ? pQueue->pWaker->Fd() : CurrentWaker()->Fd();
}

void SetIdleWait(IdleWaitFn fn)
{
    t_pfnIdleWait = fn;
}

IdleWaitFn CurrentIdleWait()
{
    return t_pfnIdleWait;
}

}  // namespace rmwin32

using namespace rmwin32;

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return ApiCall([&]() -> BOOL {
        CLayerScope scope;
        MSG msg = {};
        msg.hwnd = hWnd;
        msg.message = Msg;
        msg.wParam = wParam;
        msg.lParam = lParam;
        msg.time = GetTickCount();
        std::shared_ptr<CQueue> pQueue;
        if (hWnd == nullptr)
        {
            pQueue = CurrentQueue();
            if (pQueue == nullptr)
            {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
        }
        std::lock_guard<std::mutex> lock(Lock());
        if (hWnd != nullptr)
        {
            CWindow* pWindow = FindOrFailLocked(hWnd);
            if (pWindow == nullptr)
                return FALSE;
            pQueue = pWindow->pQueue;
        }
        if (!pQueue->bAlive)
        {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        pQueue->posted.push_back(msg);
        pQueue->pWaker->Wake();
        return TRUE;
    });
}

void PostQuitMessage(int nExitCode)
{
    ApiCall([&] {
        CLayerScope scope;
        std::shared_ptr<CQueue> pQueue = CurrentQueue();
        if (pQueue == nullptr)
            return 0;
        std::lock_guard<std::mutex> lock(Lock());
        pQueue->bQuit = true;
        pQueue->nQuitCode = nExitCode;
        pQueue->pWaker->Wake();
        return 0;
    });
}
