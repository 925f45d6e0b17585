// The connection and the windows: one X window per shown dialog and per control.
#include "display/X11Display.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "display/DisplayChoice.h"
#include "display/EndRequests.h"

namespace rmwin32 {
namespace {

const long kDialogEvents =
    ExposureMask | KeyPressMask | KeyReleaseMask | StructureNotifyMask | PropertyChangeMask | FocusChangeMask;
// Enter and leave: a button pressed with the pointer pops up while the
// pointer is off it, as the grab reports them to the pressed button's window.
const long kControlEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask | EnterWindowMask | LeaveWindowMask;

// Longer than any live server, local or over ssh, takes to answer.
const int kOpenMs = 5000;

CX11Display* g_pDisplay = nullptr;

// Whether a protocol error came for a request from the serial watched from.
unsigned long g_nWatchedFrom = 0;
bool g_bWatchedFailed = false;

// A protocol error is not fatal to a dialog: the request simply did nothing.
// A window that another client destroyed (a crashed window manager's, say)
// is expected; any other error is said once for its kind.
int OnProtocolError(::Display* pDisplay, XErrorEvent* pError)
{
    if (g_nWatchedFrom != 0 && pError->serial >= g_nWatchedFrom)
        g_bWatchedFailed = true;
    if (pError->error_code == BadWindow || pError->error_code == BadDrawable)
        return 0;
    static bool s_bSaid[256];
    if (!s_bSaid[pError->error_code])
    {
        s_bSaid[pError->error_code] = true;
        char szText[128] = {};
        XGetErrorText(pDisplay, pError->error_code, szText, sizeof szText);
        std::fprintf(stderr, "RemoteMonitor: the X server refused a request (%s, request %d).\n", szText,
                     pError->request_code);
    }
    return 0;
}

// Said once, by OnConnectionLost, whichever way the loss is noticed.
int IgnoreLostConnection(::Display*)
{
    return 0;
}

// Xlib's own exit here would skip the tool's shut-down (the poller's stop,
// the driver's UnInit). Returning is allowed: the connection is then dead
// and every later Xlib call on it returns at once.
void KeepRunningWithoutServer(::Display*, void*)
{
    if (g_pDisplay != nullptr)
        g_pDisplay->OnConnectionLost();
}

// Our texts are ANSI, which for the characters they use is Latin-1.
std::string Utf8FromLatin1(const std::string& text)
{
    std::string utf8;
    for (unsigned char ch : text)
    {
        if (ch < 0x80)
        {
            utf8 += static_cast<char>(ch);
        }
        else
        {
            utf8 += static_cast<char>(0xC0 | (ch >> 6));
            utf8 += static_cast<char>(0x80 | (ch & 0x3F));
        }
    }
    return utf8;
}

}  // namespace

CX11Display::CX11Display(::Display* pDisplay, const CDialogFont& font)
    : m_pDisplay(pDisplay),
      m_nScreen(DefaultScreen(pDisplay)),
      m_pVisual(DefaultVisual(pDisplay, m_nScreen)),
      m_colormap(DefaultColormap(pDisplay, m_nScreen)),
      m_font(font),
      m_baseUnits(DialogBaseUnits(pDisplay, font))
{
    static const unsigned long kRgb[kFaceColourCount] = {0xC0C0C0, 0xFFFFFF, 0xDFDFDF, 0x808080, 0x000000, 0x000000};
    for (int i = 0; i < kFaceColourCount; ++i)
    {
        XRenderColor colour;
        colour.red = static_cast<unsigned short>(((kRgb[i] >> 16) & 0xFF) * 0x101);
        colour.green = static_cast<unsigned short>(((kRgb[i] >> 8) & 0xFF) * 0x101);
        colour.blue = static_cast<unsigned short>((kRgb[i] & 0xFF) * 0x101);
        colour.alpha = 0xFFFF;
        XftColorAllocValue(m_pDisplay, m_pVisual, m_colormap, &colour, &m_colours[i]);
    }
    if (m_font.pCore != nullptr)
    {
        XGCValues values;
        values.font = m_font.pCore->fid;
        values.foreground = m_colours[kText].pixel;
        m_coreTextGc = XCreateGC(m_pDisplay, RootWindow(m_pDisplay, m_nScreen), GCFont | GCForeground, &values);
    }
    XGCValues copyValues;
    copyValues.graphics_exposures = False;
    m_copyGc = XCreateGC(m_pDisplay, RootWindow(m_pDisplay, m_nScreen), GCGraphicsExposures, &copyValues);
    m_atomProtocols = XInternAtom(m_pDisplay, "WM_PROTOCOLS", False);
    m_atomDeleteWindow = XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False);
    m_atomWmState = XInternAtom(m_pDisplay, "WM_STATE", False);
    m_atomNetWmName = XInternAtom(m_pDisplay, "_NET_WM_NAME", False);
    m_atomNetWmIcon = XInternAtom(m_pDisplay, "_NET_WM_ICON", False);
    m_atomNetWmPid = XInternAtom(m_pDisplay, "_NET_WM_PID", False);
    m_atomUtf8 = XInternAtom(m_pDisplay, "UTF8_STRING", False);
}

