// Our dialogs on a character terminal, through ncurses. Dialog units become
// character cells: a quarter of a cell across and an eighth down, through
// window coordinates of 8 x 16 per cell. The dialog thread waits in poll() on
// its message queue, the keyboard, the end-request pipe and the held standard
// error, so nothing is redrawn and nothing wakes up while nothing changes.
// Keys become WM_KEYDOWN/WM_CHAR for the focused control. What is written to
// standard error meanwhile shows under the dialogs, its last lines that fit.
#include <curses.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/DisplayChoice.h"
#include "display/EndRequests.h"
#include "display/HeldStandardError.h"
#include "display/StackedDisplay.h"

namespace rmwin32 {
namespace {

const int kCellWidth = 8;
const int kCellHeight = 16;
const short kFieldPair = 1;
// Of the held standard error only its end is kept for the screen: more than
// any terminal has rows for.
const size_t kHeldTailBytes = 16 * 1024;

// What the restore after a fatal end needs, readable from a signal handler.
struct termios g_savedTermios;
volatile sig_atomic_t g_bTermiosSaved = 0;
volatile sig_atomic_t g_bScreenShown = 0;

void RestoreTerminal()
{
    if (g_bTermiosSaved)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTermios);
    if (g_bScreenShown)
    {
        static const char kLeaveScreen[] = "\033[?25h\033[?1049l\r\n";
        ssize_t nWritten = write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
        (void)nWritten;
    }
    ReleaseStandardError();
}

int CellsAcross(LONG nWidth)
{
    return static_cast<int>((nWidth + kCellWidth - 1) / kCellWidth);
}
int CellsDown(LONG nHeight)
{
    return static_cast<int>((nHeight + kCellHeight - 1) / kCellHeight);
}
int ColumnOf(LONG x)
{
    return static_cast<int>((x + kCellWidth / 2) / kCellWidth);
}
int RowOf(LONG y)
{
    return static_cast<int>((y + kCellHeight / 2) / kCellHeight);
}

struct CBox
{
    int nTop, nLeft, nRows, nCols;  // the client area, inside the frame
};

// A line as the screen can take it: no control characters, which would move
// the cursor or show as escapes.
std::string Printable(const std::string& line)
{
    std::string out;
    for (char ch : line)
    {
        if (ch == '\t')
            out += ' ';
        else if (ch == '\r')
            continue;
        else if ((ch >= 0 && ch < ' ') || ch == 0x7f)
            out += '?';
        else
            out += ch;
    }
    return out;
}

// The rows the last lines of a text take at nWidth cells a row, wrapped, at
// most nMost of them: the last ones. A UTF-8 character counts one cell.
std::vector<std::string> LastRows(const std::string& text, int nWidth, int nMost)
{
    std::vector<std::string> rows;
    std::vector<std::string> lines = SplitLines(text);
    // A line's end ends it: it starts no row of its own.
    if (lines.back().empty())
        lines.pop_back();
    for (const std::string& raw : lines)
    {
        const std::string line = Printable(raw);
        size_t nStart = 0;
        int nCells = 0;
        for (size_t i = 0; i <= line.size(); ++i)
        {
            const bool bCharStart = i == line.size() || (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
            if (bCharStart && (nCells == nWidth || i == line.size()))
            {
                rows.push_back(line.substr(nStart, i - nStart));
                nStart = i;
                nCells = 0;
            }
            if (bCharStart && i < line.size())
                ++nCells;
        }
    }
    if (static_cast<int>(rows.size()) > nMost)
        rows.erase(rows.begin(), rows.end() - nMost);
    return rows;
}

class CTerminalDisplay : public CStackedDisplay
{
public:
    explicit CTerminalDisplay(SCREEN* pScreen) : m_pScreen(pScreen) {}

    bool HasScreen() const override { return true; }
    SIZE GetBaseUnits() const override { return {kCellWidth, kCellHeight}; }
    int GetSystemMetric(int nIndex) const override;
    void Paint(HWND hWnd) override;
    // A minimized dialog has no place on a terminal, so an icon is never drawn.
    BOOL DrawIcon(HDC hDC, int, int, HICON hIcon) override { return hDC != nullptr && hIcon != nullptr; }
    void WaitForInput(int nWakeFd) override;
    // The dialog on the screen says it all.
    void ReportFieldText(HWND, const std::string&) override {}
    void PrintMessage(const std::string&) override {}

protected:
    void OnFirstDialog() override;
    void OnLastDialog() override;

private:
    void ResizeScreen();
    void InvalidateTop() const;
    void PostShiftTab() const;
    void ReadKeys();
    void DrawStatic(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth) const;
    void DrawButton(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth) const;
    bool PlaceDialog(HWND hDlg, CBox* pBox) const;
    void DrawFrame(const CBox& box, const std::string& caption) const;
    int DrawDialog(HWND hDlg) const;
    bool TakeHeldLines();
    void DrawHeldLines(int nFirstRow) const;

    SCREEN* m_pScreen;
    bool m_bOpen = false;
    bool m_bColors = false;
    std::string m_heldTail;  // the end of what standard error held while shown
};

void CTerminalDisplay::OnFirstDialog()
{
    if (m_bOpen)
        return;
    // Lines written to standard error from now on would be drawn over, or
    // draw over the dialog: they are shown under it instead.
    HoldStandardError();
    set_term(m_pScreen);
    // Esc acts at once: escape sequences arrive in one read, so there is
    // nothing to wait for.
    set_escdelay(0);
    cbreak();  // Ctrl-C stays a signal
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    curs_set(0);
    if (has_colors())
    {
        start_color();
        use_default_colors();
        init_pair(kFieldPair, COLOR_BLACK, COLOR_WHITE);
        m_bColors = true;
    }
    m_bOpen = true;
    g_bScreenShown = 1;
}

void CTerminalDisplay::OnLastDialog()
{
    if (!m_bOpen)
        return;
    erase();
    refresh();
    endwin();
    m_bOpen = false;
    g_bScreenShown = 0;
    ReleaseStandardError();
    m_heldTail.clear();
}

int CTerminalDisplay::GetSystemMetric(int nIndex) const
{
    return Metric(nIndex, COLS * kCellWidth, LINES * kCellHeight);
}

void CTerminalDisplay::InvalidateTop() const
{
    if (HWND hTop = TopDialog())
        InvalidateRect(hTop, nullptr, TRUE);
}

void CTerminalDisplay::ResizeScreen()
{
    struct winsize ws;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
        resizeterm(ws.ws_row, ws.ws_col);
    clearok(curscr, TRUE);
    InvalidateTop();
}

void CTerminalDisplay::PostShiftTab() const
{
    PostKeyDown(VK_SHIFT, 0);
    PostKey(VK_TAB, '\t');
    PostKeyUp(VK_SHIFT);
}

void CTerminalDisplay::ReadKeys()
{
    for (int ch = getch(); ch != ERR; ch = getch())
    {
        switch (ch)
        {
        case 27:
            PostKey(VK_ESCAPE, 27);
            break;
        case '\t':
            PostKey(VK_TAB, '\t');
            break;
        case KEY_BTAB:
            PostShiftTab();
            break;
        case '\r':
        case '\n':
        case KEY_ENTER:
            PostKey(VK_RETURN, '\r');
            break;
        case ' ':
            PostKey(VK_SPACE, ' ');
            break;
        case 'q':
        case 'Q':
            CloseTopDialog();
            break;
        case KEY_RESIZE:
            // ncurses has taken the new size already (resizeterm queues
            // this key); only the picture is out of date.
            InvalidateTop();
            break;
        default:
            if (ch > 0 && ch < 0x100)
                PostKey(0, ch);
            break;
        }
    }
}

// Once per wake-up, so the poll's own path gains nothing but a look at the
// file's size when a field changes.
bool CTerminalDisplay::TakeHeldLines()
{
    if (!TakeNewlyHeld(&m_heldTail))
        return false;
    if (m_heldTail.size() > kHeldTailBytes)
    {
        const size_t nLineEnd = m_heldTail.find('\n', m_heldTail.size() - kHeldTailBytes);
        m_heldTail.erase(0, nLineEnd == std::string::npos ? m_heldTail.size() - kHeldTailBytes : nLineEnd + 1);
    }
    InvalidateTop();
    return true;
}

void CTerminalDisplay::WaitForInput(int nWakeFd)
{
    // What came meanwhile is drawn before the next wait.
    if (m_bOpen && TakeHeldLines())
        return;

    struct pollfd fds[4];
    nfds_t nFds = 0;
    fds[nFds++] = {nWakeFd, POLLIN, 0};
    const int nSignalFd = EndRequestFd();
    const nfds_t nSignal = nFds;
    if (nSignalFd >= 0)
        fds[nFds++] = {nSignalFd, POLLIN, 0};
    // Readable when standard error has more: the next wait takes it.
    const int nHeldFd = m_bOpen ? NewlyHeldFd() : -1;
    if (nHeldFd >= 0)
        fds[nFds++] = {nHeldFd, POLLIN, 0};
    const bool bKeys = m_bOpen;
    const nfds_t nKeys = nFds;
    if (bKeys)
        fds[nFds++] = {STDIN_FILENO, POLLIN, 0};

    if (poll(fds, nFds, -1) <= 0)
        return;
    if (nSignalFd >= 0 && (fds[nSignal].revents & POLLIN) && ServiceEndRequests() && m_bOpen)
        ResizeScreen();
    if (bKeys && (fds[nKeys].revents & (POLLIN | POLLHUP | POLLERR)))
    {
        if (fds[nKeys].revents & (POLLHUP | POLLERR))
        {
            // The terminal went away: nobody can answer, so close.
            CloseTopDialog();
            m_bOpen = false;
            ReleaseStandardError();
        }
        else
        {
            ReadKeys();
        }
    }
}

void PutText(const CBox& box, int nRow, int nCol, const std::string& text, int nLimit)
{
    if (nRow < 0 || nRow >= box.nRows || nCol >= box.nCols)
        return;
    if (nCol < 0)
        nCol = 0;
    const int nRoom = std::min(nLimit, box.nCols - nCol);
    if (nRoom <= 0)
        return;
    mvaddnstr(box.nTop + nRow, box.nLeft + nCol, text.c_str(), std::min(nRoom, static_cast<int>(text.size())));
}

void CTerminalDisplay::DrawStatic(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth) const
{
    const LONG_PTR nStyle = GetWindowLongPtrA(hCtl, GWL_STYLE);
    // Multi-line statics (message box texts) draw one line per row.
    const std::vector<std::string> lines = SplitLines(WindowText(hCtl));
    for (int nLine = 0; nLine < static_cast<int>(lines.size()); ++nLine)
    {
        const std::string& line = lines[static_cast<size_t>(nLine)];
        const int nPad = (nStyle & SS_TYPEMASK) == SS_RIGHT ? nWidth - static_cast<int>(line.size()) : 0;
        if (nStyle & SS_SUNKEN)
        {
            const attr_t attr = m_bColors ? COLOR_PAIR(kFieldPair) : A_UNDERLINE;
            attron(attr);
            PutText(box, nRow + nLine, nCol, std::string(static_cast<size_t>(nWidth), ' '), nWidth);
            PutText(box, nRow + nLine, nCol + std::max(nPad, 0), line, nWidth);
            attroff(attr);
        }
        else
        {
            // A label is never cut to its box: in whole cells a text may
            // need a little more room than its box gives it.
            PutText(box, nRow + nLine, nCol + std::max(nPad, 0), line, box.nCols);
        }
    }
}

void CTerminalDisplay::DrawButton(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth) const
{
    const std::string label = "[ " + WindowText(hCtl) + " ]";
    const bool bFocus = GetFocus() == hCtl;
    const bool bDefault = (GetWindowLongPtrA(hCtl, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    const int nPad = std::max(0, (nWidth - static_cast<int>(label.size())) / 2);
    const attr_t attr = (bFocus ? A_REVERSE : A_NORMAL) | (bDefault ? A_BOLD : A_NORMAL);
    attron(attr);
    PutText(box, nRow, nCol + nPad, label, box.nCols);
    attroff(attr);
}

// Centres the dialog; false, with a note on the screen, when it does not fit.
bool CTerminalDisplay::PlaceDialog(HWND hDlg, CBox* pBox) const
{
    RECT rcClient;
    GetClientRect(hDlg, &rcClient);
    const std::string caption = WindowText(hDlg);
    const int nCols = std::max(CellsAcross(rcClient.right), static_cast<int>(caption.size()) + 4);
    const int nRows = CellsDown(rcClient.bottom);
    if (nCols + 2 > COLS || nRows + 2 > LINES)
    {
        char szNeed[96];
        std::snprintf(szNeed, sizeof szNeed, "Terminal too small for \"%s\": needs %d x %d.", caption.c_str(),
                      nCols + 2, nRows + 2);
        mvaddnstr(0, 0, szNeed, COLS);
        if (LINES > 1)
            mvaddnstr(1, 0, "Enlarge it, or press Esc to close.", COLS);
        return false;
    }
    pBox->nRows = nRows;
    pBox->nCols = nCols;
    pBox->nTop = (LINES - (nRows + 2)) / 2 + 1;
    pBox->nLeft = (COLS - (nCols + 2)) / 2 + 1;
    return true;
}

void CTerminalDisplay::DrawFrame(const CBox& box, const std::string& caption) const
{
    for (int r = -1; r <= box.nRows; ++r)
        mvhline(box.nTop + r, box.nLeft - 1, ' ', box.nCols + 2);
    mvaddch(box.nTop - 1, box.nLeft - 1, ACS_ULCORNER);
    mvhline(box.nTop - 1, box.nLeft, ACS_HLINE, box.nCols);
    mvaddch(box.nTop - 1, box.nLeft + box.nCols, ACS_URCORNER);
    mvvline(box.nTop, box.nLeft - 1, ACS_VLINE, box.nRows);
    mvvline(box.nTop, box.nLeft + box.nCols, ACS_VLINE, box.nRows);
    mvaddch(box.nTop + box.nRows, box.nLeft - 1, ACS_LLCORNER);
    mvhline(box.nTop + box.nRows, box.nLeft, ACS_HLINE, box.nCols);
    mvaddch(box.nTop + box.nRows, box.nLeft + box.nCols, ACS_LRCORNER);
    attron(A_BOLD);
    mvaddnstr(box.nTop - 1, box.nLeft + 1, (" " + caption + " ").c_str(), box.nCols - 1);
    attroff(A_BOLD);
}

// Returns the first row below what it drew.
int CTerminalDisplay::DrawDialog(HWND hDlg) const
{
    CBox box;
    if (!PlaceDialog(hDlg, &box))
        return 2;
    DrawFrame(box, WindowText(hDlg));
    for (HWND hCtl = GetWindow(hDlg, GW_CHILD); hCtl != nullptr; hCtl = GetWindow(hCtl, GW_HWNDNEXT))
    {
        if (!IsWindowVisible(hCtl))
            continue;
        RECT rc;
        GetWindowRect(hCtl, &rc);
        const int nRow = RowOf(rc.top);
        const int nCol = ColumnOf(rc.left);
        const int nWidth = std::max(1, ColumnOf(rc.right) - nCol);
        if (IsButton(hCtl))
            DrawButton(box, hCtl, nRow, nCol, nWidth);
        else
            DrawStatic(box, hCtl, nRow, nCol, nWidth);
    }
    return box.nTop + box.nRows + 1;
}

// From nFirstRow down, a blank row apart from the dialogs: the last held
// lines that fit, wrapped at the terminal's width.
void CTerminalDisplay::DrawHeldLines(int nFirstRow) const
{
    const int nTop = nFirstRow + 1;
    if (m_heldTail.empty() || nTop >= LINES || COLS <= 0)
        return;
    const std::vector<std::string> rows = LastRows(m_heldTail, COLS, LINES - nTop);
    for (size_t i = 0; i < rows.size(); ++i)
        mvaddstr(nTop + static_cast<int>(i), 0, rows[i].c_str());
}

// The terminal has one picture: every shown dialog, the most recent on
// top, drawn whole whenever a dialog is painted. Its controls are drawn with
// it, so they have nothing to paint on their own.
void CTerminalDisplay::Paint(HWND hWnd)
{
    if (!m_bOpen || (GetWindowLongPtrA(hWnd, GWL_STYLE) & WS_CHILD))
        return;
    erase();
    int nBelow = 0;
    for (HWND hDlg : Dialogs())
    {
        if (IsWindowVisible(hDlg))
            nBelow = std::max(nBelow, DrawDialog(hDlg));
    }
    DrawHeldLines(nBelow);
    refresh();
}

bool HasUsableTerminal()
{
    const char* pszTerm = std::getenv("TERM");
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) && pszTerm != nullptr && *pszTerm != '\0' &&
           std::strcmp(pszTerm, "dumb") != 0;
}

}  // namespace

CDisplay* OpenTerminalDisplay()
{
    if (!HasUsableTerminal())
        return nullptr;
    InstallEndRequestHandlers();
    g_bTermiosSaved = tcgetattr(STDIN_FILENO, &g_savedTermios) == 0;
    SetRestoreScreen(&RestoreTerminal);
    std::setlocale(LC_CTYPE, "");
    SCREEN* pScreen = newterm(nullptr, stdout, stdin);
    if (pScreen == nullptr)
        return nullptr;
    endwin();  // opened on the first dialog shown
    // The first dialog is made, and its WM_INITDIALOG run, before it shows:
    // what the driver says meanwhile (why it refused a card) is shown with it
    // rather than left behind the screen until the end.
    HoldStandardError();
    static CTerminalDisplay s_display(pScreen);
    return &s_display;
}

}  // namespace rmwin32
