// Test support: windows of the test thread that record what they receive,
// and a message pump that runs until a condition holds.
#ifndef REMOTEMONITOR_TESTS_TESTWINDOWS_H
#define REMOTEMONITOR_TESTS_TESTWINDOWS_H

#include <windows.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace rmtest {

// What one window has received. Only the thread that owns the windows
// touches it: cross-thread sends are delivered on that thread.
struct WindowRecord
{
    std::vector<UINT> messages;
    std::vector<std::string> texts;  // of every WM_SETTEXT, in order
};

inline std::map<HWND, WindowRecord>& WindowRecords()
{
    static std::map<HWND, WindowRecord> records;
    return records;
}

inline LRESULT CALLBACK RecordingWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    WindowRecord& record = WindowRecords()[hWnd];
    if (nMsg == WM_SETTEXT)
        record.texts.push_back(reinterpret_cast<LPCSTR>(lParam));
    if (nMsg == WM_SETTEXT || nMsg >= WM_APP)
        record.messages.push_back(nMsg);
    return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

inline HWND CreateRecordingWindow()
{
    static const char kClass[] = "RemoteMonitorTestRecorder";
    static const bool bRegistered = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingWndProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kClass;
        return ::RegisterClassA(&wc) != 0;
    }();
    if (!bRegistered)
        return nullptr;
    HWND hWnd =
        ::CreateWindowExA(0, kClass, "", 0, 0, 0, 100, 20, nullptr, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (hWnd != nullptr)
        WindowRecords()[hWnd] = WindowRecord();
    return hWnd;
}

inline std::vector<std::string> TextsOf(HWND hWnd)
{
    return WindowRecords()[hWnd].texts;
}

inline size_t CountMessages(HWND hWnd, UINT nMsg)
{
    size_t n = 0;
    for (UINT m : WindowRecords()[hWnd].messages)
        if (m == nMsg)
            ++n;
    return n;
}

inline std::string WindowText(HWND hWnd)
{
    char sz[256] = {};
    ::GetWindowTextA(hWnd, sz, sizeof sz);
    return sz;
}

// Services the calling thread's queue, as the tool's main thread would,
// until done() holds; false if it did not within the time given.
template <typename Done>
bool PumpUntil(Done done, int nTimeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    for (;;)
    {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
        if (done())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        ::Sleep(1);
    }
}

// Waits without servicing any messages.
template <typename Done>
bool WaitUntil(Done done, int nTimeoutMs = 5000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(nTimeoutMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace rmtest

#endif