int CX11Display::GetSystemMetric(int nIndex) const
{
    if (m_bLost)
        return Metric(nIndex, 0, 0);
    return Metric(nIndex, DisplayWidth(m_pDisplay, m_nScreen), DisplayHeight(m_pDisplay, m_nScreen));
}

void CX11Display::OnConnectionLost()
{
    if (m_bLost)
        return;
    if (ConnectionCutByWatch())
        std::fprintf(stderr, "RemoteMonitor: the X server does not answer; ending without it.\n");
    else
        std::fprintf(stderr, "RemoteMonitor: the connection to the X server was lost.\n");
    m_bLost = true;
    // What Xft holds for the windows is kept, not freed: freeing it would
    // talk to a server that is gone.
    for (const auto& entry : m_windows)
    {
        m_lostDraws.push_back(entry.second.pDraw);
        m_lostDraws.push_back(entry.second.pBackDraw);
    }
    m_windows.clear();
    m_byXid.clear();
    m_hPressed = nullptr;
    CloseTopDialog();
}

HWND CX11Display::FindHwnd(Window xid) const
{
    auto it = m_byXid.find(xid);
    return it == m_byXid.end() ? nullptr : it->second;
}

CX11Display::CXWindow* CX11Display::FindXWindow(HWND hWnd)
{
    auto it = m_windows.find(hWnd);
    return it == m_windows.end() ? nullptr : &it->second;
}

void CX11Display::SetTitle(Window xid, const std::string& text)
{
    XStoreName(m_pDisplay, xid, text.c_str());
    const std::string utf8 = Utf8FromLatin1(text);
    XChangeProperty(m_pDisplay, xid, m_atomNetWmName, m_atomUtf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), static_cast<int>(utf8.size()));
}

// A fixed size the window manager is asked to keep, and our place for it.
void CX11Display::SetDialogHints(const CXWindow& window, int cx, int cy, int x, int y)
{
    const Window xid = window.xid;
    XSizeHints* pSize = XAllocSizeHints();
    XWMHints* pWm = XAllocWMHints();
    XClassHint* pClass = XAllocClassHint();
    if (pSize != nullptr && pWm != nullptr && pClass != nullptr)
    {
        pSize->flags = PPosition | PSize | PMinSize | PMaxSize;
        pSize->x = x;
        pSize->y = y;
        pSize->width = pSize->min_width = pSize->max_width = cx;
        pSize->height = pSize->min_height = pSize->max_height = cy;
        pWm->flags = InputHint | StateHint;
        pWm->input = True;
        pWm->initial_state = NormalState;
        if (window.iconPixmap != None && window.iconMask != None)
        {
            pWm->flags |= IconPixmapHint | IconMaskHint;
            pWm->icon_pixmap = window.iconPixmap;
            pWm->icon_mask = window.iconMask;
        }
        static char s_szName[] = "remotemonitor";
        static char s_szClass[] = "RemoteMonitor";
        pClass->res_name = s_szName;
        pClass->res_class = s_szClass;
        XSetWMProperties(m_pDisplay, xid, nullptr, nullptr, nullptr, 0, pSize, pWm, pClass);
    }
    XFree(pSize);
    XFree(pWm);
    XFree(pClass);
    XSetWMProtocols(m_pDisplay, xid, &m_atomDeleteWindow, 1);
    const long nPid = static_cast<long>(getpid());
    XChangeProperty(m_pDisplay, xid, m_atomNetWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&nPid), 1);
}

