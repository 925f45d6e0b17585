// Our dialogs on a character terminal, through ncurses. The thread that runs
// the dialogs waits in poll() on its message queue, the keyboard and a pipe
// fed by the signal handlers, so nothing is redrawn and nothing wakes up while
// nothing changes. Keys become WM_KEYDOWN/WM_CHAR for the focused control;
// SIGINT, SIGTERM and SIGHUP close the top dialog as its close box would.
#include "terminal.h"

#include <curses.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <vector>

#include "win32_internal.h"

namespace rmterm {
namespace {

enum class Mode { Undecided, Screen, Lines };

Mode g_mode = Mode::Undecided;
SCREEN* g_screen = nullptr;
bool g_bScreenOpen = false;
int g_signalPipe[2] = { -1, -1 };
std::vector<HWND> g_dialogs;  // shown dialogs, the most recent last
bool g_bColors = false;

const short kFieldPair = 1;

// The first request to end closes the top dialog, and the tool then shuts
// down in order. Should that never finish (a driver that hangs in UnInit,
// say), the third request ends the process as the signal would have, with the
// terminal given back first; only async-signal-safe calls here.
const int kInsistingSignals = 3;
volatile sig_atomic_t g_nEndRequests = 0;
struct termios g_savedTermios;
volatile sig_atomic_t g_bTermiosSaved = 0;
volatile sig_atomic_t g_bScreenShown = 0;

void GiveUp(int nSignal)
{
    if (g_bTermiosSaved)
        tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTermios);
    if (g_bScreenShown) {
        static const char kLeaveScreen[] = "\033[?25h\033[?1049l\r\n";
        ssize_t nWritten = write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
        (void)nWritten;
    }
    signal(nSignal, SIG_DFL);
    raise(nSignal);
}

void OnSignal(int nSignal)
{
    const int nSavedErrno = errno;
    if (nSignal != SIGWINCH && ++g_nEndRequests >= kInsistingSignals)
        GiveUp(nSignal);
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    if (g_signalPipe[1] >= 0) {
        ssize_t nWritten = write(g_signalPipe[1], &byte, 1);
        (void)nWritten;  // a full pipe already holds a wake-up
    }
    errno = nSavedErrno;
}

// Installed before ncurses starts, so that it leaves these signals to us.
void InstallSignalHandlers()
{
    if (g_signalPipe[0] >= 0)
        return;
    if (pipe(g_signalPipe) != 0)
        return;
    for (int fd : g_signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int nSignal : { SIGINT, SIGTERM, SIGHUP, SIGWINCH })
        sigaction(nSignal, &sa, nullptr);
}

Mode DecideMode()
{
    if (g_mode != Mode::Undecided)
        return g_mode;
    g_mode = Mode::Lines;
    const char* pszTerm = getenv("TERM");
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) && pszTerm != nullptr && *pszTerm != '\0' &&
        std::strcmp(pszTerm, "dumb") != 0) {
        InstallSignalHandlers();
        g_bTermiosSaved = tcgetattr(STDIN_FILENO, &g_savedTermios) == 0;
        std::setlocale(LC_CTYPE, "");
        g_screen = newterm(nullptr, stdout, stdin);
        if (g_screen != nullptr) {
            g_mode = Mode::Screen;
            endwin();  // opened on the first dialog shown
        }
    }
    return g_mode;
}

void OpenScreen()
{
    if (g_bScreenOpen)
        return;
    set_term(g_screen);
    // Esc acts at once: escape sequences arrive in one read, so there is
    // nothing to wait for.
    set_escdelay(0);
    cbreak();  // Ctrl-C stays a signal
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(kFieldPair, COLOR_BLACK, COLOR_WHITE);
        g_bColors = true;
    }
    g_bScreenOpen = true;
    g_bScreenShown = 1;
}

void CloseScreen()
{
    if (!g_bScreenOpen)
        return;
    erase();
    refresh();
    endwin();
    g_bScreenOpen = false;
    g_bScreenShown = 0;
}

void ResizeScreen()
{
    struct winsize ws;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
        resizeterm(ws.ws_row, ws.ws_col);
    clearok(curscr, TRUE);
    if (!g_dialogs.empty())
        InvalidateRect(g_dialogs.back(), nullptr, TRUE);
}

HWND TopDialog()
{
    return g_dialogs.empty() ? nullptr : g_dialogs.back();
}

// Keys go where the focus is, as long as it is in the top dialog.
HWND KeyTarget()
{
    HWND hTop = TopDialog();
    HWND hFocus = GetFocus();
    if (hFocus != nullptr && (hFocus == hTop || GetParent(hFocus) == hTop))
        return hFocus;
    return hTop;
}

void PostKey(int nVirtKey, int nChar)
{
    HWND hTarget = KeyTarget();
    if (hTarget == nullptr)
        return;
    if (nVirtKey != 0) {
        PostMessageA(hTarget, WM_KEYDOWN, static_cast<WPARAM>(nVirtKey), 1);
        if (nChar != 0)
            PostMessageA(hTarget, WM_CHAR, static_cast<WPARAM>(nChar), 1);
        PostMessageA(hTarget, WM_KEYUP, static_cast<WPARAM>(nVirtKey), 1);
    } else if (nChar != 0) {
        PostMessageA(hTarget, WM_CHAR, static_cast<WPARAM>(nChar), 1);
    }
}

