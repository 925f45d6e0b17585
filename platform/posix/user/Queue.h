// One message queue per thread: posted messages, messages sent from other
// threads, WM_QUIT, the focus, and how the thread waits for work.
#ifndef REMOTEMONITOR_USER_QUEUE_H
#define REMOTEMONITOR_USER_QUEUE_H

#include <windows.h>

#include "kernel/Waker.h"
#include "user/Lock.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace rmwin32 {

// How a thread blocks in GetMessageA while its queue is empty. The display
// installs one on the thread that runs the dialog, so that the wait also
// covers the keyboard and signals; it returns when wakeFd is readable or when
// it has posted input messages itself. nullptr restores the plain wait.
typedef void (*IdleWaitFn)(int wakeFd);

// A message sent from another thread. Data the message carries travels in
// the record rather than as the sender's pointer, so that a sender that gives
// up (termination) leaves nothing behind that the receiver could still touch.
struct CSentMessage
{
    enum class State
    {
        Queued,
        Running,
        Done,
        Failed
    };

    HWND hWnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::string textIn;         // WM_SETTEXT
    std::vector<char> textOut;  // WM_GETTEXT
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
    std::deque<std::shared_ptr<CSentMessage>> sent;      // waiting to be handled
    std::vector<std::shared_ptr<CSentMessage>> running;  // being handled now
    bool bQuit = false;
    int nQuitCode = 0;
    bool bAlive = true;
    HWND hFocus = nullptr;
};

// The calling thread's queue, made on first need; null once the thread is
// ending.
std::shared_ptr<CQueue> CurrentQueue();

// The calling thread's queue if it has one; never makes one.
CQueue* OwnQueue();

// Drops what the queue holds for a window that is going: its posted
// messages, the focus, and the sends still waiting for it (which fail).
void ForgetWindowMessagesLocked(CQueue& queue, HWND hWnd);

// Fails a queued or running send and wakes its sender.
void FailSentLocked(const std::shared_ptr<CSentMessage>& pSent);

// Runs every message other threads have sent to this one.
void HandleAllSent();

// Blocks until the descriptor is readable.
void WaitForWake(int fd);

// A descriptor that becomes readable whenever the calling thread's message
// queue gets work: a posted or sent message, a reply to its own send, or a
// request to terminate the thread. Created on first use, owned by the queue.
int GetQueueWakeFd();

// Sets how the calling thread waits in GetMessageA; see IdleWaitFn.
void SetIdleWait(IdleWaitFn fn);
IdleWaitFn CurrentIdleWait();

}  // namespace rmwin32

#endif
