// SendMessageA. To a window of the calling thread it is a plain call. To
// another thread's window it goes in three steps: the message is put in the
// target's queue, the sender waits for the reply while it handles what other
// threads send to it (so two threads that send to each other never deadlock),
// and the reply is retrieved. Data a message points to crosses in the record,
// packed by the sender and unpacked for the receiver.
#include "kernel/Strings.h"
#include "user/User.h"

#include <algorithm>

namespace rmwin32 {
namespace {

// WM_GETTEXT crossing threads goes through a buffer of this size at most.
const size_t kMaxMarshalledText = 1u << 20;

// Copies what the message points to into the record.
void PackMessage(CSentMessage& sent)
{
    if (sent.message == WM_SETTEXT && sent.lParam != 0)
        sent.textIn = reinterpret_cast<LPCSTR>(sent.lParam);
    if (sent.message == WM_GETTEXT)
    {
        const size_t nSize = sent.lParam != 0 ? std::min<size_t>(sent.wParam, kMaxMarshalledText) : 0;
        sent.textOut.assign(nSize, '\0');
        sent.wParam = nSize;
    }
}

// The lParam the receiver's procedure gets: the record's copy of the data.
LPARAM UnpackMessage(CSentMessage& sent)
{
    if (sent.message == WM_SETTEXT && sent.lParam != 0)
        return reinterpret_cast<LPARAM>(sent.textIn.c_str());
    if (sent.message == WM_GETTEXT)
        return reinterpret_cast<LPARAM>(sent.textOut.empty() ? nullptr : sent.textOut.data());
    return sent.lParam;
}

// Copies what the receiver wrote back to the sender's own buffer.
void UnpackReply(const CSentMessage& sent, LPARAM lParam)
{
    if (sent.message == WM_GETTEXT && !sent.textOut.empty())
        CopyTruncated(sent.textOut.data(), static_cast<size_t>(std::max<LRESULT>(sent.result, 0)),
                      reinterpret_cast<char*>(lParam), sent.textOut.size());
}

// Runs one message another thread sent to this one and hands the answer
// back. The window may have gone since it was queued.
void HandleSent(const std::shared_ptr<CSentMessage>& pSent)
{
    WNDPROC pfnProc = nullptr;
    {
        std::lock_guard<std::mutex> lock(Lock());
        if (pSent->state != CSentMessage::State::Queued)
            return;
        CWindow* pWindow = FindLocked(pSent->hWnd);
        if (pWindow == nullptr)
        {
            FailSentLocked(pSent);
            return;
        }
        pfnProc = pWindow->pfnProc;
        pSent->state = CSentMessage::State::Running;
        OwnQueue()->running.push_back(pSent);
    }

    const LRESULT result = pfnProc(pSent->hWnd, pSent->message, pSent->wParam, UnpackMessage(*pSent));

    std::lock_guard<std::mutex> lock(Lock());
    auto& running = OwnQueue()->running;
    running.erase(std::remove(running.begin(), running.end(), pSent), running.end());
    if (pSent->state == CSentMessage::State::Running)
    {
        pSent->state = CSentMessage::State::Done;
        pSent->result = result;
        pSent->pSenderWaker->Wake();
    }
}

// The next message another thread has sent to this one, or null.
std::shared_ptr<CSentMessage> TakeSentLocked()
{
    CQueue* pOwn = OwnQueue();
    if (pOwn == nullptr || pOwn->sent.empty())
        return nullptr;
    std::shared_ptr<CSentMessage> pSent = pOwn->sent.front();
    pOwn->sent.pop_front();
    return pSent;
}

// Step one: the message goes into the target's queue. False (with the error
// set) when the target has gone.
bool QueueSent(const std::shared_ptr<CSentMessage>& pSent, CQueue& target)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (!target.bAlive || FindLocked(pSent->hWnd) == nullptr)
    {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    target.sent.push_back(pSent);
    target.pWaker->Wake();
    return true;
}

// Step two: waits until the send is done or has failed, handling meanwhile
// what other threads send to this one. A sender asked to terminate gives up.
void WaitForReply(const std::shared_ptr<CSentMessage>& pSent, CQueue& target, CWaker& waker)
{
    for (;;)
    {
        waker.Drain();
        std::shared_ptr<CSentMessage> pIncoming;
        {
            std::lock_guard<std::mutex> lock(Lock());
            if (pSent->state == CSentMessage::State::Done || pSent->state == CSentMessage::State::Failed)
                return;
            if (TerminationRequested())
            {
                // Nothing of the caller's is in the record, so a message the
                // receiver has started may finish without us.
                target.sent.erase(std::remove(target.sent.begin(), target.sent.end(), pSent), target.sent.end());
                pSent->state = CSentMessage::State::Failed;
                return;
            }
            pIncoming = TakeSentLocked();
        }
        if (pIncoming != nullptr)
            HandleSent(pIncoming);
        else
            WaitForWake(waker.Fd());
    }
}

// Step three: the result, and the data the receiver wrote back.
LRESULT RetrieveReply(const CSentMessage& sent, LPARAM lParam, bool bTerminated)
{
    std::lock_guard<std::mutex> lock(Lock());
    if (sent.state != CSentMessage::State::Done)
    {
        if (!bTerminated)
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    UnpackReply(sent, lParam);
    return sent.result;
}

LRESULT SendToOtherThread(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, CQueue& target)
{
    CLayerScope scope;
    auto pSent = std::make_shared<CSentMessage>();
    pSent->hWnd = hWnd;
    pSent->message = message;
    pSent->wParam = wParam;
    pSent->lParam = lParam;
    PackMessage(*pSent);
    std::shared_ptr<CWaker> pWaker = CurrentWaker();
    pSent->pSenderWaker = pWaker;
    if (!QueueSent(pSent, target))
        return 0;
    WaitForReply(pSent, target, *pWaker);
    return RetrieveReply(*pSent, lParam, TerminationRequested());
}

}  // namespace

void FailSentLocked(const std::shared_ptr<CSentMessage>& pSent)
{
    if (pSent->state == CSentMessage::State::Done || pSent->state == CSentMessage::State::Failed)
        return;
    pSent->state = CSentMessage::State::Failed;
    pSent->pSenderWaker->Wake();
}

void HandleAllSent()
{
    for (;;)
    {
        std::shared_ptr<CSentMessage> pSent;
        {
            std::lock_guard<std::mutex> lock(Lock());
            pSent = TakeSentLocked();
        }
        if (pSent == nullptr)
            return;
        HandleSent(pSent);
    }
}

LRESULT SendMessageImpl(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC pfnProc = nullptr;
    {
        CLayerScope scope;
        std::shared_ptr<CQueue> pTarget;
        {
            std::lock_guard<std::mutex> lock(Lock());
            CWindow* pWindow = FindOrFailLocked(hWnd);
            if (pWindow == nullptr)
                return 0;
            if (IsOwnWindowLocked(*pWindow))
                pfnProc = pWindow->pfnProc;
            else
                pTarget = pWindow->pQueue;
        }
        if (pTarget != nullptr)
            return SendToOtherThread(hWnd, message, wParam, lParam, *pTarget);
    }
    // The window's own thread: a plain call, outside the layer, so that a
    // procedure that never returns can still be terminated.
    return pfnProc(hWnd, message, wParam, lParam);
}

}  // namespace rmwin32

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return rmwin32::ApiCall([&] { return rmwin32::SendMessageImpl(hWnd, Msg, wParam, lParam); });
}
