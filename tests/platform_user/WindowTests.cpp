// Windows on one thread: creation and destruction as message sequences, the
// parent/child tree, window data, text, visibility and focus, and what a
// handle of a destroyed window still does (nothing).
#include "UserTestUtil.h"

#include <cstring>
#include <functional>
#include <string>

namespace {

using usertest::CExpected;
using usertest::CSequence;
using usertest::CUserTest;
using usertest::ExpectSequence;
using usertest::kWparam;
using usertest::kWparamWindow;
using usertest::MakeWindow;
using usertest::Recorder;

const CExpected kCreateHidden[] = {{WM_NCCREATE}, {WM_CREATE}};
const CExpected kCreateVisible[] = {{WM_NCCREATE}, {WM_CREATE}, {WM_SHOWWINDOW}};
const CExpected kRefusedAtNcCreate[] = {{WM_NCCREATE}, {WM_NCDESTROY}};
const CExpected kRefusedAtCreate[] = {{WM_NCCREATE}, {WM_CREATE}, {WM_DESTROY}, {WM_NCDESTROY}};
// Parent, first child, second child: WM_DESTROY top down, WM_NCDESTROY bottom up.
const CExpected kDestroyTree[] = {
    {WM_DESTROY, 0, 0, 0},   {WM_DESTROY, 0, 0, 1},   {WM_DESTROY, 0, 0, 2},
    {WM_NCDESTROY, 0, 0, 1}, {WM_NCDESTROY, 0, 0, 2}, {WM_NCDESTROY, 0, 0, 0},
};
const CExpected kGetText[] = {{WM_GETTEXT}};
const CExpected kSetTextThenGetText[] = {{WM_SETTEXT}, {WM_GETTEXT}};
const CExpected kSetTextThrice[] = {{WM_SETTEXT, kWparam, 0}, {WM_SETTEXT, kWparam, 0}, {WM_SETTEXT, kWparam, 0}};
// Windows a and b: the old focus hears of the new one, and the new of the old.
const CExpected kFocusNoneToA[] = {{WM_SETFOCUS, kWparam, 0, 0}};
const CExpected kFocusAToB[] = {{WM_KILLFOCUS, kWparamWindow, 1, 0}, {WM_SETFOCUS, kWparamWindow, 0, 1}};
const CExpected kFocusBToNone[] = {{WM_KILLFOCUS, kWparam, 0, 1}};
const CExpected kCloseByDefault[] = {{WM_CLOSE}, {WM_DESTROY}, {WM_NCDESTROY}};

typedef CUserTest WindowLife;

TEST_F(WindowLife, CreationSendsNcCreateThenCreateAndSetsTheText)
{
    struct
    {
        DWORD dwStyle;
        CSequence sequence;
    } const kCases[] = {
        {WS_POPUP, kCreateHidden},
        {WS_POPUP | WS_VISIBLE, kCreateVisible},
    };
    for (const auto& c : kCases)
    {
        HWND hWnd = Track(MakeWindow("Remote Control Test", c.dwStyle));
        ASSERT_NE(nullptr, hWnd);
        ExpectSequence(c.sequence, hWnd, "style " + std::to_string(c.dwStyle));

        char szText[64] = {};
        EXPECT_EQ(19, GetWindowTextA(hWnd, szText, sizeof szText));
        EXPECT_STREQ("Remote Control Test", szText);
        ExpectSequence(kGetText, hWnd, "GetWindowTextA");
        EXPECT_EQ((c.dwStyle & WS_VISIBLE) != 0, IsWindowVisible(hWnd) != FALSE);
    }
}

// The procedure sees its own handle and the caller's create parameters.
TEST_F(WindowLife, CreateStructCarriesTheCallersArguments)
{
    static CREATESTRUCTA seenCs;
    static HWND hSeen;
    usertest::Answer() = [](HWND hWnd, UINT message, WPARAM, LPARAM lParam, LRESULT*) {
        if (message == WM_CREATE)
        {
            seenCs = *reinterpret_cast<const CREATESTRUCTA*>(lParam);
            hSeen = hWnd;
        }
        return false;
    };
    HWND hParent = Track(MakeWindow());
    int nParam = 0;
    HWND hChild = CreateWindowExA(WS_EX_NOPARENTNOTIFY, "usertestrecording", "x", WS_CHILD, 5, 6, 7, 8, hParent,
                                  reinterpret_cast<HMENU>(42), nullptr, &nParam);
    ASSERT_NE(nullptr, hChild);
    EXPECT_EQ(hChild, hSeen);
    EXPECT_EQ(&nParam, seenCs.lpCreateParams);
    EXPECT_EQ(hParent, seenCs.hwndParent);
    EXPECT_EQ(reinterpret_cast<HMENU>(42), seenCs.hMenu);
    EXPECT_EQ(5, seenCs.x);
    EXPECT_EQ(8, seenCs.cy);
    EXPECT_EQ(static_cast<DWORD>(WS_EX_NOPARENTNOTIFY), seenCs.dwExStyle);
    EXPECT_EQ(42, GetDlgCtrlID(hChild));
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(hChild, nullptr));
}

