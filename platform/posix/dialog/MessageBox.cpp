// Message boxes: dialogs like any other, from a template built in memory,
// sized in dialog units to their text. Where the display has no screen the
// text is printed instead, since nobody could answer the box.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "dialog/DialogManager.h"
#include "display/Display.h"

namespace {

const WORD kButtonAtom = 0x0080;
const WORD kStaticAtom = 0x0082;
const WORD kStaticId = 0xFFFF;

// The units of one character cell of the text: an average character across,
// a line down.
const int kCharUnitsX = 4;
const int kCharUnitsY = 8;
// A push button is as tall as on Windows' own boxes, where text fills a line.
const int kButtonUnitsY = 14;
const int kButtonChars = 10;
const int kMarginChars = 2;
// As Windows sizes a box to its caption too: a window manager's title bar
// sets it in a bolder, larger font than the box's text, beside an icon and
// its buttons (iconify, maximize, close).
const int kCaptionWidthPercent = 150;
const int kTitleBarButtonChars = 16;

// Writes an extended dialog template (DLGTEMPLATEEX and its items).
class CTemplateWriter
{
public:
    void Dialog(DWORD style, DWORD exStyle, WORD nItems, int cx, int cy, const std::string& title)
    {
        Word(1);
        Word(0xFFFF);
        Dword(0);  // help id
        Dword(exStyle);
        Dword(style);
        Word(nItems);
        Rect(0, 0, cx, cy);
        Word(0);  // no menu
        Word(0);  // the dialog class
        Text(title);
    }

    void Item(WORD wClassAtom, DWORD style, int x, int y, int cx, int cy, WORD wId, const std::string& title)
    {
        while (m_bytes.size() % 4 != 0)
            m_bytes.push_back(0);
        Dword(0);  // help id
        Dword(0);  // extended style
        Dword(style);
        Rect(x, y, cx, cy);
        Dword(wId);
        Word(0xFFFF);
        Word(wClassAtom);
        Text(title);
        Word(0);  // no creation data
    }

    LPCDLGTEMPLATEA Data() const { return reinterpret_cast<LPCDLGTEMPLATEA>(m_bytes.data()); }

private:
    void Word(WORD w)
    {
        m_bytes.push_back(static_cast<uint8_t>(w));
        m_bytes.push_back(static_cast<uint8_t>(w >> 8));
    }
    void Dword(DWORD dw)
    {
        Word(static_cast<WORD>(dw));
        Word(static_cast<WORD>(dw >> 16));
    }
    void Rect(int x, int y, int cx, int cy)
    {
        for (int n : {x, y, cx, cy})
            Word(static_cast<WORD>(static_cast<int16_t>(n)));
    }
    // Our texts are single bytes; each becomes the code unit of that value.
    void Text(const std::string& text)
    {
        for (unsigned char ch : text)
            Word(ch);
        Word(0);
    }

    std::vector<uint8_t> m_bytes;
};

INT_PTR CALLBACK MessageBoxProc(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
    {
        // An OK-only box answers OK however it is dismissed.
        EndDialog(hDlg, IDOK);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType)
{
    (void)uType;  // the tool only ever asks for a plain OK box
    const std::string text = lpText != nullptr ? lpText : "";
    if (!rmwin32::Display().HasScreen())
    {
        rmwin32::Display().PrintMessage(text);
        return IDOK;
    }

    const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
    const std::vector<std::string> lines = rmwin32::SplitLines(text);
    int nTextChars = 0;
    for (const std::string& line : lines)
        nTextChars = std::max(nTextChars, static_cast<int>(line.size()));
    const int nTextLines = static_cast<int>(lines.size());
    const int nCaptionChars =
        (static_cast<int>(caption.size()) * kCaptionWidthPercent + 99) / 100 + kTitleBarButtonChars;
    const int nBoxChars = std::max(std::max(nTextChars, kButtonChars) + 2 * kMarginChars, nCaptionChars);

    CTemplateWriter tmpl;
    tmpl.Dialog(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, WS_EX_DLGMODALFRAME, 2, nBoxChars * kCharUnitsX,
                (nTextLines + 2) * kCharUnitsY + kButtonUnitsY, caption);
    tmpl.Item(kStaticAtom, WS_CHILD | WS_VISIBLE | SS_LEFT, kMarginChars * kCharUnitsX, kCharUnitsY / 2,
              nTextChars * kCharUnitsX, nTextLines * kCharUnitsY, kStaticId, text);
    tmpl.Item(kButtonAtom, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
              (nBoxChars - kButtonChars) / 2 * kCharUnitsX, (nTextLines + 1) * kCharUnitsY, kButtonChars * kCharUnitsX,
              kButtonUnitsY, IDOK, "OK");
    const INT_PTR nResult = DialogBoxIndirectParamA(nullptr, tmpl.Data(), hWnd, &MessageBoxProc, 0);
    return nResult > 0 ? static_cast<int>(nResult) : IDOK;
}
