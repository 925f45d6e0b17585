// The process entry of a program built on the framework. Kept apart from the
// framework library so that test programs bring their own.
#include "afxwin.h"

namespace {

// The bound of the whole shut-down, from the end of the run: the worker's
// stop (a second, then the termination, which gives up after three at most),
// and a grace for the driver's UnInit.
const unsigned int kShutDownSeconds = 1 + 3 + 3;

}  // namespace

#ifdef _WIN32

#include <cstdlib>

namespace {

HANDLE g_hShutDownBegun = nullptr;

void SayShutDownOverdue()
{
    static const char kMessage[] = "RemoteMonitor: the driver library did not finish shutting down in time; "
                                   "giving up on it.\r\n";
    HANDLE hError = GetStdHandle(STD_ERROR_HANDLE);
    DWORD dwWritten = 0;
    if (hError != nullptr && hError != INVALID_HANDLE_VALUE)
        WriteFile(hError, kMessage, sizeof kMessage - 1, &dwWritten, nullptr);
}

DWORD WINAPI WatchShutDown(LPVOID pStarted)
{
    SetEvent(static_cast<HANDLE>(pStarted));
    WaitForSingleObject(g_hShutDownBegun, INFINITE);
    Sleep(kShutDownSeconds * 1000);
    SayShutDownOverdue();
    // Not ExitProcess: that would run the libraries' detach, the driver's
    // among them, beside its hung UnInit.
    TerminateProcess(GetCurrentProcess(), EXIT_FAILURE);
    return 0;
}

// The watch over the shut-down is made before any static constructor of the
// program's own, and so before the driver library is loaded by one of them:
// the library never sees its thread attach, and nothing the library holds
// at the end, the loader's lock included, can keep the watch from firing.
// Its thread is running, and so attached to what is loaded, when this
// returns.
__attribute__((constructor(101))) void WatchShutDownEarly()
{
    HANDLE hStarted = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_hShutDownBegun = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (hStarted == nullptr || g_hShutDownBegun == nullptr)
        return;
    HANDLE hThread = CreateThread(nullptr, 0, WatchShutDown, hStarted, 0, nullptr);
    if (hThread != nullptr)
    {
        WaitForSingleObject(hStarted, INFINITE);
        CloseHandle(hThread);
    }
    CloseHandle(hStarted);
}

}  // namespace

// The C runtime's windowed start-up hands over the command-line tail and the
// show mode the starter asked for (SW_SHOWDEFAULT when it asked for none).
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    const int nResult = AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
    // The process-wide objects go after this: the worker, then the driver.
    if (g_hShutDownBegun != nullptr)
        SetEvent(g_hShutDownBegun);
    return nResult;
}

#else

#include <string>

#include "display/EndRequests.h"

namespace {

// Before any static constructor of the program's own: the driver library is
// loaded by one of them.
__attribute__((constructor(101))) void CatchEndRequestsEarly()
{
    rmwin32::CatchEndRequests();
}

}  // namespace

int main(int argc, char** argv)
{
    std::string tail;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            tail += ' ';
        tail += argv[i];
    }
    const int nResult = AfxWinMain(GetModuleHandleA(nullptr), nullptr, &tail[0], SW_SHOWDEFAULT);
    // The process-wide objects go after this: the worker, then the driver.
    rmwin32::BoundShutDown(kShutDownSeconds);
    return AfxCommandStatus(nResult);
}

#endif
