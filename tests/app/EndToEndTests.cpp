// The real executable, run as a user runs it: in a terminal (a tmux pane,
// read back with capture-pane and typed into with send-keys) and with its
// output going to a pipe. The simulated card plays a script of timed codes
// and logs every call the tool makes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RunDir.h"

namespace {

using namespace rmtest;

bool HaveTmux()
{
    return std::system("command -v tmux >/dev/null 2>&1") == 0;
}

// One tmux server of its own per session, so tests never meet.
class CTerminal
{
public:
    CTerminal(const CRunDir& dir, const std::string& environment) : m_dir(dir)
    {
        static int s_nCount = 0;
        m_socket = "rm-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++s_nCount);
        WriteFile(dir.path + "/tmux.conf", "set -g default-terminal screen\nset -g escape-time 0\n");
        // The shell outlives a Ctrl-C meant for the tool, to record how
        // the tool ended.
        WriteFile(dir.path + "/run.sh", "trap : INT; echo $$ > '" + dir.path + "/shell.pid'; cd '" + dir.path +
                                            "' && " + environment + " ./RemoteMonitor; echo $? > '" + ExitFile() +
                                            "'\n");
        Tmux("-f '" + dir.path + "/tmux.conf' new-session -d -x 80 -y 24 'sh " + dir.path + "/run.sh'");
    }
    ~CTerminal() { Tmux("kill-server"); }

    std::string ExitFile() const { return m_dir.path + "/exit-status"; }

    // The tool's process: the only child of the pane's shell.
    std::string ToolPid() const
    {
        std::string shell = ReadFile(m_dir.path + "/shell.pid");
        shell = shell.substr(0, shell.find('\n'));
        std::stringstream children(ReadFile("/proc/" + shell + "/task/" + shell + "/children"));
        std::string pid;
        children >> pid;
        return pid;
    }

    std::string Screen() const
    {
        std::string out;
        FILE* pipe = popen(("tmux -L " + m_socket + " capture-pane -p 2>/dev/null").c_str(), "r");
        if (pipe == nullptr)
            return out;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        pclose(pipe);
        return out;
    }

    // The screen line that holds a text, or "" when none does.
    std::string LineWith(const std::string& text) const
    {
        for (const std::string& line : Lines(Screen()))
        {
            if (line.find(text) != std::string::npos)
                return line;
        }
        return "";
    }

    template <class Pred>
    bool WaitFor(Pred pred, milliseconds timeout) const
    {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline)
        {
            if (pred())
                return true;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return pred();
    }

    bool WaitForText(const std::string& text, milliseconds timeout = milliseconds(5000)) const
    {
        return WaitFor([&] { return Screen().find(text) != std::string::npos; }, timeout);
    }

    void SendKeys(const std::string& keys) const { Tmux("send-keys " + keys); }
    void Resize(int nColumns, int nRows) const
    {
        Tmux("resize-window -x " + std::to_string(nColumns) + " -y " + std::to_string(nRows));
    }

    // How long the process took to end after now, or -1 when it did not
    // end within the time-out.
    long WaitForExit(milliseconds timeout) const
    {
        const auto start = Clock::now();
        if (!WaitFor([&] { return Exists(ExitFile()); }, timeout))
            return -1;
        return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - start).count());
    }

private:
    void Tmux(const std::string& args) const
    {
        std::system(("tmux -L " + m_socket + " " + args + " >/dev/null 2>&1").c_str());
    }

    const CRunDir& m_dir;
    std::string m_socket;
};

// The value a field shows on the screen: the word after its label, if it is
// a number (a button or the frame may follow an empty field).
std::string FieldAfter(const std::string& line, const std::string& label)
{
    size_t nAt = line.find(label);
    if (nAt == std::string::npos)
        return "";
    std::stringstream ss(line.substr(nAt + label.size()));
    std::string value;
    ss >> value;
    if (value.empty() || value.find_first_not_of("-0123456789ABCDEF") != std::string::npos)
        return "";
    return value;
}

class TerminalRun : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveTmux())
            GTEST_SKIP() << "tmux is not installed";
    }
};

