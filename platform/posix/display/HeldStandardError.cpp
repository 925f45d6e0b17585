#include "display/HeldStandardError.h"

#include <fcntl.h>
#include <signal.h>
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
    std::fflush(stderr);
    g_nHeldFd = nHeld;
    g_nSavedFd = nSaved;
    dup2(nHeld, STDERR_FILENO);
}

void ReleaseStandardError()
{
    const int nSaved = g_nSavedFd;
    const int nHeld = g_nHeldFd;
    if (nSaved < 0)
        return;
    g_nSavedFd = -1;
    g_nHeldFd = -1;
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

}  // namespace rmwin32
