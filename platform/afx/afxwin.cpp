#include "afxwin.h"

#include <string.h>

// ---- Message maps ----------------------------------------------------------

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nID)
{
    for (; pMap != nullptr; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr)
    {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->pfn != nullptr; ++pEntry)
        {
            if (pEntry->nMessage == nMessage && pEntry->nID == nID)
                return pEntry;
        }
    }
    return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID)
{
    const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(GetMessageMap(), WM_COMMAND, nID);
    if (pEntry == nullptr)
        return FALSE;
    pEntry->pfn(this, 0, 0);
    return TRUE;
}

// ---- Module state ----------------------------------------------------------

AFX_MODULE_STATE* AfxGetModuleState()
{
    static AFX_MODULE_STATE state = {nullptr, nullptr, nullptr};
    return &state;
}

CWinApp* AfxGetApp()
{
    return AfxGetModuleState()->m_pCurrentWinApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return AfxGetModuleState()->m_hCurrentInstanceHandle;
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetModuleState()->m_hCurrentResourceHandle;
}

// The tool keeps all its resources in the executable, so there is one module
// to search whatever the resource.
HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType)
{
    (void)lpszName;
    (void)lpszType;
    HINSTANCE hInst = AfxGetResourceHandle();
    return hInst != nullptr ? hInst : GetModuleHandleA(nullptr);
}

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp)
{
    (void)nIDHelp;  // no help file ships with the tool
    CWinApp* pApp = AfxGetApp();
    LPCSTR pszCaption = (pApp != nullptr && pApp->m_pszAppName != nullptr) ? pApp->m_pszAppName : "RemoteMonitor";
    HWND hWndOwner = nullptr;
    if (pApp != nullptr && pApp->m_pMainWnd != nullptr && IsWindowVisible(pApp->m_pMainWnd->m_hWnd))
        hWndOwner = pApp->m_pMainWnd->m_hWnd;
    return MessageBoxA(hWndOwner, lpszText, pszCaption, nType);
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    (void)hPrevInstance;
    AFX_MODULE_STATE* pState = AfxGetModuleState();
    pState->m_hCurrentInstanceHandle = hInstance;
    pState->m_hCurrentResourceHandle = hInstance;

    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->m_nCmdShow = nCmdShow;

    if (!pApp->InitInstance())
    {
        if (pApp->m_pMainWnd != nullptr && IsWindow(pApp->m_pMainWnd->m_hWnd))
            pApp->m_pMainWnd->DestroyWindow();
        return pApp->ExitInstance();
    }
    return pApp->Run();
}

// ---- The application -------------------------------------------------------

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName)
    : m_pszAppName(lpszAppName),
      m_hInstance(nullptr),
      m_lpCmdLine(nullptr),
      m_nCmdShow(SW_SHOWDEFAULT),
      m_pMainWnd(nullptr),
      m_msgCur()
{
    AfxGetModuleState()->m_pCurrentWinApp = this;
}

CWinApp::~CWinApp()
{
    AFX_MODULE_STATE* pState = AfxGetModuleState();
    if (pState->m_pCurrentWinApp == this)
        pState->m_pCurrentWinApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    while (PumpMessage())
    {
    }
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return static_cast<int>(m_msgCur.wParam);
}

BOOL CWinApp::PumpMessage()
{
    if (GetMessageA(&m_msgCur, nullptr, 0, 0) <= 0)
        return FALSE;
    if (!PreTranslateMessage(&m_msgCur))
    {
        TranslateMessage(&m_msgCur);
        DispatchMessageA(&m_msgCur);
    }
    return TRUE;
}

// Dialog keys (Enter, Esc, Tab) are the dialog manager's business, also when
// the message is pumped from outside the dialog's own loop.
BOOL CWinApp::PreTranslateMessage(MSG* pMsg)
{
    if (m_pMainWnd != nullptr && m_pMainWnd->m_hWnd != nullptr && IsWindow(m_pMainWnd->m_hWnd))
        return IsDialogMessageA(m_pMainWnd->m_hWnd, pMsg);
    return FALSE;
}

// The look of the controls is the system's; nothing to switch on any more.
BOOL CWinApp::Enable3dControls()
{
    return TRUE;
}

// The tool ships no help file; the command is accepted and does nothing.
void CWinApp::OnHelp() {}

// ---- Windows ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd()
{
    if (m_hWnd != nullptr && m_pfnSuper != nullptr && IsWindow(m_hWnd))
        UnsubclassWindow();
}