void CX11Display::CreateControlWindow(HWND hCtl, Window parent)
{
    RECT rc;
    GetWindowRect(hCtl, &rc);
    XSetWindowAttributes attributes;
    attributes.background_pixel = m_colours[kFace].pixel;
    attributes.event_mask = kControlEvents;
    const Window xid =
        XCreateWindow(m_pDisplay, parent, rc.left, rc.top, static_cast<unsigned>(std::max<LONG>(1, rc.right - rc.left)),
                      static_cast<unsigned>(std::max<LONG>(1, rc.bottom - rc.top)), 0, CopyFromParent, InputOutput,
                      m_pVisual, CWBackPixel | CWEventMask, &attributes);
    CXWindow& window = m_windows[hCtl];
    window.xid = xid;
    window.pDraw = XftDrawCreate(m_pDisplay, xid, m_pVisual, m_colormap);
    window.back = XCreatePixmap(m_pDisplay, xid, static_cast<unsigned>(std::max<LONG>(1, rc.right - rc.left)),
                                static_cast<unsigned>(std::max<LONG>(1, rc.bottom - rc.top)),
                                static_cast<unsigned>(DefaultDepth(m_pDisplay, m_nScreen)));
    window.pBackDraw = XftDrawCreate(m_pDisplay, window.back, m_pVisual, m_colormap);
    m_byXid[xid] = hCtl;
    PublishText(window, WindowText(hCtl));
    if (GetWindowLongPtrA(hCtl, GWL_STYLE) & WS_VISIBLE)
        XMapWindow(m_pDisplay, xid);
}

void CX11Display::CreateDialogWindow(HWND hDlg)
{
    RECT rc;
    GetClientRect(hDlg, &rc);
    const int cx = std::max(1, static_cast<int>(rc.right));
    const int cy = std::max(1, static_cast<int>(rc.bottom));
    const RECT monitor = DialogMonitor(m_pDisplay, m_nScreen);
    const int x = std::max(static_cast<int>(monitor.left), static_cast<int>(monitor.left + monitor.right - cx) / 2);
    const int y = std::max(static_cast<int>(monitor.top), static_cast<int>(monitor.top + monitor.bottom - cy) / 2);
    XSetWindowAttributes attributes;
    attributes.background_pixel = m_colours[kFace].pixel;
    attributes.border_pixel = 0;
    attributes.event_mask = kDialogEvents;
    const Window xid = XCreateWindow(m_pDisplay, RootWindow(m_pDisplay, m_nScreen), x, y, static_cast<unsigned>(cx),
                                     static_cast<unsigned>(cy), 0, CopyFromParent, InputOutput, m_pVisual,
                                     CWBackPixel | CWBorderPixel | CWEventMask, &attributes);
    CXWindow& window = m_windows[hDlg];
    window.xid = xid;
    window.pDraw = XftDrawCreate(m_pDisplay, xid, m_pVisual, m_colormap);
    m_byXid[xid] = hDlg;
    CreateIconPixmaps(hDlg, window);
    SetDialogHints(window, cx, cy, x, y);
    SetTitle(xid, WindowText(hDlg));
    SetIconProperty(xid, hDlg);
    // A message box stays with the dialog that asked for it.
    if (CXWindow* pOwner = FindXWindow(GetWindow(hDlg, GW_OWNER)))
        XSetTransientForHint(m_pDisplay, xid, pOwner->xid);
    for (HWND hCtl = GetWindow(hDlg, GW_CHILD); hCtl != nullptr; hCtl = GetWindow(hCtl, GW_HWNDNEXT))
        CreateControlWindow(hCtl, xid);
}

void CX11Display::ForgetWindows(HWND hDlg)
{
    std::vector<HWND> owned = {hDlg};
    for (HWND hCtl = GetWindow(hDlg, GW_CHILD); hCtl != nullptr; hCtl = GetWindow(hCtl, GW_HWNDNEXT))
        owned.push_back(hCtl);
    for (HWND hWnd : owned)
    {
        if (CXWindow* pWindow = FindXWindow(hWnd))
        {
            XftDrawDestroy(pWindow->pDraw);
            if (pWindow->pBackDraw != nullptr)
                XftDrawDestroy(pWindow->pBackDraw);
            for (Pixmap pixmap : {pWindow->back, pWindow->iconPixmap, pWindow->iconMask})
            {
                if (pixmap != None)
                    XFreePixmap(m_pDisplay, pixmap);
            }
            m_byXid.erase(pWindow->xid);
            m_windows.erase(hWnd);
        }
        if (m_hPressed == hWnd)
            m_hPressed = nullptr;
    }
}