TEST_F(WindowLife, RefusedCreationLeavesNoWindow)
{
    static HWND hCreated;
    struct
    {
        UINT refuse;
        LRESULT result;
        CSequence sequence;
    } const kCases[] = {
        {WM_NCCREATE, FALSE, kRefusedAtNcCreate},
        {WM_CREATE, -1, kRefusedAtCreate},
    };
    for (const auto& c : kCases)
    {
        static UINT refuse;
        static LRESULT refusal;
        refuse = c.refuse;
        refusal = c.result;
        usertest::Answer() = [](HWND hWnd, UINT message, WPARAM, LPARAM, LRESULT* pResult) {
            hCreated = hWnd;
            if (message != refuse)
                return false;
            *pResult = refusal;
            return true;
        };
        SetLastError(0);
        EXPECT_EQ(nullptr, MakeWindow("refused", WS_POPUP | WS_VISIBLE)) << c.refuse;
        ExpectSequence(c.sequence, hCreated, "refused at " + std::to_string(c.refuse));
        EXPECT_FALSE(IsWindow(hCreated));
    }
}

TEST_F(WindowLife, ParentIsDestroyedBeforeItsChildrenAndFreedAfterThem)
{
    static HWND hParent;
    static bool bAllAliveAtDestroy;
    HWND hParentLocal = MakeWindow("parent");
    hParent = hParentLocal;
    HWND hFirst = MakeWindow("first", WS_CHILD, hParent, 1);
    HWND hSecond = MakeWindow("second", WS_CHILD, hParent, 2);
    ASSERT_NE(nullptr, hSecond);
    bAllAliveAtDestroy = true;
    usertest::Answer() = [](HWND hWnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        // Windows are still windows while they hear about their end.
        if ((message == WM_DESTROY || message == WM_NCDESTROY) && (!IsWindow(hWnd) || !IsWindow(hParent)))
            bAllAliveAtDestroy = false;
        return false;
    };
    Recorder().Take();
    EXPECT_TRUE(DestroyWindow(hParent));
    ExpectSequence(kDestroyTree, {hParent, hFirst, hSecond}, "destroying the parent");
    EXPECT_TRUE(bAllAliveAtDestroy);
    for (HWND hWnd : {hParentLocal, hFirst, hSecond})
        EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(WindowLife, DestroyedHandleNamesNoWindowAndEveryCallFails)
{
    HWND hDead = MakeWindow("gone", WS_POPUP | WS_VISIBLE);
    ASSERT_TRUE(DestroyWindow(hDead));

    char szBuffer[16] = "untouched";
    RECT rc;
    PAINTSTRUCT ps;
    DWORD dwPid = 0;
    struct
    {
        const char* pszName;
        std::function<LONG_PTR()> call;
    } const kCalls[] = {
        {"SendMessageA", [&] { return SendMessageA(hDead, WM_USER, 0, 0); }},
        {"PostMessageA", [&] { return LONG_PTR(PostMessageA(hDead, WM_USER, 0, 0)); }},
        {"DestroyWindow", [&] { return LONG_PTR(DestroyWindow(hDead)); }},
        {"GetWindowLongPtrA", [&] { return GetWindowLongPtrA(hDead, GWL_STYLE); }},
        {"SetWindowLongPtrA", [&] { return SetWindowLongPtrA(hDead, GWLP_USERDATA, 5); }},
        {"SetWindowTextA", [&] { return LONG_PTR(SetWindowTextA(hDead, "x")); }},
        {"GetWindowTextA", [&] { return LONG_PTR(GetWindowTextA(hDead, szBuffer, sizeof szBuffer)); }},
        {"GetWindowTextLengthA", [&] { return LONG_PTR(GetWindowTextLengthA(hDead)); }},
        {"GetClassNameA", [&] { return LONG_PTR(GetClassNameA(hDead, szBuffer, sizeof szBuffer)); }},
        {"GetWindowThreadProcessId", [&] { return LONG_PTR(GetWindowThreadProcessId(hDead, &dwPid)); }},
        {"GetParent", [&] { return reinterpret_cast<LONG_PTR>(GetParent(hDead)); }},
        {"GetWindow", [&] { return reinterpret_cast<LONG_PTR>(GetWindow(hDead, GW_CHILD)); }},
        {"GetDlgItem", [&] { return reinterpret_cast<LONG_PTR>(GetDlgItem(hDead, 1)); }},
        {"ShowWindow", [&] { return LONG_PTR(ShowWindow(hDead, SW_SHOW)); }},
        {"IsWindowVisible", [&] { return LONG_PTR(IsWindowVisible(hDead)); }},
        {"SetFocus", [&] { return reinterpret_cast<LONG_PTR>(SetFocus(hDead)); }},
        {"GetClientRect", [&] { return LONG_PTR(GetClientRect(hDead, &rc)); }},
        {"InvalidateRect", [&] { return LONG_PTR(InvalidateRect(hDead, nullptr, TRUE)); }},
        {"BeginPaint", [&] { return reinterpret_cast<LONG_PTR>(BeginPaint(hDead, &ps)); }},
        {"DefWindowProcA", [&] { return DefWindowProcA(hDead, WM_GETTEXTLENGTH, 0, 0); }},
    };
    for (const auto& c : kCalls)
    {
        SetLastError(0);
        EXPECT_EQ(0, c.call()) << c.pszName;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError()) << c.pszName;
    }
    EXPECT_EQ(0u, dwPid);
    EXPECT_STREQ("", szBuffer);  // GetWindowTextA empties the buffer first

    // No later window takes the dead one's handle.
    for (int i = 0; i < 64; ++i)
    {
        HWND hNew = MakeWindow();
        EXPECT_NE(hDead, hNew);
        DestroyWindow(hNew);
    }
    EXPECT_FALSE(IsWindow(hDead));
    EXPECT_FALSE(IsWindow(nullptr));
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(0x1234)));
}

