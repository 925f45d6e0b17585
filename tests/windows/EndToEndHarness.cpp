// Runs RemoteMonitor.exe as a user would, on the simulated card, and watches
// it from outside through the window manager's eyes: the dialog's fields, the
// ways to close it, the start-up messages, and the driver's call log.
//
//   test_e2e <path of RemoteMonitor.exe> [gtest options]
//
// Exits 77 (skipped) without a display: the tool is a windowed program.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <functional>
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

std::string g_exePath;

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
        std::string script;  // file contents; empty: no script
        std::string cards;   // empty: the card's default
    };

    explicit CToolRun(const CScratchDir& dir) : m_logPath(dir.File("calls.log")) {}

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

        std::string commandLine = "\"" + options.exePath + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        BOOL ok = CreateProcessA(options.exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                 options.workDir.empty() ? nullptr : options.workDir.c_str(), &si, &m_pi);
        SetEnvironmentVariableA("TAVRIXRC_SIM_SCRIPT", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_SIM_LOG", nullptr);
        SetEnvironmentVariableA("TAVRIXRC_SIM_CARDS", nullptr);
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

    DWORD MainThreadId() const { return m_pi.dwThreadId; }
    const std::string& LogPath() const { return m_logPath; }

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
        HWND hBox = run.WaitForMessageBox();
        ASSERT_NE(hBox, nullptr) << "no message box";
        std::vector<std::string> texts = StaticTexts(hBox);
        ASSERT_EQ(texts.size(), 1u) << "message box texts: " << ::testing::PrintToString(texts);
        EXPECT_EQ(texts[0], message);
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
    std::string lonely = m_dir.File("RemoteMonitor.exe");
    ASSERT_TRUE(CopyFileA(g_exePath.c_str(), lonely.c_str(), FALSE));
    CToolRun run(m_dir);
    CToolRun::Options options;
    options.exePath = lonely;
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

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2)
    {
        fprintf(stderr, "usage: test_e2e <RemoteMonitor.exe> [gtest options]\n");
        return 2;
    }
    g_exePath = argv[1];
    for (char& c : g_exePath)
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
