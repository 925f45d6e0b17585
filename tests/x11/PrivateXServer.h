// The one way the tests and benchmarks start an X server: an Xvfb that picks
// a free display number itself and writes it to a pipe of ours
// (-displayfd), so that no other server, started a moment before on a shared
// machine, can be the one we go on to talk to. scripts/screenshot-x11.sh and
// cmake/wine-run.sh start theirs the same way.
#ifndef REMOTEMONITOR_TESTS_PRIVATE_X_SERVER_H
#define REMOTEMONITOR_TESTS_PRIVATE_X_SERVER_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace rmtest {

struct CPrivateXvfb
{
    pid_t pid = -1;
    std::string name;  // ":N", empty when the server did not come up
};

// pszScreen as Xvfb's -screen takes it ("1024x768x24").
inline CPrivateXvfb StartPrivateXvfb(const char* pszScreen = "1024x768x24")
{
    CPrivateXvfb server;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return server;
    server.pid = fork();
    if (server.pid == 0)
    {
        setsid();
        const int nNull = open("/dev/null", O_RDWR);
        dup2(nNull, STDIN_FILENO);
        dup2(nNull, STDOUT_FILENO);
        dup2(nNull, STDERR_FILENO);
        dup2(fds[1], 3);  // dup2 leaves the copy open across exec
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", pszScreen, "-nolisten", "tcp",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    char ch = 0;
    struct pollfd fd = {fds[0], POLLIN, 0};
    while (server.pid > 0 && poll(&fd, 1, 10000) == 1 && read(fds[0], &ch, 1) == 1 && ch != '\n')
        number += ch;
    close(fds[0]);
    if (ch == '\n' && !number.empty())
    {
        server.name = ":" + number;
    }
    else if (server.pid > 0)
    {
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
        server.pid = -1;
    }
    return server;
}

inline void StopPrivateXvfb(CPrivateXvfb& server)
{
    if (server.pid > 0)
    {
        kill(server.pid, SIGCONT);  // a test may have stopped it
        kill(server.pid, SIGTERM);
        waitpid(server.pid, nullptr, 0);
    }
    server.pid = -1;
}

}  // namespace rmtest

#endif
