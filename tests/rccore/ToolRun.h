// Test support: the real executable run over a fake tree of receivers, with
// its output going to a pipe (no terminal: one line per change of a field),
// the fake nodes' ioctls answered by the preloaded shim.
#ifndef REMOTEMONITOR_TESTS_TOOLRUN_H
#define REMOTEMONITOR_TESTS_TOOLRUN_H

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FakeReceivers.h"

extern char** environ;

namespace rmtest {

class CToolRun
{
public:
    typedef std::chrono::steady_clock Clock;

    // The tool and the receiver library, copied side by side into the tree,
    // as they are installed; then started with the tree for its kernel,
    // through the wrapper command given, if any (found in PATH).
    CToolRun(const CFakeReceivers& tree, const char* pszExe, const char* pszLibrary, const char* pszShim,
             std::vector<std::string> wrapper = {})
    {
        namespace fs = std::filesystem;
        const std::string bin = tree.Root() + "/bin";
        fs::create_directories(bin);
        fs::copy_file(pszExe, bin + "/RemoteMonitor", fs::copy_options::overwrite_existing);
        fs::copy_file(pszLibrary, bin + "/TavrixRC.dll", fs::copy_options::overwrite_existing);
        m_log = tree.Root() + "/calls.log";

        const char* pszAsan = std::getenv("ASAN_OPTIONS");
        std::vector<std::string> env = {"TAVRIXRC_RC_SYSFS=" + tree.Sysfs(), "TAVRIXRC_RC_DEV=" + tree.Dev(),
                                        "TAVRIXRC_RC_LOG=" + m_log, std::string("LD_PRELOAD=") + pszShim,
                                        // The shim is preloaded ahead of the sanitizer's runtime.
                                        std::string("ASAN_OPTIONS=") +
                                            (pszAsan != nullptr ? pszAsan + std::string(":") : "") +
                                            "verify_asan_link_order=0"};
        for (char** p = environ; *p != nullptr; ++p)
            env.push_back(*p);  // later duplicates lose: the first one counts
        std::vector<char*> envp;
        for (std::string& s : env)
            envp.push_back(&s[0]);
        envp.push_back(nullptr);

        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        wrapper.push_back(bin + "/RemoteMonitor");
        std::vector<char*> argv;
        for (std::string& arg : wrapper)
            argv.push_back(&arg[0]);
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_fd = fds[0];
    }
    ~CToolRun()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_fd >= 0)
            close(m_fd);
    }
    CToolRun(const CToolRun&) = delete;
    CToolRun& operator=(const CToolRun&) = delete;

    std::string Log() const { return m_log; }

    // The next whole line of output; false when none came in time.
    bool NextLine(std::string* pLine, std::chrono::milliseconds timeout)
    {
        const Clock::time_point deadline = Clock::now() + timeout;
        for (;;)
        {
            const size_t nEnd = m_pending.find('\n');
            if (nEnd != std::string::npos)
            {
                pLine->assign(m_pending, 0, nEnd);
                m_pending.erase(0, nEnd + 1);
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p = {m_fd, POLLIN, 0};
            if (left.count() < 0 || poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0)
                return false;
            char buffer[512];
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            m_pending.append(buffer, static_cast<size_t>(n));
        }
    }

    // Signals the tool and waits for its exit status; -1 when it did not end.
    int Stop(int nSignal, std::chrono::milliseconds timeout)
    {
        if (m_pid <= 0)
            return -1;  // never started: a kill of pid -1 would reach every process
        kill(m_pid, nSignal);
        const Clock::time_point deadline = Clock::now() + timeout;
        do
        {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
            {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        } while (Clock::now() < deadline);
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_fd = -1;
    std::string m_log;
    std::string m_pending;
};

// Waits for a line of the call log, as the tool's calls reach the library.
inline bool LogHasLine(const std::string& path, const std::string& line, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do
    {
        std::ifstream in(path);
        for (std::string got; std::getline(in, got);)
            if (got == line)
                return true;
        usleep(10000);
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace rmtest

#endif
