// Requests to end the process (SIGINT, SIGTERM, SIGHUP) and terminal
// resizes (SIGWINCH), caught by handlers that only write to a pipe, so that
// the dialog thread's wait sees them among its other descriptors.
#ifndef REMOTEMONITOR_END_REQUESTS_H
#define REMOTEMONITOR_END_REQUESTS_H

namespace rmwin32 {

// Installs the handlers, once. Requests that come before a dialog waits
// stay in the pipe until one does.
void InstallEndRequestHandlers();

// The pipe's read end, or -1 when it could not be made.
int EndRequestFd();

struct CEndRequests
{
    int nEnds = 0;
    bool bResized = false;
};

// Takes what the handlers have written since the last call.
CEndRequests ReadEndRequests();

// Gives the screen back when the process ends by a signal after all. Called
// from a signal handler: async-signal-safe calls only.
typedef void (*RestoreScreenFn)();
void SetRestoreScreen(RestoreScreenFn fn);

}  // namespace rmwin32

#endif
