// The connection, the windows, their events and the dialog thread's wait.
#include "display/X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/socket.h>
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
const long kControlEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask;
const long kIconicState = 3;  // ICCCM's WM_STATE

CX11Display* g_pDisplay = nullptr;

// Protocol errors (a window that another client destroyed, say) are not
// fatal to a dialog: the request simply did nothing.
int IgnoreProtocolError(::Display*, XErrorEvent*)
{
    return 0;
}

int ReportLostConnection(::Display*)
{
    std::fprintf(stderr, "RemoteMonitor: the connection to the X server was lost.\n");
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

LONG_PTR StyleOf(HWND hWnd)
{
    return GetWindowLongPtrA(hWnd, GWL_STYLE);
}

}  // namespace

CX11Display::CX11Display(::Display* pDisplay, XftFont* pFont)
    : m_pDisplay(pDisplay),
      m_nScreen(DefaultScreen(pDisplay)),
      m_pVisual(DefaultVisual(pDisplay, m_nScreen)),
      m_colormap(DefaultColormap(pDisplay, m_nScreen)),
      m_pFont(pFont),
      m_baseUnits(DialogBaseUnits(pDisplay, pFont))
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
    m_bLost = true;
    // What Xft holds for the windows is kept, not freed: freeing it would
    // talk to a server that is gone.
    for (const auto& entry : m_windows)
        m_lostDraws.push_back(entry.second.pDraw);
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
void CX11Display::SetDialogHints(Window xid, int cx, int cy, int x, int y)
{
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
    m_byXid[xid] = hCtl;
    PublishText(window, WindowText(hCtl));
    if (StyleOf(hCtl) & WS_VISIBLE)
        XMapWindow(m_pDisplay, xid);
}

