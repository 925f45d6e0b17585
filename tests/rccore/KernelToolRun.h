// Test support inside the kernel VM: the real executable and the receiver
// library, side by side in a directory of their own as they are installed,
// run on the real rc devices with the line display. Every line it writes is
// timestamped (CLOCK_MONOTONIC) the moment it arrives, by a reader thread,
// so that field changes can be set beside the kernel's own timestamps.
#ifndef REMOTEMONITOR_TESTS_KERNELTOOLRUN_H
#define REMOTEMONITOR_TESTS_KERNELTOOLRUN_H

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FakeReceivers.h"
#include "KernelLoopback.h"

namespace rmtest {

struct SToolLine
{
    uint64_t atNs;
    bool bStderr;
    std::string text;
};

struct SToolOptions
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
    bool bPty = false;                // stdin, stdout and stderr one terminal
    std::vector<std::string> prefix;  // run through this command (unshare ...)
    std::vector<std::string> env;
};

class CKernelTool
{
public:
    CKernelTool(const char* pszExe, const char* pszLibrary, const SToolOptions& options = SToolOptions())
    {
        namespace fs = std::filesystem;
        char szTemplate[] = "/tmp/rm-vm-tool-XXXXXX";
        m_dir = mkdtemp(szTemplate);
        chmod(m_dir.c_str(), 0777);
        fs::copy_file(pszExe, m_dir + "/RemoteMonitor");
        fs::copy_file(pszLibrary, m_dir + "/TavrixRC.dll");
        m_log = m_dir + "/calls.log";

        std::vector<std::string> args = options.prefix;
        args.push_back(m_dir + "/RemoteMonitor");
        std::vector<std::string> env = {"REMOTEMONITOR_DISPLAY=lines", "TAVRIXRC_RC_LOG=" + m_log,
                                        "PATH=/usr/sbin:/usr/bin:/sbin:/bin", "TERM=xterm"};
        env.insert(env.end(), options.env.begin(), options.env.end());
        std::vector<char*> argv;
        for (std::string& s : args)
            argv.push_back(&s[0]);
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& s : env)
            envp.push_back(&s[0]);
        envp.push_back(nullptr);

        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        int pty = -1;
        std::string ptyName;
        if (options.bPty)
        {
            pty = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (pty < 0 || grantpt(pty) != 0 || unlockpt(pty) != 0)
                return;
            ptyName = ptsname(pty);
            chmod(ptyName.c_str(), 0666);
        }
        else if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;

        m_pid = fork();
        if (m_pid == 0)
        {
            if (options.bPty)
            {
                setsid();
                const int tty = open(ptyName.c_str(), O_RDWR);
                ioctl(tty, TIOCSCTTY, 0);
                dup2(tty, 0);
                dup2(tty, 1);
                dup2(tty, 2);
            }
            else
            {
                const int null = open("/dev/null", O_RDONLY);
                dup2(null, 0);
                dup2(out[1], 1);
                dup2(err[1], 2);
            }
            if (options.uid != 0 && (setgroups(options.groups.size(), options.groups.data()) != 0 ||
                                     setgid(options.gid) != 0 || setuid(options.uid) != 0))
                _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (options.bPty)
            m_fds = {pty};
        else
        {
            close(out[1]);
            close(err[1]);
            m_fds = {out[0], err[0]};
        }
        m_reader = std::thread([this] { Read(); });
    }
    ~CKernelTool()
    {
        if (m_pid > 0)
        {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_bStop = true;
        if (m_reader.joinable())
            m_reader.join();
        for (int fd : m_fds)
            close(fd);
        std::filesystem::remove_all(m_dir);
    }
    CKernelTool(const CKernelTool&) = delete;
    CKernelTool& operator=(const CKernelTool&) = delete;

    pid_t Pid() const { return m_pid; }
    std::string Log() const { return m_log; }

    std::vector<SToolLine> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // The texts of the lines on standard output (the fields' changes), from
    // line nFrom on.
    std::vector<std::string> FieldLines(size_t nFrom)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::string> texts;
        for (size_t i = nFrom; i < m_lines.size(); ++i)
            if (!m_lines[i].bStderr)
                texts.push_back(m_lines[i].text);
        return texts;
    }
    size_t LineCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines.size();
    }

    // The arrival of the first line from line nFrom on that is exactly
    // text; 0 when none came within the time-out.
    uint64_t WaitLine(const std::string& text, size_t nFrom, int nTimeoutMs, size_t* pAt = nullptr)
    {
        const uint64_t deadline = NowNs() + Ms(static_cast<uint64_t>(nTimeoutMs));
        do
        {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (size_t i = nFrom; i < m_lines.size(); ++i)
                    if (m_lines[i].text == text)
                    {
                        if (pAt != nullptr)
                            *pAt = i;
                        return m_lines[i].atNs;
                    }
            }
            usleep(2000);
        } while (NowNs() < deadline);
        return 0;
    }
    // Waits for a line containing part; its text, or empty.
    std::string WaitLineContaining(const std::string& part, int nTimeoutMs)
    {
        const uint64_t deadline = NowNs() + Ms(static_cast<uint64_t>(nTimeoutMs));
        do
        {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                for (const SToolLine& line : m_lines)
                    if (line.text.find(part) != std::string::npos)
                        return line.text;
            }
            usleep(5000);
        } while (NowNs() < deadline);
        return "";
    }
    std::string AllText()
    {
        std::string all;
        for (const SToolLine& line : Lines())
            all += (line.bStderr ? "[stderr] " : "") + line.text + "\n";
        return all;
    }
    // The last line of the call log, once it is there.
    bool LogHas(const std::string& line, int nTimeoutMs) const
    {
        const uint64_t deadline = NowNs() + Ms(static_cast<uint64_t>(nTimeoutMs));
        do
        {
            std::ifstream in(m_log);
            for (std::string got; std::getline(in, got);)
                if (got == line)
                    return true;
            usleep(10000);
        } while (NowNs() < deadline);
        return false;
    }
    std::string LastLogLine() const
    {
        std::ifstream in(m_log);
        std::string last;
        for (std::string got; std::getline(in, got);)
            last = got;
        return last;
    }

    // Signals the tool and waits for its exit status; -1 when it did not end.
    int Stop(int nSignal, int nTimeoutMs)
    {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, nSignal);
        return Wait(nTimeoutMs);
    }
    int Wait(int nTimeoutMs)
    {
        const uint64_t deadline = NowNs() + Ms(static_cast<uint64_t>(nTimeoutMs));
        do
        {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
            {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        } while (NowNs() < deadline);
        return -1;
    }

    // CPU time (user + system) the process has used, in clock ticks.
    long CpuTicks() const { return StatField(14) + StatField(15); }
    // Resident memory, in KiB.
    long RssKib() const
    {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(in, line);)
            if (line.rfind("VmRSS:", 0) == 0)
                return std::stol(line.substr(6));
        return -1;
    }
    // The targets of its open descriptors.
    std::vector<std::string> OpenFiles() const
    {
        std::vector<std::string> files;
        const std::string dir = "/proc/" + std::to_string(m_pid) + "/fd";
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(dir, error))
            files.push_back(std::filesystem::read_symlink(entry.path(), error).string());
        return files;
    }

