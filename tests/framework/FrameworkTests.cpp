// The framework's string formatting and message maps: which handler a
// message reaches, through the map chain, and what falls through to the
// window's own procedure; and which dialog templates leave the dialog's
// place to the framework.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "afxwin.h"

namespace {

TEST(CStringFormat, FormatsAsPrintfDoes)
{
    struct Case
    {
        const char* pszFormat;
        unsigned long nValue;
        const char* pszExpected;
    };
    const Case cases[] = {
        {"%d", 21, "21"},
        {"%d", 0, "0"},
        {"%08X", 0xABCDu, "0000ABCD"},
        {"%08X", 0x866B15EAu, "866B15EA"},
        {"%08X", 0xFFFFFFFFu, "FFFFFFFF"},
        {"%08X", 0, "00000000"},
    };
    for (const Case& c : cases)
    {
        CString s;
        s.Format(c.pszFormat, static_cast<unsigned>(c.nValue));
        EXPECT_STREQ(c.pszExpected, static_cast<LPCSTR>(s)) << c.pszFormat << " " << c.nValue;
    }
    CString negative;
    negative.Format("%d", -5);
    EXPECT_STREQ("-5", static_cast<LPCSTR>(negative));
}

TEST(CStringFormat, ReplacesContentAndGrowsPastAnyBuffer)
{
    CString s("old text that is longer");
    s.Format("%d", 7);
    EXPECT_STREQ("7", static_cast<LPCSTR>(s));
    EXPECT_EQ(1, s.GetLength());

    const std::string big(5000, 'x');
    s.Format("%s|%d", big.c_str(), 42);
    EXPECT_EQ(big + "|42", std::string(s));
    s.Empty();
    EXPECT_TRUE(s.IsEmpty());
}

// What reached whom, in order.
std::vector<std::string> g_log;

LRESULT CALLBACK RecordingProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_USER || message == WM_COMMAND)
        g_log.push_back("super " + std::to_string(message) + " " + std::to_string(LOWORD(wParam)));
    if (message == WM_USER + 9)
        return 99;
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

