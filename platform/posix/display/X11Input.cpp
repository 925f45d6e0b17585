// The X display's input: events from the server turned into the keys,
// clicks and closes of a dialog, and the dialog thread's one wait.
#include "display/X11Display.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <sys/socket.h>

#include "display/EndRequests.h"

namespace rmwin32 {
namespace {

const long kIconicState = 3;  // ICCCM's WM_STATE

}  // namespace

// The first 32-bit item of a window's property; false where there is none,
// or the window is gone (the request fails, its error is expected).
bool CX11Display::ReadFirstLong(Window xid, Atom property, Atom type, long* pValue)
{
    Atom actualType = None;
    int nFormat = 0;
    unsigned long nItems = 0, nAfter = 0;
    unsigned char* pData = nullptr;
    bool bRead = false;
    if (XGetWindowProperty(m_pDisplay, xid, property, 0, 1, False, type, &actualType, &nFormat, &nItems, &nAfter,
                           &pData) == Success)
    {
        bRead = pData != nullptr && nFormat == 32 && nItems >= 1;
        if (bRead)
            *pValue = reinterpret_cast<long*>(pData)[0];
        XFree(pData);
    }
    return bRead;
}

// The window a _NET_SUPPORTING_WM_CHECK property names, or None.
Window CX11Display::CheckWindow(Window xid, Atom atomCheck)
{
    long nWindow = 0;
    return ReadFirstLong(xid, atomCheck, XA_WINDOW, &nWindow) ? static_cast<Window>(nWindow) : None;
}

// Without a window manager nobody gives a new window the keyboard; the
// dialog takes it, as a dialog that comes up on Windows does. A window
// manager that runs names a window of its own that names itself; one that
// crashed leaves the root's property naming a window that is gone.
void CX11Display::FocusIfUnmanaged(Window xid)
{
    const Atom atomCheck = XInternAtom(m_pDisplay, "_NET_SUPPORTING_WM_CHECK", True);
    bool bManaged = false;
    if (atomCheck != None)
    {
        const Window check = CheckWindow(RootWindow(m_pDisplay, m_nScreen), atomCheck);
        bManaged = check != None && CheckWindow(check, atomCheck) == check;
    }
    if (!bManaged)
        XSetInputFocus(m_pDisplay, xid, RevertToPointerRoot, CurrentTime);
}

// Iconified by the window manager: IsIconic answers so, the dialog is
// painted the way a minimized one is, and its controls are put away.
void CX11Display::OnStateChange(Window xid, HWND hDlg)
{
    long nState = 0;
    const bool bIconic = ReadFirstLong(xid, m_atomWmState, AnyPropertyType, &nState) && nState == kIconicState;
    if (m_bLost || bIconic == (IsIconic(hDlg) != FALSE))
        return;
    const LONG_PTR style = GetWindowLongPtrA(hDlg, GWL_STYLE);
    SetWindowLongPtrA(hDlg, GWL_STYLE, bIconic ? style | WS_MINIMIZE : style & ~static_cast<LONG_PTR>(WS_MINIMIZE));
    if (bIconic)
        XUnmapSubwindows(m_pDisplay, xid);
    else
        XMapSubwindows(m_pDisplay, xid);
    InvalidateRect(hDlg, nullptr, TRUE);
}

// As on Windows, an inactive dialog shows neither the focus rectangle nor
// the default button's frame. Grabs (a window manager's key bindings) and
// the pointer's focus change nothing.
void CX11Display::OnFocusChange(const XFocusChangeEvent& event, HWND hDlg)
{
    CXWindow* pWindow = FindXWindow(hDlg);
    if (pWindow == nullptr || event.mode == NotifyGrab || event.mode == NotifyUngrab || event.detail == NotifyPointer ||
        event.detail == NotifyInferior)
        return;
    const bool bActive = event.type == FocusIn;
    if (pWindow->bActive == bActive)
        return;
    pWindow->bActive = bActive;
    for (HWND hCtl = GetWindow(hDlg, GW_CHILD); hCtl != nullptr; hCtl = GetWindow(hCtl, GW_HWNDNEXT))
    {
        if (IsButton(hCtl))
            InvalidateRect(hCtl, nullptr, FALSE);
    }
}

void CX11Display::OnButton(const XButtonEvent& event, HWND hWnd)
{
    if (event.button != Button1)
        return;
    if (event.type == ButtonPress)
    {
        // Only the top dialog answers, as only it runs its loop.
        if (!IsButton(hWnd) || GetParent(hWnd) != TopDialog() || (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_DISABLED))
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
    case FocusIn:
    case FocusOut:
        if (!(GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD))
            OnFocusChange(event.xfocus, hWnd);
        break;
    case EnterNotify:
    case LeaveNotify:
        if (hWnd == m_hPressed && m_bPressedInside != (event.type == EnterNotify))
        {
            m_bPressedInside = event.type == EnterNotify;
            InvalidateRect(hWnd, nullptr, FALSE);
        }
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
        if (event.xdestroywindow.window == event.xdestroywindow.event &&
            !(GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD))
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
            OnConnectionLost();
            return;
        }
        ReadEvents();
    }
}

}  // namespace rmwin32