void CX11Display::CreateDialogWindow(HWND hDlg)
{
    RECT rc;
    GetClientRect(hDlg, &rc);
    const int cx = std::max(1, static_cast<int>(rc.right));
    const int cy = std::max(1, static_cast<int>(rc.bottom));
    const int x = std::max(0, (DisplayWidth(m_pDisplay, m_nScreen) - cx) / 2);
    const int y = std::max(0, (DisplayHeight(m_pDisplay, m_nScreen) - cy) / 2);
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
    SetDialogHints(xid, cx, cy, x, y);
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
    CreateDialogWindow(hDlg);
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
    if (StyleOf(hWnd) & WS_CHILD)
    {
        if (IsButton(hWnd))
            DrawButton(hWnd, *pWindow, rc.right, rc.bottom);
        else
            DrawStatic(hWnd, *pWindow, rc.right, rc.bottom);
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

// Without a window manager nobody gives a new window the keyboard; the
// dialog takes it, as a dialog that comes up on Windows does.
void CX11Display::FocusIfUnmanaged(Window xid)
{
    const Atom atomCheck = XInternAtom(m_pDisplay, "_NET_SUPPORTING_WM_CHECK", True);
    bool bManaged = false;
    if (atomCheck != None)
    {
        Atom type = None;
        int nFormat = 0;
        unsigned long nItems = 0, nAfter = 0;
        unsigned char* pData = nullptr;
        if (XGetWindowProperty(m_pDisplay, RootWindow(m_pDisplay, m_nScreen), atomCheck, 0, 1, False, XA_WINDOW, &type,
                               &nFormat, &nItems, &nAfter, &pData) == Success)
        {
            bManaged = nItems > 0;
            XFree(pData);
        }
    }
    if (!bManaged)
        XSetInputFocus(m_pDisplay, xid, RevertToPointerRoot, CurrentTime);
}

// Iconified by the window manager: IsIconic answers so, the dialog is
// painted the way a minimized one is, and its controls are put away.
void CX11Display::OnStateChange(Window xid, HWND hDlg)
{
    Atom type = None;
    int nFormat = 0;
    unsigned long nItems = 0, nAfter = 0;
    unsigned char* pData = nullptr;
    bool bIconic = false;
    if (XGetWindowProperty(m_pDisplay, xid, m_atomWmState, 0, 2, False, AnyPropertyType, &type, &nFormat, &nItems,
                           &nAfter, &pData) == Success)
    {
        if (pData != nullptr && nFormat == 32 && nItems >= 1)
            bIconic = reinterpret_cast<long*>(pData)[0] == kIconicState;
        XFree(pData);
    }
    if (m_bLost || bIconic == (IsIconic(hDlg) != FALSE))
        return;
    const LONG_PTR style = StyleOf(hDlg);
    SetWindowLongPtrA(hDlg, GWL_STYLE, bIconic ? style | WS_MINIMIZE : style & ~static_cast<LONG_PTR>(WS_MINIMIZE));
    if (bIconic)
        XUnmapSubwindows(m_pDisplay, xid);
    else
        XMapSubwindows(m_pDisplay, xid);
    InvalidateRect(hDlg, nullptr, TRUE);
}

void CX11Display::OnButton(const XButtonEvent& event, HWND hWnd)
{
    if (event.button != Button1)
        return;
    if (event.type == ButtonPress)
    {
        // Only the top dialog answers, as only it runs its loop.
        if (!IsButton(hWnd) || GetParent(hWnd) != TopDialog() || (StyleOf(hWnd) & WS_DISABLED))
            return;
        m_hPressed = hWnd;
        m_bPressedInside = true;
        InvalidateRect(hWnd, nullptr, FALSE);
        return;
    }
    HWND hPressed = m_hPressed;
    if (hPressed == nullptr)
        return;
    m_hPressed = nullptr;
    InvalidateRect(hPressed, nullptr, FALSE);
    // The pointer is grabbed from the press on, so the release comes to the
    // pressed button's window wherever it is.
    RECT rc;
    GetClientRect(hPressed, &rc);
    if (hWnd == hPressed && event.x >= 0 && event.y >= 0 && event.x < rc.right && event.y < rc.bottom)
    {
        SetFocus(hPressed);
        PostMessageA(hPressed, BM_CLICK, 0, 0);
    }
}

void CX11Display::OnKey(XKeyEvent event)
{
    char szChars[8] = {};
    KeySym keysym = NoSymbol;
    const int nChars = XLookupString(&event, szChars, sizeof szChars, &keysym, nullptr);
    int nVirtKey = 0;
    int nChar = 0;
    switch (keysym)
    {
    case XK_Shift_L:
    case XK_Shift_R:
        nVirtKey = VK_SHIFT;
        break;
    case XK_Return:
    case XK_KP_Enter:
        nVirtKey = VK_RETURN;
        nChar = '\r';
        break;
    case XK_space:
    case XK_KP_Space:
        nVirtKey = VK_SPACE;
        nChar = ' ';
        break;
    case XK_Escape:
        nVirtKey = VK_ESCAPE;
        nChar = 27;
        break;
    case XK_Tab:
    case XK_ISO_Left_Tab:  // Tab with Shift held
        nVirtKey = VK_TAB;
        nChar = '\t';
        break;
    default:
        nChar = nChars == 1 ? static_cast<unsigned char>(szChars[0]) : 0;
        break;
    }
    if (event.type == KeyPress)
        PostKeyDown(nVirtKey, nChar);
    else if (nVirtKey != 0)
        PostKeyUp(nVirtKey);
}

void CX11Display::OnEvent(const XEvent& event)
{
    const HWND hWnd = FindHwnd(event.xany.window);
    if (hWnd == nullptr)
        return;
    switch (event.type)
    {
    case Expose:
        if (event.xexpose.count == 0)
            InvalidateRect(hWnd, nullptr, TRUE);
        break;
    case ButtonPress:
    case ButtonRelease:
        OnButton(event.xbutton, hWnd);
        break;
    case KeyPress:
    case KeyRelease:
        OnKey(event.xkey);
        break;
    case ClientMessage:
        if (event.xclient.message_type == m_atomProtocols && event.xclient.format == 32 &&
            static_cast<Atom>(event.xclient.data.l[0]) == m_atomDeleteWindow)
        {
            // The close box.
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
        }
        break;
    case MapNotify:
        FocusIfUnmanaged(event.xmap.window);
        OnStateChange(event.xmap.window, hWnd);
        break;
    case UnmapNotify:
        OnStateChange(event.xunmap.window, hWnd);
        break;
    case DestroyNotify:
        // Destroyed by another client (ours are forgotten before they go):
        // nothing is left to show the dialog on, so it closes.
        if (event.xdestroywindow.window == event.xdestroywindow.event && !(StyleOf(hWnd) & WS_CHILD))
        {
            ForgetWindows(hWnd);
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
        }
        break;
    case PropertyNotify:
        if (event.xproperty.atom == m_atomWmState)
            OnStateChange(event.xproperty.window, hWnd);
        break;
    default:
        break;
    }
}

void CX11Display::ReadEvents()
{
    while (!m_bLost && XPending(m_pDisplay) > 0)
    {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        if (!m_bLost)
            OnEvent(event);
    }
}

void CX11Display::WaitForInput(int nWakeFd)
{
    if (!m_bLost)
    {
        XFlush(m_pDisplay);
        // Events Xlib has read already are not on the socket any more.
        if (!m_bLost && XQLength(m_pDisplay) > 0)
        {
            ReadEvents();
            return;
        }
    }
    struct pollfd fds[3];
    nfds_t nFds = 0;
    fds[nFds++] = {nWakeFd, POLLIN, 0};
    const int nSignalFd = EndRequestFd();
    const nfds_t nSignalAt = nFds;
    if (nSignalFd >= 0)
        fds[nFds++] = {nSignalFd, POLLIN, 0};
    const nfds_t nServerAt = nFds;
    if (!m_bLost)
        fds[nFds++] = {ConnectionNumber(m_pDisplay), POLLIN, 0};

    if (poll(fds, nFds, -1) <= 0)
        return;
    if (nSignalFd >= 0 && (fds[nSignalAt].revents & POLLIN))
        ServiceEndRequests();
    if (nServerAt < nFds && fds[nServerAt].revents != 0)
    {
        // A server that has gone is seen here first, while nothing of Xlib's
        // is under way; Xlib's own handler is left for a loss in mid-call.
        char byte;
        if (recv(fds[nServerAt].fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
        {
            ReportLostConnection(m_pDisplay);
            OnConnectionLost();
            return;
        }
        ReadEvents();
    }
}

CDisplay* OpenX11Display()
{
    const char* pszDisplay = std::getenv("DISPLAY");
    if (pszDisplay == nullptr || *pszDisplay == '\0')
        return nullptr;
    InstallEndRequestHandlers();
    XSetErrorHandler(&IgnoreProtocolError);
    ::Display* pDisplay = XOpenDisplay(nullptr);
    if (pDisplay == nullptr)
        return nullptr;
    XSetIOErrorHandler(&ReportLostConnection);
    XSetIOErrorExitHandler(pDisplay, &KeepRunningWithoutServer, nullptr);
    XftFont* pFont = OpenDialogFont(pDisplay, DefaultScreen(pDisplay));
    if (pFont == nullptr)
    {
        XCloseDisplay(pDisplay);
        return nullptr;
    }
    // Never destroyed, as the connection is never closed: windows may still
    // be painted while the process ends.
    g_pDisplay = new CX11Display(pDisplay, pFont);
    return g_pDisplay;
}

}  // namespace rmwin32
