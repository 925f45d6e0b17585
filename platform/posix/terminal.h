// The terminal that our dialogs are shown on. Dialog units become character
// cells: a quarter of a cell across and an eighth down, through window
// coordinates of 8 x 16 per cell. With no terminal on both standard input and
// output the dialogs are not drawn; value fields print a line per change.
#ifndef REMOTEMONITOR_TERMINAL_H
#define REMOTEMONITOR_TERMINAL_H

#include <windows.h>

#include <string>
#include <vector>

namespace rmterm {

const int kCellWidth = 8;
const int kCellHeight = 16;

// True when dialogs are drawn; false when the process has no terminal.
bool IsScreen();

// A top-level dialog is about to be shown, or has ended. The first one sets
// the terminal up and makes the calling thread's message wait cover the
// keyboard and signals; when the last one ends the terminal is restored.
void AttachDialog(HWND hDlg);
void DetachDialog(HWND hDlg);

// Whether the window is a push button of the dialog manager's; the
// terminal draws buttons and static controls differently.
bool IsButton(HWND hWnd);

// A control's text as the lines it shows, one per row; never empty.
std::vector<std::string> SplitLines(const std::string& text);

// Draws every shown dialog, the most recent on top.
void PaintScreen();

// A value field's text changed: with no terminal, print it as a line.
void ReportFieldText(HWND hField, const std::string& text);

// Without a terminal a message box has nobody to answer it: print it instead.
void PrintMessage(LPCSTR lpText);

}  // namespace rmterm

#endif