namespace {
// The framework is the window's owner, so the owner's data slot holds the
// object that handles the window's messages.
const int kObjectSlot = GWLP_USERDATA;
}  // namespace

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return reinterpret_cast<CWnd*>(GetWindowLongPtrA(hWnd, kObjectSlot));
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    m_hWnd = hWnd;
    SetWindowLongPtrA(hWnd, kObjectSlot, reinterpret_cast<LONG_PTR>(this));
    m_pfnSuper =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
    return m_pfnSuper != nullptr;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hWnd = m_hWnd;
    if (m_pfnSuper != nullptr)
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    SetWindowLongPtrA(hWnd, kObjectSlot, 0);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return hWnd;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    MSG msg = {};
    msg.hwnd = hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    const MSG* pPrevious = pWnd->m_pCurrentMsg;
    pWnd->m_pCurrentMsg = &msg;
    LRESULT lResult = pWnd->WindowProc(message, wParam, lParam);
    pWnd->m_pCurrentMsg = pPrevious;

    // The window is gone after WM_NCDESTROY; the object may outlive it.
    if (message == WM_NCDESTROY)
        pWnd->UnsubclassWindow();
    return lResult;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && OnCommand(wParam, lParam))
        return 0;
    if (message != WM_COMMAND)
    {
        if (const AFX_MSGMAP_ENTRY* pEntry = FindMessageEntry(GetMessageMap(), message, 0))
            return pEntry->pfn(this, wParam, lParam);
    }
    return DefWindowProc(message, wParam, lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    return OnCmdMsg(LOWORD(wParam));
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    if (m_pCurrentMsg == nullptr)
        return 0;
    return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

// ---- Dialogs ---------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)),
      m_pParentWnd(pParentWnd),
      m_lpDialogTemplate(nullptr)
{
}

BOOL CDialog::IsPlacedByFramework(LPCVOID pTemplate)
{
    // The template's n-th WORD, whatever type its bytes were written as.
    const BYTE* pBytes = static_cast<const BYTE*>(pTemplate);
    auto WordAt = [pBytes](int n) {
        WORD w;
        memcpy(&w, pBytes + 2 * n, sizeof w);
        return w;
    };
    // The extended form opens with its version, 1, and 0xFFFF; the plain
    // one with its style.
    const bool bExtended = WordAt(0) == 1 && WordAt(1) == 0xFFFF;
    const int nStyle = bExtended ? 6 : 0;
    const int nX = bExtended ? 9 : 5;
    const DWORD dwStyle = MAKELONG(WordAt(nStyle), WordAt(nStyle + 1));
    const bool bAtOrigin = WordAt(nX) == 0 && WordAt(nX + 1) == 0;
    return bAtOrigin && (dwStyle & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0;
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hInst = AfxFindResourceHandle(m_lpszTemplateName, RT_DIALOG);
    HRSRC hResource = FindResourceA(hInst, m_lpszTemplateName, RT_DIALOG);
    HGLOBAL hTemplate = hResource ? LoadResource(hInst, hResource) : nullptr;
    LPCVOID pTemplate = hTemplate ? LockResource(hTemplate) : nullptr;

    INT_PTR nResult = -1;
    if (pTemplate != nullptr)
    {
        HWND hWndParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
        m_lpDialogTemplate = pTemplate;
        nResult = DialogBoxIndirectParamA(hInst, static_cast<LPCDLGTEMPLATEA>(pTemplate), hWndParent,
                                          &CDialog::AfxDlgProc, reinterpret_cast<LPARAM>(this));
        m_lpDialogTemplate = nullptr;
    }

    // The object usually lives on its caller's stack: whatever happened, the
    // application must not keep pointing at it once the run is over.
    CWinApp* pApp = AfxGetApp();
    if (pApp != nullptr && pApp->m_pMainWnd == this)
        pApp->m_pMainWnd = nullptr;
    m_hWnd = nullptr;
    return nResult;
}

namespace {

// Where the framework puts a dialog whose template leaves that to it, once
// OnInitDialog has had its say: centred as the dialog manager centres a
// DS_CENTER dialog, unless the handler moved it. Still hidden then, so it
// never shows where it was made.
void PlaceUnlessMoved(HWND hWnd, const RECT& rcMade)
{
#ifdef _WIN32
    RECT rc;
    if (!GetWindowRect(hWnd, &rc) || rc.left != rcMade.left || rc.top != rcMade.top)
        return;
    HWND hOwner = GetWindow(hWnd, GW_OWNER);
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    if (!GetMonitorInfoA(MonitorFromWindow(hOwner != nullptr ? hOwner : hWnd, MONITOR_DEFAULTTONEAREST), &mi))
        return;
    // One larger than the work area keeps its caption on it.
    const RECT& rcWork = mi.rcWork;
    const int x = rcWork.left + (rcWork.right - rcWork.left - (rc.right - rc.left)) / 2;
    const int y = rcWork.top + (rcWork.bottom - rcWork.top - (rc.bottom - rc.top)) / 2;
    SetWindowPos(hWnd, nullptr, x > rcWork.left ? x : rcWork.left, y > rcWork.top ? y : rcWork.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
#else
    // Our dialog manager's displays centre every dialog themselves.
    (void)hWnd;
    (void)rcMade;
#endif
}

}  // namespace

// The dialog manager calls this before every message it handles itself. The
// object is attached at WM_INITDIALOG; from then on its message map sees the
// window's messages first, through the subclass.
INT_PTR CALLBACK CDialog::AfxDlgProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    if (message != WM_INITDIALOG)
        return FALSE;
    CDialog* pDialog = reinterpret_cast<CDialog*>(lParam);
    pDialog->SubclassWindow(hWnd);
    RECT rcMade = {};
    GetWindowRect(hWnd, &rcMade);
    const BOOL bResult = pDialog->OnInitDialog();
    if (pDialog->m_lpDialogTemplate != nullptr && IsPlacedByFramework(pDialog->m_lpDialogTemplate))
        PlaceUnlessMoved(hWnd, rcMade);
    return bResult;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange* pDX)
{
    (void)pDX;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

// Commands the dialog does not handle get a last chance at the application.
BOOL CDialog::OnCmdMsg(UINT nID)
{
    if (CWnd::OnCmdMsg(nID))
        return TRUE;
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nID);
}
