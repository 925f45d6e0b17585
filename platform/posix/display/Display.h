// The one place dialogs are shown. The dialog manager and its controls know
// only this interface; the terminal, the line output and any other screen are
// implementations of it, chosen once, on first use, for the whole process.
// Not part of the Win32 API.
//
// Errors: the display has no error channel of its own. A display that cannot
// draw falls back to the next one when it is chosen; afterwards its entries
// do what they can and never fail.
#ifndef REMOTEMONITOR_DISPLAY_H
#define REMOTEMONITOR_DISPLAY_H

#include <windows.h>

#include <string>
#include <vector>

namespace rmwin32 {

class CDisplay
{
public:
    virtual ~CDisplay() = default;

    // False where nothing is drawn: value fields then report each change as
    // a line and a message box prints its text.
    virtual bool HasScreen() const = 0;

    // The dialog base units in window coordinates: a dialog unit is a
    // quarter of cx across and an eighth of cy down.
    virtual SIZE GetBaseUnits() const = 0;

    // GetSystemMetrics for the screen this display draws on.
    virtual int GetSystemMetric(int nIndex) const = 0;

    // A top-level dialog is about to be shown, or has ended. While any is
    // attached, the calling thread's message wait covers the display's input.
    virtual void AttachDialog(HWND hDlg) = 0;
    virtual void DetachDialog(HWND hDlg) = 0;

    // A control's look changed (its text, the focus, the default frame).
    virtual void InvalidateControl(HWND hCtl) = 0;

    // Draws a dialog or one of its controls, from within its WM_PAINT.
    virtual void Paint(HWND hWnd) = 0;

    virtual BOOL DrawIcon(HDC hDC, int x, int y, HICON hIcon) = 0;

    // Blocks the dialog thread until nWakeFd is readable or the display has
    // posted input messages of its own.
    virtual void WaitForInput(int nWakeFd) = 0;

    // A value field's text changed to text.
    virtual void ReportFieldText(HWND hField, const std::string& text) = 0;

    // A message box's text where there is no screen to show the box on.
    virtual void PrintMessage(const std::string& text) = 0;
};

// The display of this process. Chosen on first use: the one named by
// REMOTEMONITOR_DISPLAY when it can be opened, else the first of the
// displays that opens, in order of preference; the line output always does.
CDisplay& Display();

// What every display needs to know of a control: whether it is a push button
// (else it is drawn as a static control), and its text as one entry per line.
bool IsButton(HWND hWnd);
std::string WindowText(HWND hWnd);
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace rmwin32

#endif