void CloseTopDialog()
{
    if (HWND hTop = TopDialog())
        PostMessageA(hTop, WM_CLOSE, 0, 0);
}

void ReadKeys()
{
    for (int ch = getch(); ch != ERR; ch = getch()) {
        switch (ch) {
        case 27:
            PostKey(VK_ESCAPE, 27);
            break;
        case '\t':
            PostKey(VK_TAB, '\t');
            break;
        case KEY_BTAB: {
            HWND hTarget = KeyTarget();
            if (hTarget != nullptr) {
                PostMessageA(hTarget, WM_KEYDOWN, VK_SHIFT, 1);
                PostKey(VK_TAB, '\t');
                PostMessageA(hTarget, WM_KEYUP, VK_SHIFT, 1);
            }
            break;
        }
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
            if (!g_dialogs.empty())
                InvalidateRect(g_dialogs.back(), nullptr, TRUE);
            break;
        default:
            if (ch > 0 && ch < 0x100)
                PostKey(0, ch);
            break;
        }
    }
}

void ReadSignals()
{
    unsigned char buffer[64];
    ssize_t nRead;
    while ((nRead = read(g_signalPipe[0], buffer, sizeof buffer)) > 0) {
        for (ssize_t i = 0; i < nRead; ++i) {
            if (buffer[i] == SIGWINCH) {
                if (g_bScreenOpen)
                    ResizeScreen();
            } else {
                CloseTopDialog();
            }
        }
    }
}

void IdleWait(int nWakeFd)
{
    struct pollfd fds[3];
    nfds_t nFds = 0;
    fds[nFds++] = { nWakeFd, POLLIN, 0 };
    if (g_signalPipe[0] >= 0)
        fds[nFds++] = { g_signalPipe[0], POLLIN, 0 };
    const bool bKeys = g_bScreenOpen;
    if (bKeys)
        fds[nFds++] = { STDIN_FILENO, POLLIN, 0 };

    if (poll(fds, nFds, -1) <= 0)
        return;
    if (g_signalPipe[0] >= 0 && (fds[1].revents & POLLIN))
        ReadSignals();
    if (bKeys && (fds[nFds - 1].revents & (POLLIN | POLLHUP | POLLERR))) {
        if (fds[nFds - 1].revents & (POLLHUP | POLLERR)) {
            // The terminal went away: nobody can answer, so close.
            CloseTopDialog();
            g_bScreenOpen = false;
        } else {
            ReadKeys();
        }
    }
}

// ---- Drawing --------------------------------------------------------------

int CellsAcross(LONG nWidth) { return static_cast<int>((nWidth + kCellWidth - 1) / kCellWidth); }
int CellsDown(LONG nHeight) { return static_cast<int>((nHeight + kCellHeight - 1) / kCellHeight); }
int ColumnOf(LONG x) { return static_cast<int>((x + kCellWidth / 2) / kCellWidth); }
int RowOf(LONG y) { return static_cast<int>((y + kCellHeight / 2) / kCellHeight); }

std::string WindowText(HWND hWnd)
{
    char szText[512] = {};
    GetWindowTextA(hWnd, szText, sizeof szText);
    return szText;
}

struct CBox
{
    int nTop, nLeft, nRows, nCols;  // the client area, inside the frame
};

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

void DrawStatic(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth)
{
    const LONG_PTR nStyle = GetWindowLongPtrA(hCtl, GWL_STYLE);
    // Multi-line statics (message box texts) draw one line per row.
    const std::vector<std::string> lines = SplitLines(WindowText(hCtl));
    for (int nLine = 0; nLine < static_cast<int>(lines.size()); ++nLine) {
        const std::string& line = lines[static_cast<size_t>(nLine)];
        if (nStyle & SS_SUNKEN) {
            const attr_t attr = g_bColors ? COLOR_PAIR(kFieldPair) : A_UNDERLINE;
            attron(attr);
            PutText(box, nRow + nLine, nCol, std::string(static_cast<size_t>(nWidth), ' '), nWidth);
            const int nPad = (nStyle & SS_TYPEMASK) == SS_RIGHT ? nWidth - static_cast<int>(line.size()) : 0;
            PutText(box, nRow + nLine, nCol + std::max(nPad, 0), line, nWidth);
            attroff(attr);
        } else {
            // A label is never cut to its box: in whole cells a text may
            // need a little more room than its box gives it.
            const int nPad = (nStyle & SS_TYPEMASK) == SS_RIGHT ? nWidth - static_cast<int>(line.size()) : 0;
            PutText(box, nRow + nLine, nCol + std::max(nPad, 0), line, box.nCols);
        }
    }
}

void DrawButton(const CBox& box, HWND hCtl, int nRow, int nCol, int nWidth)
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

