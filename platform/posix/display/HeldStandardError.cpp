#include "display/HeldStandardError.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace rmwin32 {
namespace {

// Read from a signal handler too, hence plain descriptors.
volatile sig_atomic_t g_nSavedFd = -1;  // standard error as it was
volatile sig_atomic_t g_nHeldFd = -1;   // the holding file
volatile sig_atomic_t g_nWatchFd = -1;  // inotify, on the holding file
// How much of the holding file TakeNewlyHeld has handed out; the drawing
// thread's alone.
off_t g_nTaken = 0;
const off_t kMostTaken = 64 * 1024;

bool StandardErrorIsTheScreen()
{
    struct stat err;
    struct stat out;
    return isatty(STDERR_FILENO) && isatty(STDOUT_FILENO) && fstat(STDERR_FILENO, &err) == 0 &&
           fstat(STDOUT_FILENO, &out) == 0 && err.st_rdev == out.st_rdev;
}

// An unnamed file: nothing is left behind, whatever way the process ends.
int OpenHoldingFile()
{
    const char* pszDir = std::getenv("TMPDIR");
    const std::string dir = pszDir != nullptr && *pszDir != '\0' ? pszDir : "/tmp";
    int fd = open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string name = dir + "/remotemonitor-stderr.XXXXXX";
    fd = mkostemp(&name[0], O_CLOEXEC);
    if (fd >= 0)
        unlink(name.c_str());
    return fd;
}

// The kernel tells of each write to the file, so the drawing thread sleeps
// until one comes instead of looking. The file has no name of its own, but
// its descriptor's link in /proc leads to it.
int WatchHoldingFile(int nHeld)
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0)
        return -1;
    const std::string link = "/proc/self/fd/" + std::to_string(nHeld);
    if (inotify_add_watch(fd, link.c_str(), IN_MODIFY) < 0)
    {
        close(fd);
        return -1;
    }
    return fd;
}

void WriteAll(int fd, const char* p, ssize_t n)
{
    while (n > 0)
    {
        const ssize_t nWritten = write(fd, p, static_cast<size_t>(n));
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0)
            return;
        p += nWritten;
        n -= nWritten;
    }
}

}  // namespace

void HoldStandardError()
{
    if (g_nSavedFd >= 0 || !StandardErrorIsTheScreen())
        return;
    const int nHeld = OpenHoldingFile();
    if (nHeld < 0)
        return;
    const int nSaved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (nSaved < 0)
    {
        close(nHeld);
        return;
    }
    // Should no dialog come to give the screen back, the end of the process
    // does, so nothing held is lost.
    static const bool s_bReleasedAtExit = std::atexit(ReleaseStandardError) == 0;
    (void)s_bReleasedAtExit;
    std::fflush(stderr);
    g_nWatchFd = WatchHoldingFile(nHeld);
    g_nTaken = 0;
    g_nHeldFd = nHeld;
    g_nSavedFd = nSaved;
    dup2(nHeld, STDERR_FILENO);
}

void ReleaseStandardError()
{
    const int nSaved = g_nSavedFd;
    const int nHeld = g_nHeldFd;
    const int nWatch = g_nWatchFd;
    if (nSaved < 0)
        return;
    g_nSavedFd = -1;
    g_nHeldFd = -1;
    g_nWatchFd = -1;
    if (nWatch >= 0)
        close(nWatch);
    dup2(nSaved, STDERR_FILENO);
    close(nSaved);
    char buffer[512];
    ssize_t n;
    off_t at = 0;
    while ((n = pread(nHeld, buffer, sizeof buffer, at)) > 0)
    {
        WriteAll(STDERR_FILENO, buffer, n);
        at += n;
    }
    close(nHeld);
}

int NewlyHeldFd()
{
    return g_nWatchFd;
}

bool TakeNewlyHeld(std::string* pText)
{
    const int nWatch = g_nWatchFd;
    if (nWatch >= 0)
    {
        // Only the wake-up was wanted; the file says what came.
        char events[256];
        while (read(nWatch, events, sizeof events) > 0)
        {
        }
    }
    const int nHeld = g_nHeldFd;
    struct stat st;
    if (nHeld < 0 || fstat(nHeld, &st) != 0 || st.st_size <= g_nTaken)
        return false;
    // A flood is only ever shown by its last lines: the rest need not be
    // read (the release at the end still writes out every byte).
    if (st.st_size - g_nTaken > kMostTaken)
        g_nTaken = st.st_size - kMostTaken;
    const size_t nBefore = pText->size();
    char buffer[4096];
    ssize_t n;
    while (g_nTaken < st.st_size && (n = pread(nHeld, buffer, sizeof buffer, g_nTaken)) > 0)
    {
        pText->append(buffer, static_cast<size_t>(n));
        g_nTaken += n;
    }
    return pText->size() > nBefore;
}

}  // namespace rmwin32
