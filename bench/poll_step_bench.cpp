// What one poll of the code poller costs, apart from its 20 ms pause: the
// two driver reads against the simulated card, the formatting of a changed
// value, and the synchronous cross-thread write of a field's text.
// Prints figures; it checks nothing.
#include <afxwin.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

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

template <typename Work>
void Measure(const char* pszWhat, long nIterations, Work work)
{
    for (long i = 0; i < nIterations / 10; ++i)  // warm-up
        work(i);
    const Clock::time_point start = Clock::now();
    for (long i = 0; i < nIterations; ++i)
        work(i);
    const double ns = static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
    std::printf("%-58s %10.0f ns/op  (%ld ops)\n", pszWhat, ns / static_cast<double>(nIterations), nIterations);
}

volatile unsigned long g_sink;

void MeasureReads(const char* pszLibrary, const std::string& dir)
{
    ::SetDllDirectoryA(dir.c_str());
    g_driver.Release();
    g_driver.Load();
    if (CRemoteDriver::SelectCard(0) != 1)
    {
        std::printf("%s: no simulated card in %s\n", pszLibrary, dir.c_str());
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
    Measure("SetWindowTextA, same thread", 200000,
            [hLocal](long i) { ::SetWindowTextA(hLocal, (i & 1) ? "21" : ""); });
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

int main()
{
    std::printf("One poll's work, without its %d ms pause:\n", 20);
    const std::string dir = ExecutableDir() + "/" RM_SIM_FROM_BENCH;
    MeasureReads("simulated card", dir);
    MeasureReads("simulated card without GetRemoteCodeEx", dir + "/noex");
    MeasureWrites();
    std::printf("A poll with no change costs the reads; one with a change adds the formatting\n"
                "and one cross-thread write per changed field.\n");
    return 0;
}