private:
    long StatField(int nField) const
    {
        std::ifstream in("/proc/" + std::to_string(m_pid) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t at = stat.rfind(')');
        for (int i = 2; i < nField && at != std::string::npos; ++i)
            at = stat.find(' ', at + 1);
        return at == std::string::npos ? -1 : std::atol(stat.c_str() + at + 1);
    }

    void Read()
    {
        std::vector<std::string> pending(m_fds.size());
        while (!m_bStop)
        {
            std::vector<pollfd> polls;
            for (int fd : m_fds)
                polls.push_back({fd, POLLIN, 0});
            if (poll(polls.data(), polls.size(), 50) <= 0)
                continue;
            const uint64_t now = NowNs();
            for (size_t i = 0; i < polls.size(); ++i)
            {
                if (polls[i].revents == 0)
                    continue;
                char buffer[4096];
                const ssize_t n = read(polls[i].fd, buffer, sizeof buffer);
                if (n <= 0)
                {
                    m_fds[i] = -m_fds[i] - 1;  // polled no more
                    polls[i].fd = -1;
                    continue;
                }
                pending[i].append(buffer, static_cast<size_t>(n));
                for (size_t end; (end = pending[i].find('\n')) != std::string::npos;)
                {
                    std::string text = pending[i].substr(0, end);
                    if (!text.empty() && text.back() == '\r')
                        text.pop_back();
                    pending[i].erase(0, end + 1);
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_lines.push_back({now, i == 1, text});
                }
            }
            bool bAny = false;
            for (int fd : m_fds)
                bAny = bAny || fd >= 0;
            if (!bAny)
                break;
        }
        for (int& fd : m_fds)
            if (fd < 0)
                fd = -fd - 1;
    }

    std::string m_dir;
    std::string m_log;
    pid_t m_pid = -1;
    std::vector<int> m_fds;
    std::thread m_reader;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<SToolLine> m_lines;
};

// A key's press and release, as the tool showed it beside what the kernel
// did: the milliseconds from the kernel's key-up to the tool's fields
// emptied (the first of them), the presses each saw.
struct SReleaseLag
{
    int nToolPresses = 0;
    int nKernelPresses = 0;
    bool bReleased = false;  // the tool's release lines came, and the kernel's key-up
    double lagMs = 0;
};

// After a key was held: the tool's lines from nFrom on with the frame
// pressLine, until both fields are empty, and the kernel's events until
// they have been quiet a while; the last release of each is compared.
inline SReleaseLag MeasureRelease(CKernelTool& tool, CKernelKeys& keys, size_t nFrom, const std::string& pressLine)
{
    SReleaseLag lag;
    const int nPressesBefore = keys.Presses();
    const uint64_t kernelUp = keys.LastRelease();
    lag.nKernelPresses = keys.Presses() - nPressesBefore;
    size_t nAt = 0;
    if (tool.WaitLine(pressLine, nFrom, 3000, &nAt) == 0)
        return lag;
    uint64_t toolUp = 0;
    for (size_t nNext = nAt; tool.WaitLine(pressLine, nNext + 1, 0, &nNext) != 0; nAt = nNext)
    {
    }
    const std::vector<SToolLine> lines = tool.Lines();
    for (size_t i = nFrom; i < lines.size(); ++i)
        lag.nToolPresses += lines[i].text == pressLine;
    const uint64_t exUp = tool.WaitLine("Extended code:", nAt + 1, 3000);
    const uint64_t codeUp = tool.WaitLine("RC Code:", nAt + 1, 3000);
    toolUp = std::min(exUp - 1, codeUp - 1) + 1;
    lag.bReleased = toolUp != 0 && kernelUp != 0;
    lag.lagMs = (static_cast<double>(toolUp) - static_cast<double>(kernelUp)) / 1e6;
    return lag;
}

// Both fields shown from line nFrom on with the frame pressLine, then
// emptied.
inline bool ShowsAndReleases(CKernelTool& tool, size_t nFrom, const std::string& pressLine)
{
    size_t nAt = 0;
    return tool.WaitLine(pressLine, nFrom, 3000, &nAt) != 0 && tool.WaitLine("Extended code:", nAt + 1, 3000) != 0;
}

}  // namespace rmtest

#endif