class CBaseWnd : public CWnd
{
protected:
    LRESULT OnOne(WPARAM wParam, LPARAM)
    {
        g_log.push_back("base one " + std::to_string(wParam));
        return 1;
    }
    LRESULT OnOverridden(WPARAM, LPARAM)
    {
        g_log.push_back("base overridden");
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
    ON_MESSAGE(WM_USER + 1, OnOne)
    ON_MESSAGE(WM_USER + 3, OnOverridden)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd
{
protected:
    LRESULT OnTwo(WPARAM, LPARAM)
    {
        g_log.push_back("derived two");
        return 2;
    }
    LRESULT OnDerivedOverride(WPARAM, LPARAM)
    {
        g_log.push_back("derived overridden");
        return 3;
    }
    // Default() hands the message being handled, not a nested one, on.
    LRESULT OnDefaulted(WPARAM, LPARAM)
    {
        SendMessage(WM_USER + 2);
        return Default();
    }
    void OnCommand100() { g_log.push_back("derived command 100"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
    ON_MESSAGE(WM_USER + 2, OnTwo)
    ON_MESSAGE(WM_USER + 3, OnDerivedOverride)
    ON_MESSAGE(WM_USER + 9, OnDefaulted)
    ON_COMMAND(100, OnCommand100)
END_MESSAGE_MAP()

HWND MakeWindow()
{
    static bool bRegistered = false;
    if (!bRegistered)
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = "FrameworkTestWindow";
        bRegistered = RegisterClassA(&wc) != 0;
    }
    return CreateWindowExA(0, "FrameworkTestWindow", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

TEST(MessageMap, RoutesThroughTheChainAndFallsThroughToTheWindow)
{
    HWND hWnd = MakeWindow();
    ASSERT_NE(nullptr, hWnd);
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hWnd));

    g_log.clear();
    EXPECT_EQ(1, wnd.SendMessage(WM_USER + 1, 5));
    EXPECT_EQ(2, wnd.SendMessage(WM_USER + 2));
    EXPECT_EQ(3, wnd.SendMessage(WM_USER + 3));
    EXPECT_EQ(0, wnd.SendMessage(WM_USER + 4, 7));
    EXPECT_EQ(0, wnd.SendMessage(WM_COMMAND, 100));
    EXPECT_EQ(0, wnd.SendMessage(WM_COMMAND, 101));
    EXPECT_EQ(99, wnd.SendMessage(WM_USER + 9));

    const std::vector<std::string> expected = {
        "base one 5",          "derived two",
        "derived overridden",  "super " + std::to_string(WM_USER + 4) + " 7",
        "derived command 100", "super " + std::to_string(WM_COMMAND) + " 101",
        "derived two",         "super " + std::to_string(WM_USER + 9) + " 0",
    };
    EXPECT_EQ(expected, g_log);

    // Once the window is gone the object lets go of it.
    EXPECT_TRUE(DestroyWindow(hWnd));
    EXPECT_EQ(nullptr, wnd.m_hWnd);
}

class CHelpApp : public CWinApp
{
public:
    int m_nHelp = 0;

protected:
    void OnHelpCommand() { ++m_nHelp; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CHelpApp, CWinApp)
    ON_COMMAND(ID_HELP, OnHelpCommand)
END_MESSAGE_MAP()

class CPlainDialog : public CDialog
{
public:
    CPlainDialog() : CDialog(1) {}
};

TEST(CommandRouting, DialogCommandsNobodyHandlesReachTheApplication)
{
    CHelpApp app;
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(&app, AfxGetModuleState()->m_pCurrentWinApp);

    CPlainDialog dlg;
    // Help is the application's command, not the dialog's; the dialog hands
    // it on.
    EXPECT_FALSE(dlg.CWnd::OnCmdMsg(ID_HELP));
    EXPECT_TRUE(dlg.OnCmdMsg(ID_HELP));
    EXPECT_EQ(1, app.m_nHelp);
    EXPECT_FALSE(dlg.OnCmdMsg(12345));
    EXPECT_EQ(1, app.m_nHelp);
}

// The tool's shape: the main window is a dialog that is gone once
// InitInstance returns (on the heap here, so that AddressSanitizer sees any
// later read). Test programs carry no dialog template, so DoModal fails
// before a window exists; AfxWinMain must not then reach for the object.
class CNoTemplateApp : public CWinApp
{
public:
    INT_PTR m_nResult = 0;

    BOOL InitInstance() override
    {
        std::unique_ptr<CPlainDialog> pDlg(new CPlainDialog);
        m_pMainWnd = pDlg.get();
        m_nResult = pDlg->DoModal();
        return FALSE;
    }
};

TEST(MainWindow, ADialogWhoseTemplateIsMissingIsNotLeftAsTheMainWindow)
{
    CNoTemplateApp app;
    char szTail[] = "";
    AfxWinMain(GetModuleHandleA(nullptr), nullptr, szTail, SW_SHOWDEFAULT);
    EXPECT_EQ(-1, app.m_nResult);
    EXPECT_EQ(nullptr, app.m_pMainWnd);
}

// The headers of both template forms, as their documentation lays them out.
#pragma pack(push, 2)
struct CPlainTemplateHead
{
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x, y, cx, cy;
};
struct CExtendedTemplateHead
{
    WORD dlgVer;
    WORD signature;
    DWORD helpID;
    DWORD exStyle;
    DWORD style;
    WORD cDlgItems;
    short x, y, cx, cy;
};
#pragma pack(pop)

// Only a template at 0, 0 with none of the styles by which the dialog manager
// places a dialog leaves the place to the framework, in either form. The
// fields around style and place carry those very bits and values, so that
// reading the wrong field shows.
TEST(DialogPlacement, OnlyATemplateAtTheOriginWithoutAPlacingStyleIsLeftToTheFramework)
{
    const DWORD kPlacing = DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN;
    struct Case
    {
        DWORD dwStyle;
        short x, y;
        BOOL bExpected;
    } const kCases[] = {
        {WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT, 0, 0, TRUE},
        {WS_POPUP | DS_CENTER, 0, 0, FALSE},
        {WS_POPUP | DS_CENTERMOUSE, 0, 0, FALSE},
        {WS_POPUP | DS_ABSALIGN, 0, 0, FALSE},
        {WS_POPUP, 5, 0, FALSE},
        {WS_POPUP, 0, 5, FALSE},
    };
    for (const Case& c : kCases)
    {
        SCOPED_TRACE(::testing::Message()
                     << "style " << std::hex << c.dwStyle << std::dec << " at " << c.x << "," << c.y);
        const CPlainTemplateHead plain = {c.dwStyle, kPlacing, 3, c.x, c.y, 122, 42};
        EXPECT_EQ(c.bExpected, CDialog::IsPlacedByFramework(&plain)) << "plain";
        const CExtendedTemplateHead extended = {1, 0xFFFF, kPlacing, kPlacing, c.dwStyle, 5, c.x, c.y, 122, 42};
        EXPECT_EQ(c.bExpected, CDialog::IsPlacedByFramework(&extended)) << "extended";
    }
}

}  // namespace
