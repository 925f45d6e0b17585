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

#include "kernel/Kernel.h"

int main(int argc, char** argv)
{
    rmwin32::CatchEndRequests();
    std::string tail;
    for (int i = 1; i < argc; ++i)
    {
        if (i > 1)
            tail += ' ';
        tail += argv[i];
    }
    return AfxWinMain(GetModuleHandleA(nullptr), nullptr, &tail[0], SW_SHOWDEFAULT);
}

#endif
