// The dialog manager on the tool's own template: the controls it builds, the
// focus, and the keys and commands that end a dialog, checked as the message
// sequence its dialog procedure sees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <unistd.h>
#include <windows.h>

#include "resource.h"

namespace {

struct CSeen
{
    UINT message;
    WPARAM wParam;
    bool operator==(const CSeen& other) const { return message == other.message && wParam == other.wParam; }
};

std::ostream& operator<<(std::ostream& os, const CSeen& seen)
{
    return os << "{" << seen.message << ", " << seen.wParam << "}";
}

// What each test does once the dialog is up, and what its procedure saw.
struct CScript
{
    void (*pfnOnInit)(HWND hDlg);
    std::vector<CSeen> seen;
    HWND hFocusAtInit = nullptr;
    HWND hCloseButton = nullptr;
};

CScript* g_pScript = nullptr;

INT_PTR CALLBACK RecordingDlgProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message)
    {
    case WM_INITDIALOG:
        g_pScript->seen.push_back({message, 0});
        g_pScript->hFocusAtInit = reinterpret_cast<HWND>(wParam);
        g_pScript->hCloseButton = GetDlgItem(hDlg, IDOK);
        // The focus is set after this returns, so the script's input is
        // posted, to be seen once the dialog runs.
        g_pScript->pfnOnInit(hDlg);
        return TRUE;
    case WM_COMMAND:
        g_pScript->seen.push_back({message, LOWORD(wParam)});
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(hDlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        g_pScript->seen.push_back({message, 0});
        return FALSE;
    default:
        return FALSE;
    }
}

LPCDLGTEMPLATEA MainTemplate()
{
    HRSRC hRes = FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), RT_DIALOG);
    HGLOBAL hData = hRes ? LoadResource(nullptr, hRes) : nullptr;
    return static_cast<LPCDLGTEMPLATEA>(hData ? LockResource(hData) : nullptr);
}

INT_PTR RunDialog(CScript& script)
{
    g_pScript = &script;
    INT_PTR nResult = DialogBoxIndirectParamA(nullptr, MainTemplate(), nullptr, RecordingDlgProc, 0);
    g_pScript = nullptr;
    return nResult;
}

void PostKey(HWND hWnd, WPARAM vk)
{
    PostMessageA(hWnd, WM_KEYDOWN, vk, 1);
    PostMessageA(hWnd, WM_KEYUP, vk, 1);
}

TEST(DialogFromTemplate, BuildsTheControlsInOrderWithTheirTexts)
{
    ASSERT_NE(nullptr, MainTemplate());
    static std::vector<std::string> controls;
    controls.clear();
    CScript script;
    script.pfnOnInit = [](HWND hDlg) {
        char szText[64];
        GetWindowTextA(hDlg, szText, sizeof szText);
        controls.push_back(szText);
        for (HWND h = GetWindow(hDlg, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT))
        {
            char szClass[32];
            GetClassNameA(h, szClass, sizeof szClass);
            GetWindowTextA(h, szText, sizeof szText);
            controls.push_back(std::string(szClass) + " " + std::to_string(GetDlgCtrlID(h)) + " '" + szText + "'");
        }
        // Not visible until its procedure has seen WM_INITDIALOG.
        controls.push_back(IsWindowVisible(hDlg) ? "visible" : "hidden");
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
    };
    RunDialog(script);

    const std::vector<std::string> expected = {
        "Remote Control Test",
        "Button 1 'Close'",
        "Static 65535 'RC Code:'",
        "Static 1001 ''",
        "Static 65535 'Extended code:'",
        "Static 1002 ''",
        "hidden",
    };
    EXPECT_EQ(expected, controls);
    EXPECT_EQ(script.hCloseButton, script.hFocusAtInit);
}

TEST(DialogKeys, EnterEscAndTheCloseBoxEndTheDialogWithTheirIds)
{
    struct Case
    {
        const char* pszName;
        void (*pfnOnInit)(HWND);
        INT_PTR nResult;
        std::vector<CSeen> seen;
    };
    const std::vector<Case> cases = {
        {"Enter presses the default button",
         [](HWND hDlg) { PostKey(hDlg, VK_RETURN); },
         IDOK,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDOK}}},
        {"Space presses the focused button",
         [](HWND hDlg) { PostKey(GetDlgItem(hDlg, IDOK), VK_SPACE); },
         IDOK,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDOK}}},
        {"Space held (and repeating) clicks nothing until its release",
         [](HWND hDlg) {
             PostMessageA(GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_SPACE, 1);
             PostMessageA(GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_SPACE, 1);
             PostMessageA(hDlg, WM_CLOSE, 0, 0);
         },
         IDCANCEL,
         {{WM_INITDIALOG, 0}, {WM_CLOSE, 0}, {WM_COMMAND, IDCANCEL}}},
        {"Esc while Space is held cancels the press",
         [](HWND hDlg) {
             PostMessageA(GetDlgItem(hDlg, IDOK), WM_KEYDOWN, VK_SPACE, 1);
             PostKey(GetDlgItem(hDlg, IDOK), VK_ESCAPE);
             PostMessageA(GetDlgItem(hDlg, IDOK), WM_KEYUP, VK_SPACE, 1);
         },
         IDCANCEL,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDCANCEL}}},
        {"Esc cancels",
         [](HWND hDlg) { PostKey(hDlg, VK_ESCAPE); },
         IDCANCEL,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDCANCEL}}},
        {"the close box cancels",
         [](HWND hDlg) { PostMessageA(hDlg, WM_CLOSE, 0, 0); },
         IDCANCEL,
         {{WM_INITDIALOG, 0}, {WM_CLOSE, 0}, {WM_COMMAND, IDCANCEL}}},
        {"Tab stays on the only tab stop, then Enter",
         [](HWND hDlg) {
             PostKey(hDlg, VK_TAB);
             PostKey(hDlg, VK_TAB);
             PostKey(hDlg, VK_RETURN);
         },
         IDOK,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDOK}}},
        {"a click message on the button",
         [](HWND hDlg) { PostMessageA(GetDlgItem(hDlg, IDOK), BM_CLICK, 0, 0); },
         IDOK,
         {{WM_INITDIALOG, 0}, {WM_COMMAND, IDOK}}},
    };
    for (const Case& c : cases)
    {
        CScript script;
        script.pfnOnInit = c.pfnOnInit;
        EXPECT_EQ(c.nResult, RunDialog(script)) << c.pszName;
        EXPECT_EQ(c.seen, script.seen) << c.pszName;
    }
}