TEST_F(TerminalRun, ShowsTheCodesAsTheyComeInTheirFormats)
{
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "300 21 0000ABCD\n1500 255\n1900 7\n");
    CTerminal term(dir, dir.Environment(1));

    ASSERT_TRUE(term.WaitForText("Remote Control Test")) << term.Screen();
    EXPECT_NE("", term.LineWith("Close"));
    ASSERT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("RC Code:"), "RC Code:") == "21"; }, milliseconds(5000)))
        << term.Screen();
    EXPECT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("Extended code:"), "Extended code:") == "0000ABCD"; },
                     milliseconds(2000)))
        << term.Screen();
    // Released: both fields empty again.
    EXPECT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("RC Code:"), "RC Code:").empty(); }, milliseconds(3000)))
        << term.Screen();
    // A code without its own extended code gets the simulated remote's.
    ASSERT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("RC Code:"), "RC Code:") == "7"; }, milliseconds(3000)))
        << term.Screen();
    EXPECT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("Extended code:"), "Extended code:") == "38C707F8"; },
                     milliseconds(2000)))
        << term.Screen();

    term.SendKeys("Escape");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000)));
    ExpectUnInitOnceAtTheEnd(dir);
}

TEST_F(TerminalRun, WithoutGetRemoteCodeExShowsTheDerivedExtendedCode)
{
    CRunDir dir(RM_SIM_NOEX);
    WriteFile(dir.Script(), "100 21\n");
    CTerminal term(dir, dir.Environment(1));
    EXPECT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("Extended code:"), "Extended code:") == "866B15EA"; },
                     milliseconds(5000)))
        << term.Screen();
    EXPECT_EQ("21", FieldAfter(term.LineWith("RC Code:"), "RC Code:"));
    term.SendKeys("Enter");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000)));
}

TEST_F(TerminalRun, EnterEscAndCtrlCEachEndItWithinASecond)
{
    for (const char* pszKey : {"Enter", "Escape", "C-c", "q"})
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 42\n");
        CTerminal term(dir, dir.Environment(1));
        ASSERT_TRUE(
            term.WaitFor([&] { return FieldAfter(term.LineWith("RC Code:"), "RC Code:") == "42"; }, milliseconds(5000)))
            << pszKey << "\n"
            << term.Screen();
        term.SendKeys(pszKey);
        const long nMs = term.WaitForExit(milliseconds(3000));
        EXPECT_LE(0, nMs) << pszKey;
        // The worker's stop is bounded by one second; a healthy close takes
        // a few tens of milliseconds.
        EXPECT_GT(1500, nMs) << pszKey;
        EXPECT_EQ("0\n", ReadFile(term.ExitFile())) << pszKey;
        ExpectUnInitOnceAtTheEnd(dir);
        std::printf("[ measured ] %s closed the tool in %ld ms\n", pszKey, nMs);
    }
}

// Context switches of a thread so far: each one is a wake-up or a preemption.
long ContextSwitches(const std::string& pid)
{
    long nTotal = 0;
    for (const std::string& line : Lines(ReadFile("/proc/" + pid + "/task/" + pid + "/status")))
    {
        if (line.find("ctxt_switches:") != std::string::npos)
            nTotal += std::atol(line.substr(line.find(':') + 1).c_str());
    }
    return nTotal;
}

TEST_F(TerminalRun, TheMainThreadSleepsWhileNothingChanges)
{
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "# a silent card\n");
    CTerminal term(dir, dir.Environment(1));
    ASSERT_TRUE(term.WaitForText("Remote Control Test"));
    std::this_thread::sleep_for(milliseconds(300));
    const std::string pid = term.ToolPid();
    ASSERT_FALSE(pid.empty());
    const long nBefore = ContextSwitches(pid);
    std::this_thread::sleep_for(milliseconds(1000));
    const long nAfter = ContextSwitches(pid);
    // The worker polls every 20 ms but only wakes the main thread for a
    // change; a spinning or ticking loop would show dozens here.
    EXPECT_GE(3, nAfter - nBefore);
    std::printf("[ measured ] main thread: %ld context switches in 1 s of no change\n", nAfter - nBefore);
    term.SendKeys("Escape");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000)));
}

TEST_F(TerminalRun, MissingLibraryIsReportedThenTheToolEndsByItself)
{
    CRunDir dir(nullptr);
    CTerminal term(dir, dir.Environment(1));
    ASSERT_TRUE(term.WaitForText("Unable to initialize TavrixRC.dll library.")) << term.Screen();
    // Shown before the dialog.
    EXPECT_EQ(std::string::npos, term.Screen().find("RC Code:"));
    term.SendKeys("Enter");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000))) << term.Screen();
    EXPECT_FALSE(Exists(dir.Log()));
}

