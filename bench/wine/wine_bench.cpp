// RemoteMonitor.exe under Wine, measured from outside as a user meets it:
// how long a key takes to reach the dialog's field, how long closing takes
// with a live driver and with one stuck in GetRemoteCode, and how much memory
// the process holds. Prints figures and checks nothing.
//
//   wine_bench <RemoteMonitor.exe> <test double TavrixRC.dll> [--changes N] [--json FILE]
//
// The simulated card beside the executable plays a script whose change
// moments are random and counted from a moment of the system's monotonic
// clock chosen here (TAVRIXRC_SIM_ORIGIN), so the harness knows when each
// key arrives; it reads the code field over and over with WM_GETTEXT and
// notes when the new text is first there. Exits 77 without an X display.
#include <windows.h>

// After <windows.h>, whose types it uses.
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const char kDialogTitle[] = "Remote Control Test";
const int kCodeId = 1001;
const DWORD kWindowTimeoutMs = 15000;
// Start-up under Wine, a cold prefix included, finishes well inside this.
const long long kLeadMs = 6000;
const int kCloseRuns = 10;
const int kStuckCloseRuns = 5;

LARGE_INTEGER g_frequency;

LONGLONG Ticks()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double TicksToMs(LONGLONG ticks)
{
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(g_frequency.QuadPart);
}

// The clock of the simulated card: whole milliseconds of the same counter.
LONGLONG TicksPerMs()
{
    return std::max<LONGLONG>(g_frequency.QuadPart / 1000, 1);
}

std::string ScratchDir()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "rm-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

struct Stats
{
    double min = 0, median = 0, p99 = 0, max = 0;
};

Stats Summarise(std::vector<double> values)
{
    Stats s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    s.p99 = values[static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n))) - 1];
    return s;
}

// One run of the tool, killed if it outlives the measurement.
class CToolProcess
{
public:
    ~CToolProcess()
    {
        if (m_pi.hProcess == nullptr)
            return;
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_pi.hProcess, 1);
        WaitForSingleObject(m_pi.hProcess, 5000);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }

    // The variables are the child's only: they are set around its start.
    bool Start(const std::string& exePath, const std::vector<std::pair<std::string, std::string>>& env)
    {
        for (const auto& var : env)
            SetEnvironmentVariableA(var.first.c_str(), var.second.c_str());
        std::string commandLine = "\"" + exePath + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        BOOL ok =
            CreateProcessA(exePath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
        for (const auto& var : env)
            SetEnvironmentVariableA(var.first.c_str(), nullptr);
        return ok != FALSE;
    }

    // The main dialog once it is visible with its code field in place.
    HWND WaitForDialog() const
    {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kWindowTimeoutMs && !HasEnded())
        {
            Search search = {m_pi.dwProcessId, nullptr};
            EnumWindows(Match, reinterpret_cast<LPARAM>(&search));
            if (search.hFound != nullptr)
                return search.hFound;
            Sleep(5);
        }
        return nullptr;
    }

    bool HasEnded() const { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }

    // Milliseconds from the close request to the end of the process; -1 when
    // it outlived the limit.
    double Close(HWND hDlg, DWORD limitMs) const
    {
        const LONGLONG start = Ticks();
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(m_pi.hProcess, limitMs) != WAIT_OBJECT_0)
            return -1;
        return TicksToMs(Ticks() - start);
    }

    HANDLE Process() const { return m_pi.hProcess; }

private:
    struct Search
    {
        DWORD pid;
        HWND hFound;
    };

    static BOOL CALLBACK Match(HWND hWnd, LPARAM lParam)
    {
        Search* pSearch = reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        char title[64] = "";
        GetWindowTextA(hWnd, title, sizeof title);
        if (pid == pSearch->pid && IsWindowVisible(hWnd) && std::string(title) == kDialogTitle &&
            GetDlgItem(hWnd, kCodeId) != nullptr)
        {
            pSearch->hFound = hWnd;
            return FALSE;
        }
        return TRUE;
    }

    PROCESS_INFORMATION m_pi = {};
};

bool ReadText(HWND hWnd, std::string* pText)
{
    char text[64] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(hWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000,
                             &copied))
        return false;
    *pText = std::string(text, copied);
    return true;
}

struct LatencyRun
{
    std::vector<double> latencies;
    int missed = 0;
    double readIntervalMs = 0;
    unsigned long peakWorkingSetKb = 0;
    unsigned long peakPrivateKb = 0;
    std::string error;
};