void DrawDialog(HWND hDlg)
{
    RECT rcClient;
    GetClientRect(hDlg, &rcClient);
    const std::string caption = WindowText(hDlg);
    int nCols = std::max(CellsAcross(rcClient.right), static_cast<int>(caption.size()) + 4);
    int nRows = CellsDown(rcClient.bottom);

    if (nCols + 2 > COLS || nRows + 2 > LINES) {
        char szNeed[96];
        std::snprintf(szNeed, sizeof szNeed, "Terminal too small for \"%s\": needs %d x %d.", caption.c_str(),
                      nCols + 2, nRows + 2);
        mvaddnstr(0, 0, szNeed, COLS);
        if (LINES > 1)
            mvaddnstr(1, 0, "Enlarge it, or press Esc to close.", COLS);
        return;
    }

    CBox box;
    box.nRows = nRows;
    box.nCols = nCols;
    box.nTop = (LINES - (nRows + 2)) / 2 + 1;
    box.nLeft = (COLS - (nCols + 2)) / 2 + 1;

    for (int r = -1; r <= nRows; ++r)
        mvhline(box.nTop + r, box.nLeft - 1, ' ', nCols + 2);
    mvaddch(box.nTop - 1, box.nLeft - 1, ACS_ULCORNER);
    mvhline(box.nTop - 1, box.nLeft, ACS_HLINE, nCols);
    mvaddch(box.nTop - 1, box.nLeft + nCols, ACS_URCORNER);
    mvvline(box.nTop, box.nLeft - 1, ACS_VLINE, nRows);
    mvvline(box.nTop, box.nLeft + nCols, ACS_VLINE, nRows);
    mvaddch(box.nTop + nRows, box.nLeft - 1, ACS_LLCORNER);
    mvhline(box.nTop + nRows, box.nLeft, ACS_HLINE, nCols);
    mvaddch(box.nTop + nRows, box.nLeft + nCols, ACS_LRCORNER);
    attron(A_BOLD);
    mvaddnstr(box.nTop - 1, box.nLeft + 1, (" " + caption + " ").c_str(), nCols - 1);
    attroff(A_BOLD);

    for (HWND hCtl = GetWindow(hDlg, GW_CHILD); hCtl != nullptr; hCtl = GetWindow(hCtl, GW_HWNDNEXT)) {
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
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t nStart = 0;
    for (;;) {
        const size_t nEnd = text.find('\n', nStart);
        lines.push_back(text.substr(nStart, nEnd == std::string::npos ? std::string::npos : nEnd - nStart));
        if (nEnd == std::string::npos)
            return lines;
        nStart = nEnd + 1;
    }
}

bool IsScreen()
{
    return DecideMode() == Mode::Screen;
}

void AttachDialog(HWND hDlg)
{
    const Mode mode = DecideMode();
    InstallSignalHandlers();
    if (mode == Mode::Screen)
        OpenScreen();
    g_dialogs.push_back(hDlg);
    rmwin32::SetIdleWait(&IdleWait);
}

void DetachDialog(HWND hDlg)
{
    g_dialogs.erase(std::remove(g_dialogs.begin(), g_dialogs.end(), hDlg), g_dialogs.end());
    if (!g_dialogs.empty()) {
        InvalidateRect(g_dialogs.back(), nullptr, TRUE);
        return;
    }
    rmwin32::SetIdleWait(nullptr);
    CloseScreen();
}

void PaintScreen()
{
    if (!g_bScreenOpen)
        return;
    erase();
    for (HWND hDlg : g_dialogs) {
        if (IsWindowVisible(hDlg))
            DrawDialog(hDlg);
    }
    refresh();
}

void ReportFieldText(HWND hField, const std::string& text)
{
    if (DecideMode() != Mode::Lines || !(GetWindowLongPtrA(hField, GWL_STYLE) & SS_SUNKEN))
        return;
    // A value field is named by the label just before it.
    std::string label;
    if (HWND hLabel = GetWindow(hField, GW_HWNDPREV))
        label = WindowText(hLabel);
    std::printf("%s%s%s\n", label.c_str(), label.empty() || text.empty() ? "" : " ", text.c_str());
    std::fflush(stdout);
}

void PrintMessage(LPCSTR lpText)
{
    std::printf("%s\n", lpText != nullptr ? lpText : "");
    std::fflush(stdout);
}

}  // namespace rmterm

void rmwin32::CatchEndRequests()
{
    rmterm::InstallSignalHandlers();
}

int GetSystemMetrics(int nIndex)
{
    switch (nIndex) {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXSCREEN:
        return (rmterm::IsScreen() ? COLS : 80) * rmterm::kCellWidth;
    case SM_CYSCREEN:
        return (rmterm::IsScreen() ? LINES : 24) * rmterm::kCellHeight;
    default:
        return 0;
    }
}

// A minimized dialog has no place on a terminal, so an icon is never drawn.
BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon)
{
    (void)X;
    (void)Y;
    return hDC != nullptr && hIcon != nullptr;
}
