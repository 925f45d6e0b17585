// What the parts of the dialog manager share: the window classes it
// registers, the modal loop, and the commands its keys and buttons send.
// Not part of the Win32 API.
//
// Errors: internal functions report failure by their result (false, nullptr,
// -1) and leave the last error alone; the Win32 entries set it.
#ifndef REMOTEMONITOR_DIALOG_MANAGER_H
#define REMOTEMONITOR_DIALOG_MANAGER_H

#include <windows.h>

namespace rmwin32 {

extern const char kDialogClass[];
extern const char kButtonClass[];
extern const char kStaticClass[];

// The dialog class and the two control classes the templates use.
void RegisterDialogClasses();

// A button's extra bytes: its state (BST_PUSHED and our own flags).
const int kButtonExtra = sizeof(LONG_PTR);

// A press of Space on the focused button, undone without a click: as Esc
// does while Space is held.
void CancelKeyPress(HWND hButton);

LONG_PTR Style(HWND hWnd);

// The dialog itself or one of its controls (a message box the dialog owns is
// not part of it).
bool IsOwnChild(HWND hDlg, HWND hWnd);

// WM_COMMAND with BN_CLICKED from the control wId, as a click on it sends.
void SendCommand(HWND hDlg, WORD wId);

// Dialog units to window coordinates, with the display's base units.
int DialogUnitsToX(int nUnits);
int DialogUnitsToY(int nUnits);

// From here on EndDialog works on the dialog, WM_INITDIALOG included.
void BeginModal(HWND hDlg);

// Shows the dialog, gives its first tab stop the focus when bSetFocus, and
// runs its loop until EndDialog; then destroys it. The dialog's result, or -1.
INT_PTR RunModal(HWND hDlg, BOOL bSetFocus);

}  // namespace rmwin32

#endif