TEST(DialogKeys, FocusStaysOnCloseAfterTab)
{
    static HWND hFocusAfterTab;
    hFocusAfterTab = nullptr;
    CScript script;
    script.pfnOnInit = [](HWND hDlg) {
        PostKey(hDlg, VK_TAB);
        // Runs once the Tab has been handled.
        PostMessageA(hDlg, WM_USER + 1, 0, 0);
    };
    // A message the dialog procedure does not know reaches it through
    // default processing; look at the focus then and finish.
    static const DLGPROC pfnProbe = [](HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_USER + 1)
        {
            hFocusAfterTab = GetFocus();
            EndDialog(hDlg, 7);
            return TRUE;
        }
        return RecordingDlgProc(hDlg, message, wParam, lParam);
    };
    g_pScript = &script;
    EXPECT_EQ(7, DialogBoxIndirectParamA(nullptr, MainTemplate(), nullptr, pfnProbe, 0));
    g_pScript = nullptr;
    EXPECT_NE(nullptr, hFocusAfterTab);
    EXPECT_EQ(script.hCloseButton, hFocusAfterTab);
}

TEST(DialogTabOrder, WalksTabStopsBothWaysAndWraps)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TabOrderParent";
    RegisterClassA(&wc);
    HWND hParent =
        CreateWindowExA(0, "TabOrderParent", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, hParent);
    auto make = [&](int nId, DWORD dwStyle) {
        return CreateWindowExA(0, "TabOrderParent", "", WS_CHILD | WS_VISIBLE | dwStyle, 0, 0, 10, 10, hParent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)), nullptr, nullptr);
    };
    HWND hA = make(1, WS_TABSTOP);
    make(2, 0);  // not a tab stop
    HWND hC = make(3, WS_TABSTOP);
    HWND hD = make(4, WS_TABSTOP | WS_DISABLED);
    HWND hE = make(5, WS_TABSTOP);
    ASSERT_NE(nullptr, hD);

    EXPECT_EQ(hA, GetNextDlgTabItem(hParent, nullptr, FALSE));
    EXPECT_EQ(hC, GetNextDlgTabItem(hParent, hA, FALSE));
    EXPECT_EQ(hE, GetNextDlgTabItem(hParent, hC, FALSE));
    EXPECT_EQ(hA, GetNextDlgTabItem(hParent, hE, FALSE));
    EXPECT_EQ(hE, GetNextDlgTabItem(hParent, hA, TRUE));
    EXPECT_EQ(hC, GetNextDlgTabItem(hParent, hE, TRUE));
    DestroyWindow(hParent);
}

INT_PTR CALLBACK EndAtOnce(HWND hDlg, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG)
        EndDialog(hDlg, 5);
    return FALSE;
}

TEST(DialogEdges, BadTemplatesFailAndEndDialogNeedsARunningDialog)
{
    const unsigned char notATemplate[] = {1, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(-1, DialogBoxIndirectParamA(nullptr, reinterpret_cast<LPCDLGTEMPLATEA>(notATemplate), nullptr,
                                          RecordingDlgProc, 0));
    EXPECT_EQ(-1, DialogBoxIndirectParamA(nullptr, nullptr, nullptr, RecordingDlgProc, 0));
    EXPECT_FALSE(EndDialog(nullptr, 1));
    // Ending from WM_INITDIALOG is honoured as soon as the loop starts.
    EXPECT_EQ(5, DialogBoxIndirectParamA(nullptr, MainTemplate(), nullptr, EndAtOnce, 0));
}

TEST(MessageBoxWithoutTerminal, PrintsItsTextAndReturnsAtOnce)
{
    if (isatty(STDOUT_FILENO))
        GTEST_SKIP() << "standard output is a terminal: the box would wait for an answer";
    testing::internal::CaptureStdout();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "Tuner not found.", nullptr, MB_OK));
    EXPECT_EQ("Tuner not found.\n", testing::internal::GetCapturedStdout());
}

}  // namespace
