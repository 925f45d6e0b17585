// Requests to end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT, a closed
// output pipe) and terminal resizes (SIGWINCH), caught by handlers that only
// write to a pipe, so that the dialog thread's wait sees them among its other
// descriptors. Also what the process does when it cannot end in order: a
// fatal signal, or a shut-down that runs past its bound.
#ifndef REMOTEMONITOR_END_REQUESTS_H
#define REMOTEMONITOR_END_REQUESTS_H

namespace rmwin32 {

// Installs the handlers, once. Requests that come before a dialog waits
// stay in the pipe until one does.
void InstallEndRequestHandlers();

// The pipe's read end, or -1 when it could not be made.
int EndRequestFd();

// A second pipe with a byte for every request to end (not for resizes), for
// a thread that watches the dialog thread: it sees each request whether or
// not the dialog thread has taken it already. -1 when it could not be made.
int EndRequestWatchFd();

struct CEndRequests
{
    int nEnds = 0;
    bool bResized = false;
};

// Takes what the handlers have written since the last call.
CEndRequests ReadEndRequests();

// Asks for the end as a signal would, from the process itself.
void RequestEnd();

// Gives the screen back when the process ends without its own clean-up (a
// fatal signal, a shut-down past its bound). Called from a signal handler:
// async-signal-safe calls only.
typedef void (*RestoreScreenFn)();
void SetRestoreScreen(RestoreScreenFn fn);

// For the process entry. It has this done before the process-wide objects
// are built, so that a request to end that comes during start-up, while a
// slow driver loads say, also ends the tool in order: it is held until the
// first dialog runs, which then closes as its close box would.
void CatchEndRequests();

// The shut-down has begun and must be over within nSeconds. Until then no
// request to end cuts it short; past it the process gives the screen back,
// says so on standard error and exits with a failure status.
void BoundShutDown(unsigned int nSeconds);

}  // namespace rmwin32

#endif