TEST_F(TerminalRun, NoCardIsReportedThenTheToolEndsByItself)
{
    CRunDir dir(RM_SIM);
    CTerminal term(dir, dir.Environment(0));
    ASSERT_TRUE(term.WaitForText("Tuner not found.")) << term.Screen();
    term.SendKeys("Enter");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000))) << term.Screen();
    const std::vector<std::string> lines = Lines(ReadFile(dir.Log()));
    const std::vector<std::string> expected = {"GetCardCount -> 0", "UnInit"};
    EXPECT_EQ(expected, lines);
}

TEST_F(TerminalRun, ATerminalTooSmallSaysSoAndRecoversOnResize)
{
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "0 42\n");
    CTerminal term(dir, dir.Environment(1));
    ASSERT_TRUE(term.WaitForText("Remote Control Test"));
    term.Resize(24, 6);
    EXPECT_TRUE(term.WaitForText("too small")) << term.Screen();
    term.Resize(80, 24);
    EXPECT_TRUE(
        term.WaitFor([&] { return FieldAfter(term.LineWith("RC Code:"), "RC Code:") == "42"; }, milliseconds(3000)))
        << term.Screen();
    term.SendKeys("Escape");
    EXPECT_LE(0, term.WaitForExit(milliseconds(3000)));
}

// With no terminal: one line per change of a field; signals end it.
std::vector<std::string> LinesOf(const std::vector<std::string>& lines, const std::string& label)
{
    std::vector<std::string> found;
    for (const std::string& line : lines)
    {
        if (line.compare(0, label.size(), label) == 0)
            found.push_back(line);
    }
    return found;
}

TEST(PipeRun, PrintsALinePerChangeAndEndsOnSignals)
{
    for (int nSignal : {SIGTERM, SIGINT, SIGHUP})
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "100 21 866B15EA\n400 21 866B15EA\n600 255\n800 -5\n");
        CPipeRun run(dir, 1);
        ASSERT_TRUE(run.WaitForOutput("RC Code:\n", milliseconds(5000))) << run.output;
        // The negative code blanks the code field once; its extended code
        // is the simulated remote's "no code".
        std::this_thread::sleep_for(milliseconds(300));
        kill(run.pid, nSignal);
        const auto start = Clock::now();
        EXPECT_EQ(0, run.WaitForExit(milliseconds(3000))) << nSignal;
        EXPECT_GT(milliseconds(1500), Clock::now() - start);
        // Each field's lines come in its own order; between the fields the
        // order is timing's: a change that falls between a step's two reads
        // reaches the extended code one step before the code.
        const std::vector<std::string> lines = Lines(run.output);
        EXPECT_EQ(4u, lines.size()) << run.output;
        EXPECT_EQ((std::vector<std::string>{"RC Code: 21", "RC Code:"}), LinesOf(lines, "RC Code:")) << nSignal;
        EXPECT_EQ((std::vector<std::string>{"Extended code: 866B15EA", "Extended code:"}),
                  LinesOf(lines, "Extended code:"))
            << nSignal;
        ExpectUnInitOnceAtTheEnd(dir);
    }
}

TEST(PipeRun, StartUpErrorsArePrintedAndTheToolEndsByItself)
{
    {
        CRunDir dir(nullptr);
        CPipeRun run(dir, 1);
        // A failed start is not reported as success: 3 for the library, 4 for the card.
        EXPECT_EQ(3, run.WaitForExit(milliseconds(3000)));
        EXPECT_EQ("Unable to initialize TavrixRC.dll library.\n", run.output);
        EXPECT_FALSE(Exists(dir.Log()));
    }
    {
        CRunDir dir(RM_SIM);
        CPipeRun run(dir, 0);
        EXPECT_EQ(4, run.WaitForExit(milliseconds(3000)));
        EXPECT_EQ("Tuner not found.\n", run.output);
        ExpectUnInitOnceAtTheEnd(dir);
    }
}

