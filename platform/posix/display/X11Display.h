// Our dialogs as windows of an X server: one top-level X window per shown
// dialog and one child X window per control, so that a control repaints on
// its own and its text can be read from outside (WM_NAME), as another
// process reads a control's text on Windows. Text through Xft and fontconfig;
// the dialog thread waits in poll() on the connection, its queue's wake-up
// and the end-request pipe. What the X display's files share.
#ifndef REMOTEMONITOR_X11_DISPLAY_H
#define REMOTEMONITOR_X11_DISPLAY_H

#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <map>
#include <string>
#include <vector>

#include "display/StackedDisplay.h"

namespace rmwin32 {

// The classic 3D look's colours, as 0x00RRGGBB.
enum EFaceColour
{
    kFace,
    kHighlight,
    kLight,
    kShadow,
    kDarkShadow,
    kText,
    kFaceColourCount
};

// fontconfig's font through Xft, or where fontconfig has none, a core font
// of the server's: one of the two is set.
struct CDialogFont
{
    XftFont* pXft = nullptr;
    XFontStruct* pCore = nullptr;
};

class CX11Display : public CStackedDisplay
{
public:
    CX11Display(::Display* pDisplay, const CDialogFont& font);

    bool HasScreen() const override { return true; }
    SIZE GetBaseUnits() const override { return m_baseUnits; }
    int GetSystemMetric(int nIndex) const override;
    void AttachDialog(HWND hDlg) override;
    void DetachDialog(HWND hDlg) override;
    void InvalidateControl(HWND hCtl) override;
    void Paint(HWND hWnd) override;
    BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon) override;
    void WaitForInput(int nWakeFd) override;
    // The window on the screen says it all.
    void ReportFieldText(HWND, const std::string&) override {}
    void PrintMessage(const std::string&) override {}

    // From Xlib's handler of a broken connection: from here on Xlib is never
    // called again.
    void OnConnectionLost();

protected:
    void OnFirstDialog() override;
    void OnLastDialog() override;

private:
    struct CXWindow
    {
        Window xid = 0;
        XftDraw* pDraw = nullptr;
        std::string published;  // the text last set as its WM_NAME
        bool bPublished = false;
        bool bMapped = false;
        bool bActive = false;  // a dialog's: it has the keyboard focus
        Pixmap back = None;    // a control's: drawn whole here, then copied
        XftDraw* pBackDraw = nullptr;
        Pixmap iconPixmap = None;  // a dialog's WM_HINTS icon and its mask
        Pixmap iconMask = None;
    };

    // X11Display.cpp
    void CreateDialogWindow(HWND hDlg);
    void CreateControlWindow(HWND hCtl, Window parent);
    void ForgetWindows(HWND hDlg);
    void DestroyWindows(HWND hDlg);
    void SetTitle(Window xid, const std::string& text);
    void SetDialogHints(const CXWindow& window, int cx, int cy, int x, int y);
    HWND FindHwnd(Window xid) const;
    CXWindow* FindXWindow(HWND hWnd);

    // X11Input.cpp
    bool ReadFirstLong(Window xid, Atom property, Atom type, long* pValue);
    Window CheckWindow(Window xid, Atom atomCheck);
    void FocusIfUnmanaged(Window xid);
    void ReadEvents();
    void OnEvent(const XEvent& event);
    void OnButton(const XButtonEvent& event, HWND hWnd);
    void OnKey(XKeyEvent event);
    void OnStateChange(Window xid, HWND hDlg);
    void OnFocusChange(const XFocusChangeEvent& event, HWND hDlg);

    // X11Draw.cpp
    void DrawDialog(HWND hDlg, CXWindow& window);
    void DrawButton(HWND hCtl, XftDraw* pDraw, int cx, int cy);
    bool IsActive(HWND hDlg);
    void DrawStatic(HWND hCtl, XftDraw* pDraw, int cx, int cy);
    void Fill(XftDraw* pDraw, int x, int y, int cx, int cy, EFaceColour colour);
    void Frame(XftDraw* pDraw, int x, int y, int cx, int cy, EFaceColour topLeft, EFaceColour bottomRight);
    void DottedFrame(XftDraw* pDraw, int x, int y, int cx, int cy);
    void Text(XftDraw* pDraw, int x, int yTop, const std::string& text);
    int TextWidth(const std::string& text) const;
    void PublishText(CXWindow& window, const std::string& text);

    // X11Icon.cpp
    void SetIconProperty(Window xid, HWND hDlg);
    void CreateIconPixmaps(HWND hDlg, CXWindow& window);
    void DrawIconPixels(XftDraw* pDraw, int x, int y, HICON hIcon);

    ::Display* m_pDisplay;
    int m_nScreen;
    Visual* m_pVisual;
    Colormap m_colormap;
    CDialogFont m_font;
    GC m_coreTextGc = nullptr;  // for a core font's text
    GC m_copyGc = nullptr;      // for the copy of a control's back buffer
    SIZE m_baseUnits;
    XftColor m_colours[kFaceColourCount];
    Atom m_atomProtocols;
    Atom m_atomDeleteWindow;
    Atom m_atomWmState;
    Atom m_atomNetWmName;
    Atom m_atomNetWmIcon;
    Atom m_atomNetWmPid;
    Atom m_atomUtf8;
    std::map<HWND, CXWindow> m_windows;
    std::map<Window, HWND> m_byXid;
    std::vector<XftDraw*> m_lostDraws;
    HWND m_hPressed = nullptr;  // the button the pointer went down on
    bool m_bPressedInside = false;
    bool m_bLost = false;
};

// X11Connect.cpp: the connection to DISPLAY, or nullptr when the server has
// not answered within nMs or a request to end came first (it stays pending).
::Display* OpenConnectionWithin(int nMs);
// A thread of the display's own that nobody joins; false when the system
// would not make one (a limit on the user's processes). The display goes on
// without it: the tool says so itself, when its own worker cannot start.
bool StartDetachedThread(void* (*pfnMain)(void*), void* pArg);

// X11Watchdog.cpp: the shut-down of the connection when a request to end is
// not carried out within a grace while dialogs are shown, so that a dialog
// thread stuck in Xlib comes back as from a lost server.
void WatchConnection(int nConnectionFd);
void SetDialogsShown(bool bShown);
bool ConnectionCutByWatch();

// X11Monitor.cpp: the monitor a new dialog is centred on, in root window
// coordinates.
RECT DialogMonitor(::Display* pDisplay, int nScreen);

// X11Font.cpp: the font that stands in for "MS Sans Serif" 8, and the dialog
// base units Windows would compute from it. False, said on standard error,
// when there is none.
bool OpenDialogFont(::Display* pDisplay, int nScreen, CDialogFont* pFont);
int FontAscent(const CDialogFont& font);
int FontHeight(const CDialogFont& font);
int FontTextWidth(::Display* pDisplay, const CDialogFont& font, const std::string& text);
SIZE DialogBaseUnits(::Display* pDisplay, const CDialogFont& font);

}  // namespace rmwin32

#endif