void CX11Display::DestroyWindows(HWND hDlg)
{
    CXWindow* pDialog = FindXWindow(hDlg);
    if (pDialog == nullptr)
        return;
    const Window xid = pDialog->xid;
    ForgetWindows(hDlg);
    // The controls' windows go with it.
    XDestroyWindow(m_pDisplay, xid);
    XFlush(m_pDisplay);
}

void CX11Display::AttachDialog(HWND hDlg)
{
    CStackedDisplay::AttachDialog(hDlg);
    if (m_bLost)
    {
        // Nobody can see it, so nobody could answer it.
        CloseTopDialog();
        return;
    }
    // A window the server did not make would leave a dialog nobody sees
    // and nobody can answer: it closes instead, as its close box would.
    g_bWatchedFailed = false;
    g_nWatchedFrom = NextRequest(m_pDisplay);
    CreateDialogWindow(hDlg);
    XSync(m_pDisplay, False);
    g_nWatchedFrom = 0;
    if (g_bWatchedFailed && !m_bLost)
    {
        std::fprintf(stderr, "RemoteMonitor: the X server could not make the window of \"%s\".\n",
                     WindowText(hDlg).c_str());
        DestroyWindows(hDlg);
        CloseTopDialog();
    }
}

void CX11Display::OnFirstDialog()
{
    SetDialogsShown(true);
}

void CX11Display::OnLastDialog()
{
    SetDialogsShown(false);
}

void CX11Display::DetachDialog(HWND hDlg)
{
    if (!m_bLost)
        DestroyWindows(hDlg);
    CStackedDisplay::DetachDialog(hDlg);
}

// A control repaints on its own: its window is not its dialog's.
void CX11Display::InvalidateControl(HWND hCtl)
{
    InvalidateRect(hCtl, nullptr, FALSE);
}

void CX11Display::Paint(HWND hWnd)
{
    if (m_bLost)
        return;
    CXWindow* pWindow = FindXWindow(hWnd);
    if (pWindow == nullptr)
        return;
    RECT rc;
    GetClientRect(hWnd, &rc);
    if (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD)
    {
        // Drawn whole off the screen and copied at once, so that a field
        // that changes every poll never shows its background alone.
        XftDraw* pDraw = pWindow->pBackDraw != nullptr ? pWindow->pBackDraw : pWindow->pDraw;
        if (IsButton(hWnd))
            DrawButton(hWnd, pDraw, rc.right, rc.bottom);
        else
            DrawStatic(hWnd, pDraw, rc.right, rc.bottom);
        if (pWindow->pBackDraw != nullptr)
            XCopyArea(m_pDisplay, pWindow->back, pWindow->xid, m_copyGc, 0, 0, static_cast<unsigned>(rc.right),
                      static_cast<unsigned>(rc.bottom), 0, 0);
        // Published once drawn, so that whoever reads it sees what is shown.
        PublishText(*pWindow, WindowText(hWnd));
        return;
    }
    if (!pWindow->bMapped && IsWindowVisible(hWnd))
    {
        XMapRaised(m_pDisplay, pWindow->xid);
        pWindow->bMapped = true;
    }
    DrawDialog(hWnd, *pWindow);
}

CDisplay* OpenX11Display()
{
    const char* pszDisplay = std::getenv("DISPLAY");
    // Tried once: a server that did not answer is not waited for again.
    static bool s_bTried = false;
    if (pszDisplay == nullptr || *pszDisplay == '\0' || s_bTried)
        return nullptr;
    s_bTried = true;
    InstallEndRequestHandlers();
    XSetErrorHandler(&OnProtocolError);
    ::Display* pDisplay = OpenConnectionWithin(kOpenMs);
    if (pDisplay == nullptr)
        return nullptr;
    XSetIOErrorHandler(&IgnoreLostConnection);
    XSetIOErrorExitHandler(pDisplay, &KeepRunningWithoutServer, nullptr);
    // A held key then repeats its press alone: Space acts on its release,
    // which must be the real one.
    XkbSetDetectableAutoRepeat(pDisplay, True, nullptr);
    CDialogFont font;
    if (!OpenDialogFont(pDisplay, DefaultScreen(pDisplay), &font))
    {
        XCloseDisplay(pDisplay);
        return nullptr;
    }
    // Never destroyed, as the connection is never closed: windows may still
    // be painted while the process ends.
    g_pDisplay = new CX11Display(pDisplay, font);
    WatchConnection(ConnectionNumber(pDisplay));
    return g_pDisplay;
}

}  // namespace rmwin32