// What `ulimit -u 1` leaves an ordinary user: no thread more. Root is not
// held to the limit, so a run as root becomes nobody first.
const int kStatusNotAUser = 125;
void AsAUserWithNoThreadToSpare()
{
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(kStatusNotAUser);
    const struct rlimit limit = {1, 1};
    if (setrlimit(RLIMIT_NPROC, &limit) != 0)
        _exit(kStatusNotAUser);
}

// A worker that cannot be made is said, with the system's reason, instead
// of a run that looks like a remote sending nothing; the driver is told.
TEST(PipeRun, AWorkerThatCannotStartIsSaidAndEndsTheRun)
{
    CRunDir dir(RM_SIM);
    chmod(dir.path.c_str(), 0777);
    WriteFile(dir.Script(), "0 21\n");
    std::vector<std::string> environment;
#if defined(__SANITIZE_ADDRESS__)
    // LeakSanitizer's check at the exit needs a thread of its own, which the
    // limit refuses it too; it then fails the run.
    const char* pszOptions = std::getenv("ASAN_OPTIONS");
    environment.push_back("ASAN_OPTIONS=" + std::string(pszOptions != nullptr ? pszOptions : "") + ":detect_leaks=0");
#endif
    const auto start = Clock::now();
    CPipeRun run(dir, 1, environment, AsAUserWithNoThreadToSpare);
    const int nStatus = run.WaitForExit(milliseconds(3000));
    const auto elapsed = Clock::now() - start;
    if (nStatus == kStatusNotAUser)
        GTEST_SKIP() << "cannot run the tool as a user held to a limit on processes";
    EXPECT_EQ(5, nStatus);
    EXPECT_GT(milliseconds(1000), elapsed);
    EXPECT_EQ("Unable to start reading the remote in the background.\nResource temporarily unavailable.\n", run.output);
    ExpectUnInitOnceAtTheEnd(dir);
    std::printf("[ measured ] a worker that cannot start: said and ended in %ld ms\n",
                static_cast<long>(std::chrono::duration_cast<milliseconds>(elapsed).count()));
}

// Whether asked for by DISPLAY alone or forced, a display that cannot be
// opened is named once, with the one the dialog uses instead.
TEST(PipeRun, ADisplayAskedForThatCannotOpenIsNamedWithTheOneUsed)
{
    for (const char* pszForced : {"REMOTEMONITOR_DISPLAY=", "REMOTEMONITOR_DISPLAY=x11"})
    {
        CRunDir dir(RM_SIM);
        CPipeRun run(dir, 0, {"DISPLAY=:4242", pszForced});
        EXPECT_EQ(4, run.WaitForExit(milliseconds(3000))) << pszForced;
        EXPECT_EQ("Tuner not found.\n", run.output) << pszForced;
        EXPECT_EQ("RemoteMonitor: the x11 display \":4242\" cannot be opened here; "
                  "showing the dialog as lines on standard output instead.\n",
                  ReadFile(dir.Errors()))
            << pszForced;
    }
}

// Also not through an empty or relative element of LD_LIBRARY_PATH, which
// the system loader reads as the current directory.
TEST(PipeRun, ALibraryInTheCurrentDirectoryIsNotLoaded)
{
    for (const char* pszPath : {"", "LD_LIBRARY_PATH=:/nonexistent", "LD_LIBRARY_PATH=.", "LD_LIBRARY_PATH=sub"})
    {
        CRunDir dir(nullptr);
        CRunDir planted(RM_SIM);
        mkdir((planted.path + "/sub").c_str(), 0755);
        CopyExecutable(RM_SIM, planted.path + "/sub/TavrixRC.dll");
        char szOld[4096];
        ASSERT_NE(nullptr, getcwd(szOld, sizeof szOld));
        ASSERT_EQ(0, chdir(planted.path.c_str()));
        CPipeRun run(dir, 1, {pszPath});
        ASSERT_EQ(0, chdir(szOld));
        EXPECT_EQ(3, run.WaitForExit(milliseconds(3000))) << pszPath;
        EXPECT_EQ("Unable to initialize TavrixRC.dll library.\n", run.output) << pszPath;
    }
}

