// Seams between the parts of our Win32 subset: the window and message core,
// the dialog manager and the terminal. Not part of the Win32 API.
#ifndef REMOTEMONITOR_WIN32_INTERNAL_H
#define REMOTEMONITOR_WIN32_INTERNAL_H

#include <windows.h>

namespace rmwin32 {

// A descriptor that becomes readable whenever the calling thread's message
// queue gets work: a posted or sent message, a reply to its own send, or a
// request to terminate the thread. Created on first use, owned by the queue.
int GetQueueWakeFd();

// How the calling thread blocks in GetMessageA while its queue is empty. The
// terminal installs one on the thread that runs the dialog, so that the wait
// also covers the keyboard and signals; it returns when wakeFd is readable or
// when it has posted input messages itself. nullptr restores the plain wait.
typedef void (*IdleWaitFn)(int wakeFd);
void SetIdleWait(IdleWaitFn fn);

// The process entry has this done before the process-wide objects are built,
// so that a request to end (SIGINT, SIGTERM, SIGHUP, SIGQUIT) that comes
// during start-up, while a slow driver loads say, also ends the tool in
// order: it is held until the first dialog runs, which then closes as its
// close box would.
void CatchEndRequests();

// The shut-down has begun and must be over within nSeconds. Until then no
// request to end cuts it short; past it the process gives the screen back,
// says so on standard error and exits with a failure status.
void BoundShutDown(unsigned int nSeconds);

// A seam for tests of code that must survive a failing system: the next
// nCount calls of CreateThread fail as if no further thread could be made.
void FailNextThreadCreations(int nCount);

}  // namespace rmwin32

#endif
