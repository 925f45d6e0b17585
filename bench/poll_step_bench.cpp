// What one poll of the code poller costs, apart from its 20 ms pause: the
// two driver reads against the simulated card, the formatting of a changed
// value, and the synchronous cross-thread write of a field's text.
// Prints figures; it checks nothing.
#include <afxwin.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "RemoteDriver.h"

namespace {
CRemoteDriver s_driver;
}  // namespace
CRemoteDriver& g_driver = s_driver;

namespace {

typedef std::chrono::steady_clock Clock;

std::string ExecutableDir()
{
    char szPath[4096] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, szPath, sizeof szPath);
    std::string path(szPath, n);
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

struct Figure
{
    std::string what;
    double nsPerOp;
    long nOps;
};

std::vector<Figure> g_figures;

// One table row per figure, in the form scripts/bench.sh gathers.
template <typename Work>
void Measure(const char* pszWhat, long nIterations, Work work)
{
    for (long i = 0; i < nIterations / 10; ++i)  // warm-up
        work(i);
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < nIterations; ++i)
        work(i);
    const double ns =
        static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    const Figure figure = {pszWhat, ns / static_cast<double>(nIterations), nIterations};
    g_figures.push_back(figure);
    std::printf("| poll step | %s | %.0f ns | per op, %ld ops; one poll's work without its 20 ms pause |\n", pszWhat,
                figure.nsPerOp, nIterations);
}

bool WriteJson(const char* pszPath)
{
    FILE* pFile = std::fopen(pszPath, "w");
    if (pFile == nullptr)
        return false;
    std::fprintf(pFile, "{\"suite\": \"poll step\", \"figures\": [");
    for (size_t i = 0; i < g_figures.size(); ++i)
    {
        std::fprintf(pFile,
                     "%s\n  {\"figure\": \"%s\", \"value\": %.1f, \"unit\": \"ns\", \"note\": \"per op, %ld ops\"}",
                     i == 0 ? "" : ",", g_figures[i].what.c_str(), g_figures[i].nsPerOp, g_figures[i].nOps);
    }
    std::fprintf(pFile, "\n]}\n");
    return std::fclose(pFile) == 0;
}

volatile unsigned long g_sink;

void MeasureReads(const char* pszLibrary, const std::string& dir)
{
    ::SetDllDirectoryA(dir.c_str());
    g_driver.Release();
    g_driver.Load();
    if (CRemoteDriver::SelectCard(0) != 1)
    {
        std::fprintf(stderr, "%s: no simulated card in %s\n", pszLibrary, dir.c_str());
        return;
    }
    int nLastCode = -1;
    DWORD dwLastCodeEx = 0;
    const std::string what = std::string("poll without change, ") + pszLibrary;
    Measure(what.c_str(), 200000, [&](long) {
        const int nCode = CRemoteDriver::ReadCode();
        const DWORD dwCodeEx = CRemoteDriver::ReadCodeEx();
        g_sink = g_sink + (nCode != nLastCode) + (dwCodeEx != dwLastCodeEx);
        nLastCode = nCode;
        dwLastCodeEx = dwCodeEx;
    });
    g_driver.Release();
}

LRESULT CALLBACK FieldProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_APP)
    {
        ::DestroyWindow(hWnd);
        ::PostQuitMessage(0);
        return 0;
    }
    return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

HWND CreateField()
{
    return ::CreateWindowExA(0, "RemoteMonitorBenchField", "", 0, 0, 0, 60, 10, nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
}

void MeasureWrites()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FieldProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "RemoteMonitorBenchField";
    ::RegisterClassA(&wc);

    Measure("format a changed code and extended code", 1000000, [](long i) {
        CString strCode;
        CString strCodeEx;
        strCode.Format("%d", static_cast<int>(i & 0xFF));
        strCodeEx.Format("%08X", static_cast<unsigned int>(i));
        g_sink = g_sink + static_cast<unsigned long>(strCode.GetLength() + strCodeEx.GetLength());
    });

    HWND hLocal = CreateField();
    Measure("SetWindowTextA, same thread", 200000, [hLocal](long i) { ::SetWindowTextA(hLocal, (i & 1) ? "21" : ""); });
    ::DestroyWindow(hLocal);

    // The field on a thread of its own that runs a message loop, as the
    // dialog's thread does.
    std::atomic<HWND> hField{nullptr};
    std::thread ui([&hField] {
        hField = CreateField();
        MSG msg;
        while (::GetMessageA(&msg, nullptr, 0, 0) > 0)
            ::DispatchMessageA(&msg);
    });
    HWND hRemote = nullptr;
    while ((hRemote = hField) == nullptr)
        std::this_thread::yield();
    Measure("SetWindowTextA, cross-thread round trip", 20000,
            [hRemote](long i) { ::SetWindowTextA(hRemote, (i & 1) ? "866B15EA" : ""); });
    ::PostMessageA(hRemote, WM_APP, 0, 0);
    ui.join();
}

}  // namespace

int main(int argc, char** argv)
{
    const char* pszJson = nullptr;
    if (argc == 3 && std::strcmp(argv[1], "--json") == 0)
    {
        pszJson = argv[2];
    }
    else if (argc != 1)
    {
        std::fprintf(stderr, "usage: %s [--json FILE]\n", argv[0]);
        return 2;
    }
    const std::string dir = ExecutableDir() + "/" RM_SIM_FROM_BENCH;
    MeasureReads("simulated card", dir);
    MeasureReads("simulated card without GetRemoteCodeEx", dir + "/noex");
    MeasureWrites();
    if (pszJson != nullptr && !WriteJson(pszJson))
    {
        std::fprintf(stderr, "poll_step_bench: cannot write %s\n", pszJson);
        return 1;
    }
    return 0;
}
