// Our application framework: the application object, windows, dialogs,
// strings and message maps, in the style of the classic Windows framework the
// tool was designed on. Thin classes over the Win32 API; the same code serves
// the real Windows API and our POSIX subset.
#ifndef REMOTEMONITOR_AFXWIN_H
#define REMOTEMONITOR_AFXWIN_H

#include <windows.h>

#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

// ---- Strings ---------------------------------------------------------------

// A string of the C runtime's heap, not std::string: the shipped executable
// carries no C++ library code that could throw, and so none of the exception
// machinery that comes with it. A failed allocation leaves the empty string.
class CString
{
public:
    CString() = default;
    CString(LPCSTR psz);  // NOLINT: converts like the original
    CString(const CString& other);
    CString& operator=(const CString& other);
    ~CString();

    void Empty();
    int GetLength() const { return m_nLength; }
    bool IsEmpty() const { return m_nLength == 0; }
    operator LPCSTR() const { return m_pszData != nullptr ? m_pszData : ""; }

    friend bool operator==(const CString& a, LPCSTR b);
    friend bool operator!=(const CString& a, LPCSTR b) { return !(a == b); }

    // Last in the class: the attribute's #if would keep the formatter from
    // leaving the one-line members after it on one line.
    void Format(LPCSTR pszFormat, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;

private:
    // Replaces the content with a buffer for nLength characters and the
    // terminating zero; false, and the empty string, when none is to be had.
    bool Allocate(int nLength);

    char* m_pszData = nullptr;
    int m_nLength = 0;
};

// ---- Message maps ----------------------------------------------------------

class CCmdTarget;
class CWnd;
class CWinApp;

// One row of a message map: a window message, or WM_COMMAND with a command
// id, and the handler that takes it. The handler receives the target and the
// message parameters and returns the message result.
typedef LRESULT (*AFX_PMSG)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nID;  // command id for WM_COMMAND rows, 0 otherwise
    AFX_PMSG pfn;
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// The map macros open and close braces across one another, which the
// formatter cannot follow: they keep their hand layout.
// clang-format off
#define DECLARE_MESSAGE_MAP()                          \
protected:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();      \
    const AFX_MSGMAP* GetMessageMap() const override;

// The handlers are defined inside a member function of the class, so they may
// call its protected handlers.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }  \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                    \
    {                                                                                  \
        typedef theClass ThisClass;                                                    \
        typedef baseClass TheBaseClass;                                                \
        static_cast<void>(sizeof(ThisClass*));                                         \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                  \
            { 0, 0, nullptr }                                                              \
        };                                                                                 \
        static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] }; \
        return &messageMap;                                                                \
    }

#define ON_COMMAND(id, memberFxn)                                                   \
    { WM_COMMAND, static_cast<UINT>(id), [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT { \
        static_cast<ThisClass*>(p)->memberFxn(); return 0; } },

#define ON_MESSAGE(message, memberFxn)                                                \
    { static_cast<UINT>(message), 0, [](CCmdTarget* p, WPARAM w, LPARAM l) -> LRESULT { \
        return static_cast<ThisClass*>(p)->memberFxn(w, l); } },

#define ON_WM_PAINT()                                                       \
    { WM_PAINT, 0, [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {          \
        static_cast<ThisClass*>(p)->OnPaint(); return 0; } },

#define ON_WM_QUERYDRAGICON()                                               \
    { WM_QUERYDRAGICON, 0, [](CCmdTarget* p, WPARAM, LPARAM) -> LRESULT {  \
        return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(p)->OnQueryDragIcon()); } },
// clang-format on

class CCmdTarget
{
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    // Runs the handler of command nID from this object's map chain.
    virtual BOOL OnCmdMsg(UINT nID);

    static const AFX_MSGMAP* GetThisMessageMap();
    // Walks the map chain from the most derived class to the base.
    static const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nID);

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
};

// ---- Module state and the application ----------------------------------------

struct AFX_MODULE_STATE
{
    CWinApp* m_pCurrentWinApp;
    HINSTANCE m_hCurrentInstanceHandle;
    HINSTANCE m_hCurrentResourceHandle;
};

AFX_MODULE_STATE* AfxGetModuleState();
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
#ifndef _WIN32
// On Linux the program is a command, whose status scripts and launchers
// read: given AfxWinMain's result, the program says what its run reports.
// Defined by the program, as Windows programs define WinMain.
int AfxCommandStatus(int nWinMainResult);
#endif

class CWinApp : public CCmdTarget
{
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    // Retrieves and dispatches one message; FALSE when it was WM_QUIT.
    virtual BOOL PumpMessage();
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    BOOL Enable3dControls();
    void OnHelp();

    LPCSTR m_pszAppName;
    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    CWnd* m_pMainWnd;
    MSG m_msgCur;

    DECLARE_MESSAGE_MAP()
};

// ---- Windows ---------------------------------------------------------------

class CWnd : public CCmdTarget
{
public:
    CWnd() = default;
    ~CWnd() override;

    HWND m_hWnd = nullptr;

    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    void GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
    void SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
    int GetWindowText(LPSTR lpszString, int nMaxCount) const { return ::GetWindowTextA(m_hWnd, lpszString, nMaxCount); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(
            SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
    }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }

    // Default processing of the message being handled now.
    LRESULT Default();

    // Installs AfxWndProc in front of the window's own procedure.
    BOOL SubclassWindow(HWND hWnd);
    HWND UnsubclassWindow();
    static CWnd* FromHandlePermanent(HWND hWnd);
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
    const MSG* m_pCurrentMsg = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CDataExchange
{
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

class CDialog : public CWnd
{
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    void EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    BOOL OnCmdMsg(UINT nID) override;

    // Whether a dialog template, plain or extended, leaves the dialog's place
    // to the framework: at 0, 0 and with none of the styles by which the
    // dialog manager places it itself.
    static BOOL IsPlacedByFramework(LPCVOID pTemplate);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    static INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    LPCSTR m_lpszTemplateName;
    CWnd* m_pParentWnd;
    // The template being run, for as long as DoModal runs it.
    LPCVOID m_lpDialogTemplate;

    DECLARE_MESSAGE_MAP()
};

// A paint context for the duration of one WM_PAINT.
class CPaintDC
{
public:
    explicit CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }
    ~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon) { return ::DrawIcon(m_hDC, x, y, hIcon); }

    HWND m_hWnd;
    HDC m_hDC;
    PAINTSTRUCT m_ps;
};

#endif