// A driver that never returns from a read: the worker is terminated after
// its one second, and the driver is still released properly.
TEST(PipeRun, AStuckDriverStillLetsTheToolEndInOrder)
{
    CRunDir dir(RM_FAKE_FULL);
    CPipeRun run(dir, 1, {"TAVRIXRC_FAKE_STUCK=sleep", "TAVRIXRC_FAKE_LOG=" + dir.Log()});
    std::this_thread::sleep_for(milliseconds(300));
    kill(run.pid, SIGTERM);
    const auto start = Clock::now();
    EXPECT_EQ(0, run.WaitForExit(milliseconds(5000)));
    const auto elapsed = Clock::now() - start;
    EXPECT_LE(milliseconds(900), elapsed);
    EXPECT_GT(milliseconds(3000), elapsed);
    const std::vector<std::string> lines = Lines(ReadFile(dir.Log()));
    const std::vector<std::string> expected = {"GetCardCount -> 1", "OpenCard(0) -> 1", "GetRemoteCode -> stuck",
                                               "UnInit"};
    EXPECT_EQ(expected, lines);
    std::printf("[ measured ] closed over a stuck driver in %ld ms\n",
                static_cast<long>(std::chrono::duration_cast<milliseconds>(elapsed).count()));
}

// A driver that never returns from UnInit: no request to end cuts the
// shut-down short before UnInit is called, and past its bound the process
// ends by itself, saying so, with a failure status.
TEST(PipeRun, AHungShutDownEndsByItselfPastItsBound)
{
    CRunDir dir(RM_FAKE_FULL);
    CPipeRun run(dir, 1, {"TAVRIXRC_FAKE_STUCK=uninit", "TAVRIXRC_FAKE_LOG=" + dir.Log()});
    std::this_thread::sleep_for(milliseconds(300));
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i)
        kill(run.pid, SIGINT);
    EXPECT_EQ(EXIT_FAILURE, run.WaitForExit(milliseconds(12000)));
    EXPECT_LE(milliseconds(5000), Clock::now() - start);
    EXPECT_EQ("UnInit -> stuck", Lines(ReadFile(dir.Log())).back());
    EXPECT_NE(std::string::npos, ReadFile(dir.Errors()).find("did not finish shutting down")) << ReadFile(dir.Errors());
}

// Requests that come while a stuck worker is being stopped change nothing:
// the driver is still told.
TEST(PipeRun, SignalsDuringTheStopOfAStuckWorkerDoNotSkipUnInit)
{
    CRunDir dir(RM_FAKE_FULL);
    CPipeRun run(dir, 1, {"TAVRIXRC_FAKE_STUCK=sleep", "TAVRIXRC_FAKE_LOG=" + dir.Log()});
    std::this_thread::sleep_for(milliseconds(300));
    for (int nSignal : {SIGINT, SIGINT, SIGTERM, SIGQUIT})
    {
        kill(run.pid, nSignal);
        std::this_thread::sleep_for(milliseconds(30));
    }
    EXPECT_EQ(0, run.WaitForExit(milliseconds(5000)));
    EXPECT_EQ("UnInit", Lines(ReadFile(dir.Log())).back());
}

// A worker inside the driver that nothing can end (it blocks every signal):
// the driver is neither told nor unloaded beside it, and the process ends
// within its bound instead of crashing.
TEST(PipeRun, AWorkerThatCannotBeEndedLeavesTheDriverAlone)
{
    CRunDir dir(RM_FAKE_FULL);
    CPipeRun run(dir, 1, {"TAVRIXRC_FAKE_STUCK=masked", "TAVRIXRC_FAKE_LOG=" + dir.Log()});
    std::this_thread::sleep_for(milliseconds(300));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(EXIT_FAILURE, run.WaitForExit(milliseconds(8000)));
    EXPECT_EQ("GetRemoteCode -> stuck", Lines(ReadFile(dir.Log())).back());
    EXPECT_NE(std::string::npos, ReadFile(dir.Errors()).find("UnInit")) << ReadFile(dir.Errors());
}

