// What the window and message tests share: a window class that records the
// messages its windows get, and the sequences they are checked against.
#ifndef REMOTEMONITOR_USER_TEST_UTIL_H
#define REMOTEMONITOR_USER_TEST_UTIL_H

#include <gtest/gtest.h>

#include <windows.h>

#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace usertest {

// One message as a window procedure saw it.
struct CSeen
{
    HWND hWnd;
    UINT message;
    WPARAM wParam;
};

inline std::ostream& operator<<(std::ostream& os, const CSeen& seen)
{
    return os << "{" << static_cast<const void*>(seen.hWnd) << ", 0x" << std::hex << seen.message << std::dec << ", "
              << seen.wParam << "}";
}

// Flags of an expected message, as Wine's user32 tests have them.
enum : unsigned
{
    kOptional = 1,      // may be left out; the next expected message is tried then
    kWparam = 2,        // wParam must be the one given
    kWparamWindow = 4,  // wParam must be the handle of the window whose index is given
};

// One row of a sequence table. The window is the one ExpectSequence gets, or
// with several, the nWindow-th of them.
struct CExpected
{
    UINT message;
    unsigned flags = 0;
    WPARAM wParam = 0;
    int nWindow = 0;
};

// A constant table, or part of one, passed on by reference.
struct CSequence
{
    template <size_t N>
    CSequence(const CExpected (&table)[N]) : pTable(table),
                                             nSize(N)
    {
    }
    CSequence(const CExpected* pFirst, size_t nCount) : pTable(pFirst), nSize(nCount) {}

    const CExpected* pTable;
    size_t nSize;
};

// Checks the messages seen since the last check against the table, in order:
// every row not flagged kOptional must come, and nothing else.
inline void CheckSequence(const std::vector<CSeen>& seen, CSequence sequence, const std::vector<HWND>& windows,
                          const std::string& context)
{
    size_t nSeen = 0;
    for (size_t i = 0; i < sequence.nSize; ++i)
    {
        const CExpected& e = sequence.pTable[i];
        const HWND hWnd = windows.at(static_cast<size_t>(e.nWindow));
        WPARAM wParam = e.wParam;
        if (e.flags & kWparamWindow)
            wParam = reinterpret_cast<WPARAM>(windows.at(e.wParam));
        const bool bMatch = nSeen < seen.size() && seen[nSeen].hWnd == hWnd && seen[nSeen].message == e.message &&
                            (!(e.flags & (kWparam | kWparamWindow)) || seen[nSeen].wParam == wParam);
        if (bMatch)
        {
            ++nSeen;
            continue;
        }
        if (e.flags & kOptional)
            continue;
        std::ostringstream actual;
        if (nSeen < seen.size())
            actual << seen[nSeen];
        else
            actual << "nothing";
        ADD_FAILURE() << context << ": row " << i << " expects message 0x" << std::hex << e.message << std::dec
                      << " to window " << static_cast<const void*>(hWnd) << ", saw " << actual.str();
        return;
    }
    for (; nSeen < seen.size(); ++nSeen)
        ADD_FAILURE() << context << ": unexpected " << seen[nSeen];
}

class CRecorder
{
public:
    void Add(HWND hWnd, UINT message, WPARAM wParam)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_seen.push_back({hWnd, message, wParam});
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

// Checks what the recording windows saw since the last check against a table.
inline void ExpectSequence(CSequence sequence, HWND hWnd, const std::string& context)
{
    CheckSequence(Recorder().Take(), sequence, {hWnd}, context);
}

inline void ExpectSequence(CSequence sequence, const std::vector<HWND>& windows, const std::string& context)
{
    CheckSequence(Recorder().Take(), sequence, windows, context);
}

// Nothing seen since the last check.
inline void ExpectNoMessages(const std::string& context)
{
    CheckSequence(Recorder().Take(), CSequence(nullptr, 0), {}, context);
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
        for (HWND hWnd : m_windows)
        {
            if (IsWindow(hWnd))
                DestroyWindow(hWnd);
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        {
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
