// The display of a process with no screen to draw on (output to a pipe or a
// file, no terminal): nothing is drawn, each change of a value field is one
// line on standard output, and a message box prints its text.
#include <poll.h>

#include <cerrno>
#include <cstdio>

#include "display/DisplayChoice.h"
#include "display/EndRequests.h"
#include "display/StackedDisplay.h"

namespace rmwin32 {
namespace {

// The geometry of the terminal's cells, so that windows have the same sizes
// whichever display shows them.
const int kUnitWidth = 8;
const int kUnitHeight = 16;
const int kColumns = 80;
const int kRows = 24;

// Once nobody reads the lines (`RemoteMonitor | head -n1`), the tool has
// nothing left to do: it ends, in order.
void WriteLine(const std::string& line)
{
    if (std::printf("%s\n", line.c_str()) < 0 || std::fflush(stdout) != 0)
    {
        if (errno == EPIPE)
            RequestEnd();
    }
}

class CLineDisplay : public CStackedDisplay
{
public:
    bool HasScreen() const override { return false; }
    SIZE GetBaseUnits() const override { return {kUnitWidth, kUnitHeight}; }
    int GetSystemMetric(int nIndex) const override;
    void Paint(HWND) override {}
    BOOL DrawIcon(HDC hDC, int, int, HICON hIcon) override { return hDC != nullptr && hIcon != nullptr; }
    void WaitForInput(int nWakeFd) override;
    void ReportFieldText(HWND hField, const std::string& text) override;
    void PrintMessage(const std::string& text) override;
};

int CLineDisplay::GetSystemMetric(int nIndex) const
{
    return Metric(nIndex, kColumns * kUnitWidth, kRows * kUnitHeight);
}

void CLineDisplay::WaitForInput(int nWakeFd)
{
    struct pollfd fds[2] = {{nWakeFd, POLLIN, 0}, {EndRequestFd(), POLLIN, 0}};
    const nfds_t nFds = fds[1].fd >= 0 ? 2 : 1;
    if (poll(fds, nFds, -1) > 0 && nFds == 2 && (fds[1].revents & POLLIN))
        ServiceEndRequests();
}

void CLineDisplay::ReportFieldText(HWND hField, const std::string& text)
{
    if (!(GetWindowLongPtrA(hField, GWL_STYLE) & SS_SUNKEN))
        return;
    // A value field is named by the label just before it.
    std::string label;
    if (HWND hLabel = GetWindow(hField, GW_HWNDPREV))
        label = WindowText(hLabel);
    WriteLine(label + (label.empty() || text.empty() ? "" : " ") + text);
}

void CLineDisplay::PrintMessage(const std::string& text)
{
    WriteLine(text);
}

}  // namespace

CDisplay* OpenLineDisplay()
{
    static CLineDisplay s_display;
    return &s_display;
}

}  // namespace rmwin32