// Ctrl-\, a reader that goes away, and a signal while the driver is still
// loading all end the tool in order.
TEST(PipeRun, QuitAClosedPipeAndASignalDuringTheLoadEndInOrder)
{
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 21\n");
        CPipeRun run(dir, 1);
        ASSERT_TRUE(run.WaitForOutput("RC Code: 21\n", milliseconds(5000))) << run.output;
        kill(run.pid, SIGQUIT);
        EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
        ExpectUnInitOnceAtTheEnd(dir);
    }
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 21\n300 22\n600 23\n900 24\n");
        CPipeRun run(dir, 1);
        ASSERT_TRUE(run.WaitForOutput("RC Code: 21\n", milliseconds(5000))) << run.output;
        close(run.fd);
        run.fd = -1;
        EXPECT_EQ(0, run.WaitForExit(milliseconds(5000)));
        ExpectUnInitOnceAtTheEnd(dir);
    }
    {
        CRunDir dir(RM_FAKE_FULL);
        CPipeRun run(dir, 1, {"TAVRIXRC_FAKE_LOAD_MS=800", "TAVRIXRC_FAKE_LOG=" + dir.Log()});
        std::this_thread::sleep_for(milliseconds(200));
        kill(run.pid, SIGTERM);
        EXPECT_EQ(0, run.WaitForExit(milliseconds(5000)));
        EXPECT_EQ("UnInit", Lines(ReadFile(dir.Log())).back());
    }
}

// A line the driver writes to standard error while the dialog is drawn on
// the same terminal neither garbles the dialog nor waits for its end: it
// shows under the dialog as it comes, and is written out once the dialog is
// gone, as the terminal's own.
TEST_F(TerminalRun, WhatTheDriverSaysWhileTheDialogIsUpShowsUnderItAndComesAfterIt)
{
    CRunDir dir(RM_FAKE_FULL);
    // The pane stays a while after the tool, to be read.
    WriteFile(dir.path + "/after.sh", "\"$@\"; echo $? > tool-exit; sleep 30\n");
    CTerminal term(dir,
                   "TAVRIXRC_FAKE_STDERR='a word from the driver' TAVRIXRC_FAKE_LOG=" + dir.Log() + " sh ./after.sh");
    ASSERT_TRUE(term.WaitForText("Remote Control Test")) << term.Screen();
    ASSERT_TRUE(term.WaitForText("a word from the driver")) << term.Screen();
    const std::vector<std::string> screen = Lines(term.Screen());
    size_t nFrameBottom = screen.size();
    size_t nWord = screen.size();
    for (size_t i = 0; i < screen.size(); ++i)
    {
        if (screen[i].find("\u2514") != std::string::npos && screen[i].find("\u2518") != std::string::npos)
            nFrameBottom = i;
        if (screen[i].find("a word from the driver") != std::string::npos)
            nWord = i;
    }
    ASSERT_LT(nFrameBottom, screen.size()) << term.Screen();
    EXPECT_LT(nFrameBottom, nWord) << term.Screen();
    EXPECT_EQ(0u, screen[nWord].find("a word from the driver")) << term.Screen();
    term.SendKeys("Escape");
    ASSERT_TRUE(term.WaitFor([&] { return Exists(dir.path + "/tool-exit"); }, milliseconds(5000))) << term.Screen();
    EXPECT_TRUE(term.WaitFor(
        [&] {
            const std::string after = term.Screen();
            return after.find("Remote Control Test") == std::string::npos &&
                   after.find("a word from the driver") != std::string::npos;
        },
        milliseconds(5000)))
        << term.Screen();
}

// A driver that crashes the worker: the terminal is given back (echo on,
// the normal screen, the cursor shown) and the crash is not hidden.
TEST_F(TerminalRun, ACrashGivesTheTerminalBack)
{
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer takes the fault itself, and may then spin in its
    // handler instead of ending the process.
    GTEST_SKIP() << "not under ThreadSanitizer";
#endif
    CRunDir dir(RM_FAKE_FULL);
    WriteFile(dir.path + "/after.sh", "\"$@\"; s=$?; stty -a > stty.txt; exit $s\n");
    CTerminal term(dir, "TAVRIXRC_FAKE_STUCK=fault sh ./after.sh");
    ASSERT_LE(0, term.WaitForExit(milliseconds(10000))) << term.Screen();
    EXPECT_NE("0\n", ReadFile(term.ExitFile()));
    const std::string settings = ReadFile(dir.path + "/stty.txt");
    EXPECT_NE(std::string::npos, settings.find(" echo ")) << settings;
    EXPECT_NE(std::string::npos, settings.find(" icanon ")) << settings;
    EXPECT_EQ(std::string::npos, term.Screen().find("Remote Control Test")) << term.Screen();
}

}  // namespace
