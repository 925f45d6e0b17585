// What the end-to-end tests of the real executable share: a directory of its
// own per run, holding the tool, maybe a driver library beside it, the card's
// script and its call log, and the check of that log.
#ifndef REMOTEMONITOR_TESTS_RUN_DIR_H
#define REMOTEMONITOR_TESTS_RUN_DIR_H

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace rmtest {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
}

inline bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);)
        lines.push_back(line);
    return lines;
}

inline void CopyExecutable(const std::string& from, const std::string& to)
{
    WriteFile(to, "");
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    out.close();
    chmod(to.c_str(), 0755);
}

struct CRunDir
{
    std::string path;

    explicit CRunDir(const char* pszLibrary)
    {
        char szTemplate[] = "/tmp/rm-e2e-XXXXXX";
        path = mkdtemp(szTemplate);
        CopyExecutable(RM_EXE, path + "/RemoteMonitor");
        if (pszLibrary != nullptr)
            CopyExecutable(pszLibrary, path + "/TavrixRC.dll");
    }
    ~CRunDir() { std::system(("rm -rf '" + path + "'").c_str()); }

    std::string Log() const { return path + "/calls.log"; }
    std::string Script() const { return path + "/card.script"; }
    std::string Errors() const { return path + "/stderr.txt"; }
    std::string Environment(int nCards) const
    {
        return "TAVRIXRC_SIM_SCRIPT='" + Script() + "' TAVRIXRC_SIM_LOG='" + Log() +
               "' TAVRIXRC_SIM_CARDS=" + std::to_string(nCards);
    }
};

// The call log: UnInit once, as the very last call, so after every code read.
inline void ExpectUnInitOnceAtTheEnd(const CRunDir& dir)
{
    const std::vector<std::string> lines = Lines(ReadFile(dir.Log()));
    ASSERT_FALSE(lines.empty());
    int nUnInit = 0;
    for (const std::string& line : lines)
        nUnInit += line == "UnInit";
    EXPECT_EQ(1, nUnInit);
    EXPECT_EQ("UnInit", lines.back());
}

// The tool with its output going to a pipe, in the environment of a card
// with nCards cards and whatever else a test adds; pfnInChild, if any, runs
// in the new process just before the tool is started in it.
struct CPipeRun
{
    pid_t pid = -1;
    int fd = -1;
    std::string output;

    CPipeRun(const CRunDir& dir, int nCards, const std::vector<std::string>& extraEnvironment = {},
             void (*pfnInChild)() = nullptr)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid = fork();
        if (pid == 0)
        {
            dup2(fds[1], STDOUT_FILENO);
            int nNull = open("/dev/null", O_RDONLY);
            dup2(nNull, STDIN_FILENO);
            int nErrors = open(dir.Errors().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(nErrors, STDERR_FILENO);
            close(fds[0]);
            close(fds[1]);
            setenv("TAVRIXRC_SIM_SCRIPT", dir.Script().c_str(), 1);
            setenv("TAVRIXRC_SIM_LOG", dir.Log().c_str(), 1);
            setenv("TAVRIXRC_SIM_CARDS", std::to_string(nCards).c_str(), 1);
            for (const std::string& assignment : extraEnvironment)
                putenv(const_cast<char*>(assignment.c_str()));
            const std::string exe = dir.path + "/RemoteMonitor";
            if (pfnInChild != nullptr)
                pfnInChild();
            execl(exe.c_str(), exe.c_str(), "--ignored", "arguments", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        fd = fds[0];
        fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~CPipeRun()
    {
        if (pid > 0)
        {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fd >= 0)
            close(fd);
    }

    void Pump()
    {
        char buffer[1024];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            output.append(buffer, static_cast<size_t>(n));
    }

    bool WaitForOutput(const std::string& text, milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        do
        {
            Pump();
            if (output.find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(milliseconds(20));
        } while (Clock::now() < deadline);
        return false;
    }

    // The exit status, or -1 when the process did not end in time.
    int WaitForExit(milliseconds timeout)
    {
        const auto deadline = Clock::now() + timeout;
        do
        {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid)
            {
                pid = -1;
                Pump();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(10));
        } while (Clock::now() < deadline);
        return -1;
    }
};

}  // namespace rmtest

#endif