LatencyRun MeasureLatency(const std::string& exePath, const std::string& dir, int nChanges)
{
    LatencyRun result;
    // Changes 40 to 100 ms apart, at moments unrelated to the tool's 20 ms
    // rhythm; every code differs from the one before.
    std::mt19937 rng(20261209);
    std::uniform_int_distribution<int> gap(40, 100);
    std::vector<long long> at(static_cast<size_t>(nChanges));
    std::vector<std::string> text(static_cast<size_t>(nChanges));
    std::string script;
    long long t = 0;
    for (int i = 0; i < nChanges; ++i)
    {
        t += gap(rng);
        at[static_cast<size_t>(i)] = t;
        text[static_cast<size_t>(i)] = std::to_string((i * 7 + 1) % 251);
        script += std::to_string(t) + " " + text[static_cast<size_t>(i)] + "\n";
    }
    const std::string scriptPath = dir + "\\changes.txt";
    FILE* pFile = fopen(scriptPath.c_str(), "wb");
    if (pFile == nullptr)
    {
        result.error = "cannot write " + scriptPath;
        return result;
    }
    fputs(script.c_str(), pFile);
    fclose(pFile);

    const long long originMs = Ticks() / TicksPerMs() + kLeadMs;
    CToolProcess tool;
    if (!tool.Start(exePath, {{"TAVRIXRC_SIM_SCRIPT", scriptPath}, {"TAVRIXRC_SIM_ORIGIN", std::to_string(originMs)}}))
    {
        result.error = "cannot start " + exePath;
        return result;
    }
    HWND hDlg = tool.WaitForDialog();
    if (hDlg == nullptr)
    {
        result.error = "no dialog";
        return result;
    }
    if (Ticks() / TicksPerMs() >= originMs)
    {
        result.error = "start-up took longer than the lead of " + std::to_string(kLeadMs) + " ms";
        return result;
    }
    HWND hCode = GetDlgItem(hDlg, kCodeId);

    // The read that first returns a change's text starts after the change
    // reached the field; the time between reads bounds the error.
    size_t next = 0;
    long reads = 0;
    const LONGLONG firstRead = Ticks();
    const LONGLONG end = (originMs + at.back() + 2000) * TicksPerMs();
    std::string seen;
    while (next < at.size() && Ticks() < end && !tool.HasEnded())
    {
        const LONGLONG readStart = Ticks();
        if (!ReadText(hCode, &seen))
            break;
        ++reads;
        for (size_t j = next; j < at.size() && (originMs + at[j]) * TicksPerMs() <= readStart; ++j)
        {
            if (seen != text[j])
                continue;
            result.latencies.push_back(TicksToMs(readStart - (originMs + at[j]) * TicksPerMs()));
            result.missed += static_cast<int>(j - next);
            next = j + 1;
            break;
        }
        Sleep(1);
    }
    result.missed += static_cast<int>(at.size() - next);
    result.readIntervalMs = reads > 0 ? TicksToMs(Ticks() - firstRead) / static_cast<double>(reads) : 0;

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(tool.Process(), &counters, sizeof counters))
    {
        result.peakWorkingSetKb = static_cast<unsigned long>(counters.PeakWorkingSetSize / 1024);
        result.peakPrivateKb = static_cast<unsigned long>(counters.PeakPagefileUsage / 1024);
    }
    tool.Close(hDlg, 5000);
    return result;
}

// Close times of runs on a driver that answers, or one that never returns.
std::vector<double> MeasureClose(const std::string& exePath,
                                 const std::vector<std::pair<std::string, std::string>>& env, int nRuns,
                                 std::string* pError)
{
    std::vector<double> times;
    for (int i = 0; i < nRuns; ++i)
    {
        CToolProcess tool;
        if (!tool.Start(exePath, env))
        {
            *pError = "cannot start " + exePath;
            break;
        }
        HWND hDlg = tool.WaitForDialog();
        if (hDlg == nullptr)
        {
            *pError = "no dialog";
            break;
        }
        // Long enough for the worker to be well into its polling, or stuck.
        Sleep(300);
        const double ms = tool.Close(hDlg, 10000);
        if (ms < 0)
        {
            *pError = "the tool did not end within 10 s of its close";
            break;
        }
        times.push_back(ms);
    }
    return times;
}

void PrintRow(const char* label, const Stats& s)
{
    printf("%-48s %8.1f %8.1f %8.1f %8.1f\n", label, s.min, s.median, s.p99, s.max);
}