typedef CUserTest WindowClasses;

TEST_F(WindowClasses, NamesAreCaseInsensitiveAndMustBeValid)
{
    WNDCLASSA wc = {};
    wc.lpszClassName = "UserTestNoProc";
    SetLastError(0);
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    usertest::RegisterRecordingClass();
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "USERTESTRECORDING";
    EXPECT_EQ(0, RegisterClassA(&wc));

    HWND hWnd =
        Track(CreateWindowExA(0, "uSeRtEsTrEcOrDiNg", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    ASSERT_NE(nullptr, hWnd);
    char szName[8];
    EXPECT_EQ(7, GetClassNameA(hWnd, szName, sizeof szName));
    EXPECT_STREQ("UserTes", szName);

    SetLastError(0);
    EXPECT_EQ(nullptr,
              CreateWindowExA(0, "UserTestNoSuchClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    // A child needs a parent.
    EXPECT_EQ(nullptr, MakeWindow("", WS_CHILD, nullptr));
}

typedef CUserTest WindowData;

TEST_F(WindowData, ExtraBytesHoldPointerSizedValuesWithinTheirBounds)
{
    HWND hWnd = Track(MakeWindow());
    const int nSize = static_cast<int>(sizeof(LONG_PTR));
    const int nLastFit = usertest::kRecordingExtra - nSize;
    for (int nOffset : {0, nSize, 3, nLastFit})
        EXPECT_EQ(0, GetWindowLongPtrA(hWnd, nOffset)) << "fresh extra bytes are zero at " << nOffset;

    const LONG_PTR kValue = static_cast<LONG_PTR>(0x1234567890ABCDEFull & static_cast<uintptr_t>(-1));
    EXPECT_EQ(0, SetWindowLongPtrA(hWnd, nLastFit, kValue));
    EXPECT_EQ(kValue, GetWindowLongPtrA(hWnd, nLastFit));
    EXPECT_EQ(kValue, SetWindowLongPtrA(hWnd, nLastFit, 7));
    EXPECT_EQ(7, GetWindowLongPtrA(hWnd, nLastFit));

    for (int nOffset : {nLastFit + 1, usertest::kRecordingExtra, 1000, -2})
    {
        SetLastError(0);
        EXPECT_EQ(0, SetWindowLongPtrA(hWnd, nOffset, 9)) << nOffset;
        EXPECT_EQ(1413u, GetLastError()) << nOffset;  // ERROR_INVALID_INDEX
        EXPECT_EQ(0, GetWindowLongPtrA(hWnd, nOffset)) << nOffset;
    }
    // The slots below the failed writes are untouched.
    EXPECT_EQ(7, GetWindowLongPtrA(hWnd, nLastFit));
}

LRESULT CALLBACK UpperCaseTextProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC pfnOld = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (message == WM_SETTEXT)
        return CallWindowProcA(pfnOld, hWnd, message, wParam, reinterpret_cast<LPARAM>("SUBCLASSED"));
    return CallWindowProcA(pfnOld, hWnd, message, wParam, lParam);
}

TEST_F(WindowData, IndexesFollowTheWindowState)
{
    HWND hParent = Track(MakeWindow());
    HWND hWnd = MakeWindow("", WS_CHILD | WS_TABSTOP, hParent, 77);
    EXPECT_EQ(77, GetWindowLongPtrA(hWnd, GWLP_ID));
    EXPECT_EQ(77, SetWindowLongPtrA(hWnd, GWLP_ID, 78));
    EXPECT_EQ(hWnd, GetDlgItem(hParent, 78));

    EXPECT_EQ(WS_CHILD | WS_TABSTOP, GetWindowLongPtrA(hWnd, GWL_STYLE));
    ShowWindow(hWnd, SW_SHOW);
    EXPECT_EQ(WS_CHILD | WS_TABSTOP | WS_VISIBLE, GetWindowLongPtrA(hWnd, GWL_STYLE));

    EXPECT_EQ(reinterpret_cast<LONG_PTR>(&usertest::RecordingProc), GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
    LONG_PTR old = SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&UpperCaseTextProc));
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, old);
    EXPECT_EQ(old, GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    Recorder().Take();
    EXPECT_TRUE(SetWindowTextA(hWnd, "lower"));
    char szText[16] = {};
    GetWindowTextA(hWnd, szText, sizeof szText);
    EXPECT_STREQ("SUBCLASSED", szText);
    ExpectSequence(kSetTextThenGetText, hWnd, "subclassed");
}

TEST_F(WindowData, TextGoesThroughMessagesAndIsTruncatedWithANul)
{
    HWND hWnd = Track(MakeWindow("start"));
    Recorder().Take();
    EXPECT_TRUE(SetWindowTextA(hWnd, "12345678"));
    EXPECT_TRUE(SetWindowTextA(hWnd, nullptr));
    EXPECT_TRUE(SetWindowTextA(hWnd, "abcdef"));
    ExpectSequence(kSetTextThrice, hWnd, "three texts");

    EXPECT_EQ(6, GetWindowTextLengthA(hWnd));
    struct
    {
        int nMax;
        int nResult;
        const char* pszText;
    } const kCases[] = {{64, 6, "abcdef"}, {7, 6, "abcdef"}, {6, 5, "abcde"}, {1, 0, ""}};
    for (const auto& c : kCases)
    {
        char szText[80];
        std::memset(szText, 'X', sizeof szText);
        EXPECT_EQ(c.nResult, GetWindowTextA(hWnd, szText, c.nMax)) << c.nMax;
        EXPECT_STREQ(c.pszText, szText) << c.nMax;
        EXPECT_EQ('X', szText[c.nMax]) << "wrote past the buffer of " << c.nMax;
    }
    char szUntouched[2] = {'X', 'X'};
    EXPECT_EQ(0, GetWindowTextA(hWnd, szUntouched, 0));
    EXPECT_EQ('X', szUntouched[0]);
}

TEST_F(WindowData, DefaultProcedureKeepsIconsAndClosesByDestroying)
{
    HWND hWnd = MakeWindow();
    HICON hBig = reinterpret_cast<HICON>(0x100);
    HICON hSmall = reinterpret_cast<HICON>(0x200);
    EXPECT_EQ(0, SendMessageA(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(hBig)));
    EXPECT_EQ(0, SendMessageA(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(hSmall)));
    EXPECT_EQ(reinterpret_cast<LRESULT>(hBig), SendMessageA(hWnd, WM_SETICON, ICON_BIG, 0));
    EXPECT_EQ(0, SendMessageA(hWnd, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(hSmall), SendMessageA(hWnd, WM_GETICON, ICON_SMALL, 0));
    EXPECT_EQ(0, SendMessageA(hWnd, WM_QUERYDRAGICON, 0, 0));
    EXPECT_EQ(0, SendMessageA(hWnd, WM_ERASEBKGND, 0, 0));

    Recorder().Take();
    EXPECT_EQ(0, SendMessageA(hWnd, WM_CLOSE, 0, 0));
    ExpectSequence(kCloseByDefault, hWnd, "WM_CLOSE");
    EXPECT_FALSE(IsWindow(hWnd));
}

typedef CUserTest WindowTree;

TEST_F(WindowTree, ChildrenKeepCreationOrderAndLeaveItWhenDestroyed)
{
    HWND hParent = Track(MakeWindow());
    HWND hA = MakeWindow("a", WS_CHILD, hParent, 10);
    HWND hB = MakeWindow("b", WS_CHILD, hParent, 20);
    HWND hC = MakeWindow("c", WS_CHILD, hParent, 30);
    HWND hGrandChild = MakeWindow("g", WS_CHILD, hB, 40);

    const std::vector<HWND> kForward = {hA, hB, hC};
    std::vector<HWND> forward;
    for (HWND h = GetWindow(hParent, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
        forward.push_back(h);
    EXPECT_EQ(kForward, forward);
    std::vector<HWND> backward;
    for (HWND h = hC; h != nullptr; h = GetWindow(h, GW_HWNDPREV))
        backward.insert(backward.begin(), h);
    EXPECT_EQ(kForward, backward);

    EXPECT_EQ(hB, GetDlgItem(hParent, 20));
    EXPECT_EQ(nullptr, GetDlgItem(hParent, 40)) << "only direct children are dialog items";
    EXPECT_EQ(hGrandChild, GetDlgItem(hB, 40));
    EXPECT_EQ(hB, GetParent(hGrandChild));
    EXPECT_EQ(hParent, GetParent(hA));
    EXPECT_EQ(nullptr, GetParent(hParent));

    DestroyWindow(hB);
    EXPECT_FALSE(IsWindow(hGrandChild));
    EXPECT_EQ(hC, GetWindow(hA, GW_HWNDNEXT));
    EXPECT_EQ(hA, GetWindow(hC, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetDlgItem(hParent, 20));
}

TEST_F(WindowTree, PopupAnswersWithItsOwner)
{
    HWND hOwner = Track(MakeWindow());
    HWND hPopup = Track(MakeWindow("", WS_POPUP, hOwner));
    HWND hOverlapped = Track(MakeWindow("", WS_OVERLAPPED, hOwner));
    EXPECT_EQ(hOwner, GetParent(hPopup));
    EXPECT_EQ(hOwner, GetWindow(hPopup, GW_OWNER));
    EXPECT_EQ(nullptr, GetParent(hOverlapped));
    EXPECT_EQ(hOwner, GetWindow(hOverlapped, GW_OWNER));
    EXPECT_EQ(nullptr, GetWindow(hOwner, GW_CHILD));
}

typedef CUserTest WindowState;

TEST_F(WindowState, ShowWindowReportsThePreviousVisibility)
{
    HWND hParent = Track(MakeWindow());
    HWND hChild = MakeWindow("", WS_CHILD | WS_VISIBLE, hParent, 1);
    EXPECT_FALSE(IsWindowVisible(hChild)) << "a child of a hidden window is hidden";

    struct
    {
        int nCmd;
        BOOL bWasVisible;
        bool bVisible;
        bool bIconic;
    } const kSteps[] = {
        {SW_SHOW, FALSE, true, false},         {SW_SHOW, TRUE, true, false},       {SW_MINIMIZE, TRUE, true, true},
        {SW_RESTORE, TRUE, true, false},       {SW_HIDE, TRUE, false, false},      {SW_HIDE, FALSE, false, false},
        {SW_SHOWMINIMIZED, FALSE, true, true}, {SW_SHOWNORMAL, TRUE, true, false},
    };
    for (const auto& s : kSteps)
    {
        EXPECT_EQ(s.bWasVisible, ShowWindow(hParent, s.nCmd)) << s.nCmd;
        EXPECT_EQ(s.bVisible, IsWindowVisible(hParent) != FALSE) << s.nCmd;
        EXPECT_EQ(s.bVisible, IsWindowVisible(hChild) != FALSE) << s.nCmd;
        EXPECT_EQ(s.bIconic, IsIconic(hParent) != FALSE) << s.nCmd;
    }
}

TEST_F(WindowState, RectanglesAreTheOnesGiven)
{
    HWND hWnd = Track(MakeWindow());
    RECT rc;
    ASSERT_TRUE(GetWindowRect(hWnd, &rc));
    EXPECT_EQ(1, rc.left);
    EXPECT_EQ(2, rc.top);
    EXPECT_EQ(31, rc.right);
    EXPECT_EQ(42, rc.bottom);
    ASSERT_TRUE(GetClientRect(hWnd, &rc));
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(0, rc.top);
    EXPECT_EQ(30, rc.right);
    EXPECT_EQ(40, rc.bottom);
}

typedef CUserTest WindowFocus;

TEST_F(WindowFocus, MovingTheFocusKillsItOnTheOldWindowFirst)
{
    HWND hParent = Track(MakeWindow());
    HWND hA = MakeWindow("a", WS_CHILD, hParent, 1);
    HWND hB = MakeWindow("b", WS_CHILD, hParent, 2);
    SetFocus(nullptr);
    Recorder().Take();

    struct
    {
        HWND hTo;
        HWND hReturned;
        CSequence sequence;
    } const kSteps[] = {
        {hA, nullptr, kFocusNoneToA},
        {hA, hA, CSequence(nullptr, 0)},
        {hB, hA, kFocusAToB},
        {nullptr, hB, kFocusBToNone},
    };
    for (const auto& s : kSteps)
    {
        EXPECT_EQ(s.hReturned, SetFocus(s.hTo));
        EXPECT_EQ(s.hTo, GetFocus());
        ExpectSequence(s.sequence, {hA, hB}, "focus to " + std::to_string(reinterpret_cast<uintptr_t>(s.hTo)));
    }

    SetFocus(hB);
    DestroyWindow(hB);
    EXPECT_EQ(nullptr, GetFocus()) << "a destroyed window does not keep the focus";
}

}  // namespace
