// The process-wide objects. They are built in the order they are defined
// here, but their teardown order is fixed by hand rather than left as the
// reverse: the worker calls into the driver library on every step, so it is
// stopped before the library is released, and the application object goes
// last because the worker's stop still pumps messages through it.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "CodePoller.h"
#include "RemoteDriver.h"
#include "RemoteMonitorApp.h"

#if defined(_WIN32) && _WIN32_WINNT < 0x0502
// Windows XP SP1 brought this call; the system headers offer it only from the
// next version of the system on.
extern "C" WINBASEAPI BOOL WINAPI SetDllDirectoryA(LPCSTR lpPathName);
#endif

namespace {

// Storage whose object is built and destroyed by hand.
template <class T>
union CProcessObject
{
    CProcessObject() {}
    ~CProcessObject() {}
    T m_object;
};

CProcessObject<CRemoteMonitorApp> s_app;
CProcessObject<CCodePoller> s_poller;
CProcessObject<CRemoteDriver> s_driver;

struct CProcessLifetime
{
    CProcessLifetime()
    {
        // A bare-name library load must not pick up a library planted in
        // the current directory.
        SetDllDirectoryA("");
        new (&s_app.m_object) CRemoteMonitorApp;
        new (&s_poller.m_object) CCodePoller;
        new (&s_driver.m_object) CRemoteDriver;
    }
    ~CProcessLifetime()
    {
        s_poller.m_object.Stop();
        if (s_poller.m_object.LeftThreadRunning())
            EndBesideARunningDriver();
        s_poller.m_object.~CCodePoller();
        s_driver.m_object.~CRemoteDriver();
        s_app.m_object.~CRemoteMonitorApp();
    }

    // The worker is still inside the driver and nothing could end it. UnInit
    // beside it, or unloading the code it runs, would crash; the library's
    // own teardown at exit would too. So the process ends here, at once,
    // with the driver untold and still mapped.
    [[noreturn]] static void EndBesideARunningDriver()
    {
        std::fputs("RemoteMonitor: the driver library did not return and could not be stopped; "
                   "it was not shut down (UnInit).\n",
                   stderr);
        std::fflush(nullptr);
#ifdef _WIN32
        // _Exit is ExitProcess there, which still runs every library's
        // detach, the stuck driver's among them.
        ::TerminateProcess(::GetCurrentProcess(), EXIT_FAILURE);
#endif
        std::_Exit(EXIT_FAILURE);
    }
};

}  // namespace

CRemoteMonitorApp& theApp = s_app.m_object;
CCodePoller& g_poller = s_poller.m_object;
CRemoteDriver& g_driver = s_driver.m_object;

namespace {
const CProcessLifetime s_lifetime;
}  // namespace