void JsonStats(FILE* pOut, const char* name, const Stats& s, const char* tail)
{
    fprintf(pOut, "  \"%s\": {\"min\": %.2f, \"median\": %.2f, \"p99\": %.2f, \"max\": %.2f}%s\n", name, s.min,
            s.median, s.p99, s.max, tail);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        fprintf(stderr,
                "usage: wine_bench <RemoteMonitor.exe> <test double TavrixRC.dll> [--changes N] [--json FILE]\n");
        return 2;
    }
    std::string exePath = argv[1];
    std::string fakePath = argv[2];
    int nChanges = 600;
    std::string jsonPath;
    for (int i = 3; i + 1 < argc; i += 2)
    {
        const std::string option = argv[i];
        if (option == "--changes")
            nChanges = std::max(1, atoi(argv[i + 1]));
        else if (option == "--json")
            jsonPath = argv[i + 1];
    }
    for (std::string* pPath : {&exePath, &fakePath})
        std::replace(pPath->begin(), pPath->end(), '/', '\\');
    if (GetEnvironmentVariableA("DISPLAY", nullptr, 0) == 0)
    {
        fprintf(stderr, "no X display: the tool is a windowed program\n");
        return 77;
    }
    QueryPerformanceFrequency(&g_frequency);

    // A copy of the tool beside the test double, which it then loads.
    const std::string dir = ScratchDir();
    const std::string stuckExe = dir + "\\RemoteMonitor.exe";
    const std::string stuckDll = dir + "\\TavrixRC.dll";
    if (!CopyFileA(exePath.c_str(), stuckExe.c_str(), FALSE) || !CopyFileA(fakePath.c_str(), stuckDll.c_str(), FALSE))
    {
        fprintf(stderr, "cannot copy the tool and the test double to %s\n", dir.c_str());
        return 1;
    }

    LatencyRun latency = MeasureLatency(exePath, dir, nChanges);
    std::string error = latency.error;
    std::vector<double> closeLive;
    std::vector<double> closeStuck;
    if (error.empty())
        closeLive = MeasureClose(exePath, {}, kCloseRuns, &error);
    if (error.empty())
        closeStuck = MeasureClose(stuckExe, {{"TAVRIXRC_FAKE_STUCK", "sleep"}}, kStuckCloseRuns, &error);

    DeleteFileA((dir + "\\changes.txt").c_str());
    DeleteFileA(stuckExe.c_str());
    DeleteFileA(stuckDll.c_str());
    RemoveDirectoryA(dir.c_str());
    if (!error.empty())
    {
        fprintf(stderr, "wine_bench: %s\n", error.c_str());
        return 1;
    }

    const Stats lat = Summarise(latency.latencies);
    const Stats live = Summarise(closeLive);
    const Stats stuck = Summarise(closeStuck);
    char label[96];
    printf("%-48s %8s %8s %8s %8s\n", "RemoteMonitor.exe under Wine (ms)", "min", "median", "p99", "max");
    snprintf(label, sizeof label, "key-to-field latency, %zu changes", latency.latencies.size());
    PrintRow(label, lat);
    printf("%-48s %8.1f %8s %8s %8.1f\n", "  poll floor: the worker's 20 ms pause", 0.0, "", "", 20.0);
    snprintf(label, sizeof label, "close, live driver (%d runs)", kCloseRuns);
    PrintRow(label, live);
    snprintf(label, sizeof label, "close, driver stuck in GetRemoteCode (%d runs)", kStuckCloseRuns);
    PrintRow(label, stuck);
    printf("changes missed: %d; harness read the field every %.2f ms\n", latency.missed, latency.readIntervalMs);
    printf("peak working set: %lu KB; peak private bytes: %lu KB\n", latency.peakWorkingSetKb, latency.peakPrivateKb);

    if (!jsonPath.empty())
    {
        FILE* pOut = fopen(jsonPath.c_str(), "w");
        if (pOut == nullptr)
        {
            fprintf(stderr, "wine_bench: cannot write %s\n", jsonPath.c_str());
            return 1;
        }
        fprintf(pOut, "{\n  \"changes\": %zu,\n  \"missed\": %d,\n  \"read_interval_ms\": %.2f,\n",
                latency.latencies.size(), latency.missed, latency.readIntervalMs);
        JsonStats(pOut, "latency_ms", lat, ",");
        JsonStats(pOut, "close_live_ms", live, ",");
        JsonStats(pOut, "close_stuck_ms", stuck, ",");
        fprintf(pOut, "  \"peak_working_set_kb\": %lu,\n  \"peak_private_kb\": %lu\n}\n", latency.peakWorkingSetKb,
                latency.peakPrivateKb);
        fclose(pOut);
    }
    return 0;
}
