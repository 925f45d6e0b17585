// Runs RemoteMonitor.exe as a user would, on the simulated card, and watches
// it from outside through the window manager's eyes: the dialog's fields and
// place on the screen, the ways to close it, the start-up messages, the
// driver's call log, and how long the way out takes with a driver that hangs.
//
//   test_e2e <path of RemoteMonitor.exe> <path of the test double TavrixRC.dll> [gtest options]
//
// Exits 77 (skipped) without a display: the tool is a windowed program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kDialogTitle[] = "Remote Control Test";
const int kCodeId = 1001;
const int kCodeExId = 1002;
const DWORD kWindowTimeoutMs = 15000;
// Closing must end the process within a second; Wine's own process teardown
// is part of what is measured.
const DWORD kExitTimeoutMs = 1000;
// Past this the tool gives up on a driver that does not finish shutting
// down; a hung driver is given all of it.
const long kShutDownBoundMs = 7000;
// What Wine's own teardown of a process may add to it on a busy machine.
const long kTeardownSlackMs = 1500;

std::string g_exePath;
std::string g_fakePath;

std::string Directory(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void WriteTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A directory of its own per run, removed with everything in it.
class CScratchDir
{
public:
    CScratchDir()
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int s_count = 0;
        m_path =
            std::string(temp) + "rm-e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_count);
        CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~CScratchDir()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((m_path + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE)
        {
            do
            {
                DeleteFileA((m_path + "\\" + fd.cFileName).c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(m_path.c_str());
    }
    std::string File(const char* name) const { return m_path + "\\" + name; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
}

std::string ClassName(HWND hWnd)
{
    char name[64] = "";
    GetClassNameA(hWnd, name, sizeof name);
    return name;
}

// A field's text as another process reads it. With a time-out, so that a
// hung tool fails the read instead of hanging the harness.
bool ReadText(HWND hWnd, std::string* pText)
{
    char text[256] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000,
                             &copied))
        return false;
    *pText = std::string(text, copied);
    return true;
}

// One run of the tool, with the simulated card set up through its
// environment. The process is killed if a test leaves it running.
class CToolRun
{
public:
    struct Options
    {
        std::string exePath = g_exePath;
        std::string workDir;
        std::string script;           // file contents; empty: no script
        std::string cards;            // empty: the card's default
        std::string stuck;            // the test double's TAVRIXRC_FAKE_STUCK; empty: unset
        bool bNoThreads = false;      // the test double's TAVRIXRC_FAKE_NO_THREADS
        bool bCaptureErrors = false;  // standard error to ErrorsPath()
    };

    explicit CToolRun(const CScratchDir& dir) : m_logPath(dir.File("calls.log")), m_errorsPath(dir.File("errors.txt"))
    {
    }

    ~CToolRun()
    {
        if (m_pi.hProcess != nullptr)
        {
            if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
                TerminateProcess(m_pi.hProcess, 1);
            WaitForSingleObject(m_pi.hProcess, 5000);
            CloseHandle(m_pi.hProcess);
            CloseHandle(m_pi.hThread);
        }
    }

    bool Start(const Options& options, const CScratchDir& dir)
    {
        std::string scriptPath;
        if (!options.script.empty())
        {
            scriptPath = dir.File("codes.txt");
            WriteTextFile(scriptPath, options.script);
        }
        // The child inherits the harness's environment; set only ours.
        SetEnvironmentVariableA("TAVRIXRC_SIM_SCRIPT", scriptPath.empty() ? nullptr : scriptPath.c_str());
        SetEnvironmentVariableA("TAVRIXRC_SIM_LOG", m_logPath.c_str());
        SetEnvironmentVariableA("TAVRIXRC_SIM_CARDS", options.cards.empty() ? nullptr : options.cards.c_str());
        SetEnvironmentVariableA("TAVRIXRC_FAKE_LOG", m_logPath.c_str());
        SetEnvironmentVariableA("TAVRIXRC_FAKE_STUCK", options.stuck.empty() ? nullptr : options.stuck.c_str());
        SetEnvironmentVariableA("TAVRIXRC_FAKE_NO_THREADS", options.bNoThreads ? "1" : nullptr);

        std::string commandLine = "\"" + options.exePath + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        HANDLE hErrors = INVALID_HANDLE_VALUE;
        if (options.bCaptureErrors)
        {
            SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
            hErrors = CreateFileA(m_errorsPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
            si.dwFlags = STARTF_USESTDHANDLES;
            si.hStdError = hErrors;
        }
        BOOL ok = CreateProcessA(options.exePath.c_str(), &commandLine[0], nullptr, nullptr, options.bCaptureErrors, 0,
                                 nullptr, options.workDir.empty() ? nullptr : options.workDir.c_str(), &si, &m_pi);
        if (hErrors != INVALID_HANDLE_VALUE)
            CloseHandle(hErrors);
        SetEnvironmentVariableA("TAVRIXRC_SIM_SCRIPT", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_SIM_LOG", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_SIM_CARDS", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_FAKE_LOG", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_FAKE_STUCK", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_FAKE_NO_THREADS", nullptr);
        return ok != FALSE;
    }

    // A top-level window of this process (not of a parallel run) matching
    // the predicate.
    HWND FindWindowOfProcess(const std::function<bool(HWND)>& match) const
    {
        WindowSearch search = {m_pi.dwProcessId, &match, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    static bool IsDialogTitled(HWND hWnd, const char* title)
    {
        char text[128] = "";
        GetWindowTextA(hWnd, text, sizeof text);
        return ClassName(hWnd) == "#32770" && std::string(text) == title;
    }

    // The main dialog once it is on screen: visible only after its
    // initialisation has returned, with both value fields in place.
    HWND WaitForDialog() const
    {
        HWND hDlg = nullptr;
        WaitFor(
            [&] {
                hDlg = FindWindowOfProcess([](HWND h) {
                    return IsWindowVisible(h) && IsDialogTitled(h, kDialogTitle) && GetDlgItem(h, kCodeId) != nullptr &&
                           GetDlgItem(h, kCodeExId) != nullptr;
                });
                return hDlg != nullptr || HasEnded();
            },
            kWindowTimeoutMs);
        return hDlg;
    }

    // The start-up message box: a visible dialog-class window that is not
    // the main dialog.
    HWND WaitForMessageBox() const
    {
        HWND hBox = nullptr;
        WaitFor(
            [&] {
                hBox = FindWindowOfProcess([](HWND h) {
                    return IsWindowVisible(h) && ClassName(h) == "#32770" && !IsDialogTitled(h, kDialogTitle);
                });
                return hBox != nullptr || HasEnded();
            },
            kWindowTimeoutMs);
        return hBox;
    }

    bool HasEnded() const { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }

    // Milliseconds until the process ended, or -1 when it outlived timeoutMs.
    long WaitForExit(DWORD timeoutMs) const
    {
        DWORD start = GetTickCount();
        if (WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return -1;
        return static_cast<long>(GetTickCount() - start);
    }

    DWORD ExitCode() const
    {
        DWORD dwCode = STILL_ACTIVE;
        GetExitCodeProcess(m_pi.hProcess, &dwCode);
        return dwCode;
    }

    DWORD MainThreadId() const { return m_pi.dwThreadId; }
    const std::string& LogPath() const { return m_logPath; }
    const std::string& ErrorsPath() const { return m_errorsPath; }

private:
    struct WindowSearch
    {
        DWORD pid;
        const std::function<bool(HWND)>* match;
        HWND found;
    };

    static BOOL CALLBACK MatchWindow(HWND hWnd, LPARAM lParam)
    {
        WindowSearch* s = reinterpret_cast<WindowSearch*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        if (pid == s->pid && (*s->match)(hWnd))
        {
            s->found = hWnd;
            return FALSE;
        }
        return TRUE;
    }

    std::string m_logPath;
    std::string m_errorsPath;
    PROCESS_INFORMATION m_pi = {};
};

// The texts of a window's static controls, in creation order.
std::vector<std::string> StaticTexts(HWND hParent)
{
    std::vector<std::string> texts;
    for (HWND h = GetWindow(hParent, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
    {
        std::string text;
        if (ClassName(h) == "Static" && ReadText(h, &text) && !text.empty())
            texts.push_back(text);
    }
    return texts;
}

// The call log must show UnInit exactly once, after every read of a code:
// the poller stopped before the library was released.
void ExpectUnInitOnceAfterTheLastRead(const std::string& logPath)
{
    std::vector<std::string> lines = ReadLines(logPath);
    int unInits = 0;
    long lastUnInit = -1, lastRead = -1;
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i] == "UnInit")
        {
            ++unInits;
            lastUnInit = static_cast<long>(i);
        }
        else if (lines[i].rfind("GetRemoteCode", 0) == 0)
        {
            lastRead = static_cast<long>(i);
        }
    }
    EXPECT_EQ(unInits, 1) << "in " << lines.size() << " log lines";
    EXPECT_GT(lastUnInit, lastRead) << "a code was read after UnInit";
}

// Centred as Windows centres a DS_CENTER dialog: in the work area of its
// monitor, to a pixel of rounding.
void ExpectCentredInTheWorkArea(HWND hWnd, const char* pszWhat)
{
    RECT rc = {};
    ASSERT_TRUE(GetWindowRect(hWnd, &rc));
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromWindow(hWnd, MONITOR_DEFAULTTONEAREST), &mi));
    const RECT& work = mi.rcWork;
    std::ostringstream where;
    where << pszWhat << " at (" << rc.left << "," << rc.top << ")-(" << rc.right << "," << rc.bottom
          << ") in the work area (" << work.left << "," << work.top << ")-(" << work.right << "," << work.bottom << ")";
    SCOPED_TRACE(where.str());
    std::printf("%s\n", where.str().c_str());
    EXPECT_LE(std::abs((rc.left - work.left) - (work.right - rc.right)), 1);
    EXPECT_LE(std::abs((rc.top - work.top) - (work.bottom - rc.bottom)), 1);
}

// The executable, and the given driver library as TavrixRC.dll (none when
// empty), alone in a directory; returns the executable's path there.
std::string CopyToolInto(const CScratchDir& dir, const std::string& dllPath)
{
    std::string exe = dir.File("RemoteMonitor.exe");
    EXPECT_TRUE(CopyFileA(g_exePath.c_str(), exe.c_str(), FALSE));
    if (!dllPath.empty())
    {
        EXPECT_TRUE(CopyFileA(dllPath.c_str(), dir.File("TavrixRC.dll").c_str(), FALSE));
    }
    return exe;
}

using Fields = std::pair<std::string, std::string>;

std::string Show(const Fields& f)
{
    return "[" + f.first + "|" + f.second + "]";
}

class EndToEnd : public ::testing::Test
{
protected:
    CScratchDir m_dir;
};

TEST_F(EndToEnd, Codes_FieldsFollowTheCardInTheirFormats)
{
    // Each state holds long enough to be seen by a harness that polls every
    // 10 ms under Wine; the tool samples every 20 ms.
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.script = "# ms  code  [extended]\n"
                     "1500  21   866B15EA\n"
                     "2100  0    0000ABCD\n"   // key 0 is a code; leading zeros kept
                     "2700  255\n"             // released: both fields blank
                     "3300  7\n"               // extended derived by the card
                     "3900  254  0\n"          // a code with no extended code
                     "4500  300  12345678\n";  // out of range: no code
    ASSERT_TRUE(run.Start(options, m_dir));
    HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr) << "no visible \"" << kDialogTitle << "\" dialog";
    HWND hCode = GetDlgItem(hDlg, kCodeId);
    HWND hCodeEx = GetDlgItem(hDlg, kCodeExId);

    std::vector<Fields> seen;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 5500 && !run.HasEnded())
    {
        Fields now;
        if (ReadText(hCode, &now.first) && ReadText(hCodeEx, &now.second) && (seen.empty() || seen.back() != now))
            seen.push_back(now);
        Sleep(10);
    }
    std::string trace;
    for (const Fields& f : seen)
        trace += Show(f) + " ";
    SCOPED_TRACE("fields seen: " + trace);

    const std::vector<Fields> expected = {
        {"", ""}, {"21", "866B15EA"}, {"0", "0000ABCD"}, {"", ""}, {"7", "38C707F8"}, {"254", ""}, {"", "12345678"},
    };
    // Both fields are written one after the other, so a reading may catch
    // one already new and one still old; the expected states must appear in
    // order, with only such half-way states between them.
    size_t next = 0;
    for (const Fields& f : seen)
    {
        if (next < expected.size() && f == expected[next])
            ++next;
        else if (next > 0 && f == expected[next - 1])
            continue;
        else if (next > 0 && next < expected.size() &&
                 (f == Fields{expected[next].first, expected[next - 1].second} ||
                  f == Fields{expected[next - 1].first, expected[next].second}))
            continue;
        else
            ADD_FAILURE() << "unexpected fields " << Show(f);
    }
    EXPECT_EQ(next, expected.size()) << "missing " << (next < expected.size() ? Show(expected[next]) : "");

    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    EXPECT_GE(run.WaitForExit(kExitTimeoutMs), 0) << "still running a second after WM_CLOSE";
    ExpectUnInitOnceAfterTheLastRead(run.LogPath());
}

// Every way a user closes the dialog ends the process within a second, with
// the driver released once, after its last use.
enum class CloseBy
{
    Button,
    Esc,
    Enter,
    CloseMessage
};

class Closing : public EndToEnd, public ::testing::WithParamInterface<CloseBy>
{};

void PostKey(HWND hWnd, WPARAM key)
{
    UINT scan = MapVirtualKeyA(static_cast<UINT>(key), 0);
    PostMessageA(hWnd, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scan << 16)));
    PostMessageA(hWnd, WM_KEYUP, key, static_cast<LPARAM>(1 | (scan << 16) | 0xC0000000u));
}

TEST_P(Closing, EndsTheProcessWithinASecondAndReleasesTheDriverOnce)
{
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.script = "0 21 866B15EA\n";
    ASSERT_TRUE(run.Start(options, m_dir));
    HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    // Let the poller run a few steps, so that the log shows reads to close
    // after.
    std::string code;
    EXPECT_TRUE(WaitFor([&] { return ReadText(GetDlgItem(hDlg, kCodeId), &code) && code == "21"; }, 3000));

    // Keys go where the keyboard would send them: the focused control. The
    // dialog's message loop sees them there (IsDialogMessage), as it would
    // see a real key press; synthesised input needs a focused, foreground
    // window, which no window manager gives us here.
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    HWND hFocus =
        GetGUIThreadInfo(run.MainThreadId(), &gui) && gui.hwndFocus != nullptr ? gui.hwndFocus : GetDlgItem(hDlg, IDOK);
    switch (GetParam())
    {
    case CloseBy::Button:
        PostMessageA(GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0);
        break;
    case CloseBy::Esc:
        PostKey(hFocus, VK_ESCAPE);
        break;
    case CloseBy::Enter:
        PostKey(hFocus, VK_RETURN);
        break;
    case CloseBy::CloseMessage:
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
        break;
    }
    long ms = run.WaitForExit(kExitTimeoutMs);
    EXPECT_GE(ms, 0) << "still running a second later";
    if (ms < 0)
    {
        EXPECT_GE(run.WaitForExit(5000), 0) << "did not end at all";
    }
    EXPECT_EQ(run.ExitCode(), 0u);
    ExpectUnInitOnceAfterTheLastRead(run.LogPath());
}

std::string CloseByName(const ::testing::TestParamInfo<CloseBy>& info)
{
    static const char* const kNames[] = {"CloseButton", "Esc", "Enter", "WmClose"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EveryWay, Closing,
                         ::testing::Values(CloseBy::Button, CloseBy::Esc, CloseBy::Enter, CloseBy::CloseMessage),
                         CloseByName);

// A start-up failure shows its message, and after OK the tool ends by itself.
class StartupErrors : public EndToEnd
{
protected:
    void ExpectMessageThenExit(CToolRun& run, const char* message)
    {
        std::string text;
        ExpectAMessageThenExit(run, &text);
        EXPECT_EQ(text, message);
    }

    void ExpectAMessageThenExit(CToolRun& run, std::string* pText)
    {
        HWND hBox = run.WaitForMessageBox();
        ASSERT_NE(hBox, nullptr) << "no message box";
        std::vector<std::string> texts = StaticTexts(hBox);
        ASSERT_EQ(texts.size(), 1u) << "message box texts: " << ::testing::PrintToString(texts);
        *pText = texts[0];
        ExpectCentredInTheWorkArea(hBox, "message box");
        EXPECT_EQ(run.FindWindowOfProcess(
                      [](HWND h) { return IsWindowVisible(h) && CToolRun::IsDialogTitled(h, kDialogTitle); }),
                  nullptr)
            << "the main dialog shows behind the message";

        HWND hOk = GetDlgItem(hBox, IDOK);
        ASSERT_NE(hOk, nullptr);
        PostMessageA(hOk, BM_CLICK, 0, 0);
        EXPECT_GE(run.WaitForExit(3000), 0) << "still running after OK";
    }
};

TEST_F(StartupErrors, NoLibrary_SaysSoAndNeverCallsUnInit)
{
    // The executable alone, in a directory of its own: nothing beside it.
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.exePath = CopyToolInto(m_dir, "");
    options.workDir = m_dir.Path();
    ASSERT_TRUE(run.Start(options, m_dir));
    ExpectMessageThenExit(run, "Unable to initialize TavrixRC.dll library.");
    for (const std::string& line : ReadLines(run.LogPath()))
        EXPECT_NE(line, "UnInit");
}

TEST_F(StartupErrors, NoCard_SaysTunerNotFoundAndReleasesTheDriver)
{
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.cards = "0";
    options.workDir = Directory(g_exePath);
    ASSERT_TRUE(run.Start(options, m_dir));
    ExpectMessageThenExit(run, "Tuner not found.");
    ExpectUnInitOnceAfterTheLastRead(run.LogPath());
}

// A worker that cannot be made: said, with the system's reason, instead of
// a dialog that looks like a remote sending nothing; the driver released.
TEST_F(StartupErrors, NoThread_SaysTheReadingCouldNotStartAndReleasesTheDriver)
{
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.exePath = CopyToolInto(m_dir, g_fakePath);
    options.bNoThreads = true;
    ASSERT_TRUE(run.Start(options, m_dir));
    std::string text;
    ExpectAMessageThenExit(run, &text);
    char szWords[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_NOT_ENOUGH_MEMORY, 0,
                   szWords, sizeof szWords, nullptr);
    const std::string words(szWords, std::strcspn(szWords, "\r\n"));
    EXPECT_EQ(text.rfind("Unable to start reading the remote in the background.\n", 0), 0u) << text;
    EXPECT_FALSE(words.empty());
    EXPECT_NE(text.find(words), std::string::npos) << text << "\nwithout the system's words: " << words;
    ExpectUnInitOnceAfterTheLastRead(run.LogPath());
}

// The template puts the dialog at 0, 0 with no centring style, which the
// framework takes as its own to place.
TEST_F(EndToEnd, Placement_TheDialogIsCentredOnTheScreen)
{
    CToolRun run(m_dir);
    ASSERT_TRUE(run.Start(CToolRun::Options(), m_dir));
    HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    ExpectCentredInTheWorkArea(hDlg, "dialog");
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    EXPECT_GE(run.WaitForExit(kExitTimeoutMs), 0);
}

// A driver that never returns from UnInit: the process is gone at the bound
// of its shut-down, with a failure status, and the library's detach has not
// run either (the process did not exit through the loader).
TEST_F(EndToEnd, ShutDown_AnUnInitThatHangsEndsTheProcessAtTheBound)
{
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.exePath = CopyToolInto(m_dir, g_fakePath);
    options.stuck = "uninit";
    options.bCaptureErrors = true;
    ASSERT_TRUE(run.Start(options, m_dir));
    HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    long ms = run.WaitForExit(static_cast<DWORD>(kShutDownBoundMs + kTeardownSlackMs));
    std::printf("ended %ld ms after WM_CLOSE, exit code %lu\n", ms, run.ExitCode());
    ASSERT_GE(ms, 0) << "still running " << kShutDownBoundMs + kTeardownSlackMs << " ms after WM_CLOSE";
    EXPECT_GE(ms, kShutDownBoundMs - 50) << "UnInit was not given its time";
    EXPECT_EQ(run.ExitCode(), 1u);
    const std::vector<std::string> lines = ReadLines(run.LogPath());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "UnInit -> stuck") << "the driver ran on after its UnInit hung";
    std::ifstream errors(run.ErrorsPath());
    const std::string said((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("did not finish shutting down"), std::string::npos) << said;
}

// A worker stuck in the driver that nothing can end: the process ends once
// the stop gives up on it, with the driver neither told nor unloaded: no
// detach of the library runs, as ExitProcess would run it.
TEST_F(EndToEnd, ShutDown_AWorkerThatCannotBeEndedEndsTheProcessWithoutTheDriver)
{
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.exePath = CopyToolInto(m_dir, g_fakePath);
    options.stuck = "masked";
    options.bCaptureErrors = true;
    ASSERT_TRUE(run.Start(options, m_dir));
    HWND hDlg = run.WaitForDialog();
    ASSERT_NE(hDlg, nullptr);
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    // The stop's second, then the wait for a termination that never comes
    // (refused here, so none).
    long ms = run.WaitForExit(static_cast<DWORD>(1000 + kTeardownSlackMs));
    std::printf("ended %ld ms after WM_CLOSE, exit code %lu\n", ms, run.ExitCode());
    ASSERT_GE(ms, 0) << "still running after WM_CLOSE";
    EXPECT_EQ(run.ExitCode(), 1u);
    const std::vector<std::string> lines = ReadLines(run.LogPath());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "GetRemoteCode -> stuck") << "the driver ran on after the worker was given up";
    std::ifstream errors(run.ErrorsPath());
    const std::string said((std::istreambuf_iterator<char>(errors)), std::istreambuf_iterator<char>());
    EXPECT_NE(said.find("not shut down (UnInit)"), std::string::npos) << said;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 3)
    {
        fprintf(stderr, "usage: test_e2e <RemoteMonitor.exe> <test double TavrixRC.dll> [gtest options]\n");
        return 2;
    }
    g_exePath = argv[1];
    g_fakePath = argv[2];
    for (std::string* pPath : {&g_exePath, &g_fakePath})
        for (char& c : *pPath)
            if (c == '/')
                c = '\\';
    // Wine passes the Unix environment through; without an X display no
    // window of the tool can appear.
    if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0)
    {
        fprintf(stderr, "no X display: skipping the end-to-end tests\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
