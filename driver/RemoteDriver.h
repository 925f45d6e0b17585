// Binding to the tuner card maker's remote-control driver library,
// TavrixRC.dll, which is loaded at run time by its bare file name.
#ifndef REMOTEMONITOR_REMOTEDRIVER_H
#define REMOTEMONITOR_REMOTEDRIVER_H

#include <windows.h>

// What GetStatus reports.
enum
{
    DRIVER_NOT_LOADED = 0,  // no library, or a mandatory entry is missing
    DRIVER_NO_CARD = 1,     // library bound, no card selected
    DRIVER_CARD_OPEN = 2    // library bound, a card selected
};

// The address put in the upper half of an extended code derived from a plain
// code when the library cannot give the extended code itself.
const DWORD NEC_FALLBACK_ADDRESS = 0x866B;

// The library's entries take and return 32-bit values, and the caller removes
// the arguments from the stack: the real 32-bit library is built that way.
typedef int(__cdecl* PFN_GETCARDCOUNT)(void);
typedef int(__cdecl* PFN_OPENCARD)(int);
typedef int(__cdecl* PFN_GETREMOTECODE)(void);
typedef DWORD(__cdecl* PFN_GETREMOTECODEEX)(void);
typedef int(__cdecl* PFN_UNINIT)(void);

class CRemoteDriver
{
public:
    CRemoteDriver();   // runs Load
    ~CRemoteDriver();  // runs Release

    CRemoteDriver(const CRemoteDriver&) = delete;
    CRemoteDriver& operator=(const CRemoteDriver&) = delete;

    // The process binds once: Load at construction, Release at destruction.
    // Both are public so that a test can rebind to another library (picked
    // with SetDllDirectoryA). Release leaves the object unbound, so calling it
    // twice is harmless; Load on a bound object releases it first.
    void Load();
    void Release();

    // These act on the one process-wide binding, g_driver.
    static int GetStatus();
    static int SelectCard(int nIndex);  // 1 when a card was selected, else 0
    static int ReadCode();              // 0..254, a negative code of the driver's, or -1
    static DWORD ReadCodeEx();          // extended code, 0 when there is none

private:
    void Unbind();

    PFN_GETREMOTECODEEX m_pfnGetRemoteCodeEx = nullptr;  // optional entry
    PFN_GETREMOTECODE m_pfnGetRemoteCode = nullptr;
    PFN_GETCARDCOUNT m_pfnGetCardCount = nullptr;
    PFN_OPENCARD m_pfnOpenCard = nullptr;
    PFN_UNINIT m_pfnUnInit = nullptr;
    // Non-null only while the library is loaded with all four mandatory
    // entries; no entry pointer is called while it is null.
    HMODULE m_hLibrary = nullptr;
    bool m_bCardOpen = false;
};

// Defined where the process-wide objects are, with their teardown order fixed
// there; tests define their own.
extern CRemoteDriver& g_driver;

#endif
