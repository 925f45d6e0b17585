// The process entry of a program built on the framework. Kept apart from the
// framework library so that test programs bring their own.
#include "afxwin.h"

#ifdef _WIN32

// The C runtime's windowed start-up hands over the command-line tail and the
// show mode the starter asked for (SW_SHOWDEFAULT when it asked for none).
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}

#else

#include <string>

#include "display/EndRequests.h"

namespace {

// The worker's stop (a second, then the termination, which gives up after
// three), and a grace for the driver's UnInit.
const unsigned int kShutDownSeconds = 1 + 3 + 3;

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
