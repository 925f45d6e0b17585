// What the window and message tests share: a window class that records the
// messages its windows get, and the sequences they are checked against.
#ifndef REMOTEMONITOR_USER_TEST_UTIL_H
#define REMOTEMONITOR_USER_TEST_UTIL_H

#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <ostream>
#include <vector>

namespace usertest {

// One message as a window procedure saw it. wParam is compared only where
// the table gives it (kAnyParam otherwise).
struct CSeen
{
    HWND hWnd;
    UINT message;
    WPARAM wParam;
};

const WPARAM kAnyParam = static_cast<WPARAM>(-1);

inline bool operator==(const CSeen& a, const CSeen& b)
{
    return a.hWnd == b.hWnd && a.message == b.message &&
           (a.wParam == kAnyParam || b.wParam == kAnyParam || a.wParam == b.wParam);
}

inline std::ostream& operator<<(std::ostream& os, const CSeen& seen)
{
    os << "{" << static_cast<const void*>(seen.hWnd) << ", 0x" << std::hex << seen.message << std::dec;
    if (seen.wParam != kAnyParam)
        os << ", " << seen.wParam;
    return os << "}";
}

// Messages every window answers that the sequences leave out.
inline bool IsNoise(UINT message)
{
    return message == WM_GETTEXTLENGTH || message == WM_GETTEXT || message == WM_GETICON;
}

class CRecorder
{
public:
    void Add(HWND hWnd, UINT message, WPARAM wParam)
    {
        if (IsNoise(message))
            return;
        std::lock_guard<std::mutex> lock(m_lock);
        m_seen.push_back({ hWnd, message, wParam });
    }
    std::vector<CSeen> Take()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<CSeen> seen;
        seen.swap(m_seen);
        return seen;
    }

private:
    std::mutex m_lock;
    std::vector<CSeen> m_seen;
};

inline CRecorder& Recorder()
{
    static CRecorder recorder;
    return recorder;
}

// Records, then leaves the message to the default procedure, unless the
// test has a hook that answers it.
typedef bool (*AnswerFn)(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

inline AnswerFn& Answer()
{
    static AnswerFn pfn = nullptr;
    return pfn;
}

inline LRESULT CALLBACK RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Recorder().Add(hWnd, message, wParam);
    LRESULT result = 0;
    if (Answer() != nullptr && Answer()(hWnd, message, wParam, lParam, &result))
        return result;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

const char kRecordingClass[] = "UserTestRecording";
const int kRecordingExtra = 2 * static_cast<int>(sizeof(LONG_PTR)) + 3;

// Registers the recording class once per process.
inline void RegisterRecordingClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.cbWndExtra = kRecordingExtra;
        wc.lpszClassName = kRecordingClass;
        ASSERT_NE(0, RegisterClassA(&wc));
    });
}

inline HWND MakeWindow(const char* pszText = "", DWORD dwStyle = WS_POPUP, HWND hParent = nullptr, int nId = 0)
{
    RegisterRecordingClass();
    return CreateWindowExA(0, kRecordingClass, pszText, dwStyle, 1, 2, 30, 40, hParent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)), nullptr, nullptr);
}

// Every test starts from an empty record and no answering hook, and leaves
// no window or message behind for the next one.
class CUserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Answer() = nullptr;
        Recorder().Take();
    }
    void TearDown() override
    {
        Answer() = nullptr;
        for (HWND hWnd : m_windows) {
            if (IsWindow(hWnd))
                DestroyWindow(hWnd);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_PAINT)
                ValidateAll(msg.hwnd);
        }
        Recorder().Take();
    }
    HWND Track(HWND hWnd)
    {
        m_windows.push_back(hWnd);
        return hWnd;
    }
    static void ValidateAll(HWND hWnd)
    {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
    }

private:
    std::vector<HWND> m_windows;
};

}  // namespace usertest

#endif
