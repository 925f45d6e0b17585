// Keeps the dialog's two value fields current: polls the driver on its own
// thread and rewrites a field only when the value behind it has changed.
#ifndef REMOTEMONITOR_CODEPOLLER_H
#define REMOTEMONITOR_CODEPOLLER_H

#include "WorkerThread.h"

class CCodePoller : public CWorkerThread
{
public:
    CCodePoller();  // normal priority, one second to stop
    ~CCodePoller() override;

    // Never asks to end: the poller runs until it is stopped.
    bool Step() override;

    // Last value seen, which is also the last one shown. They start as the
    // no-code values, so nothing is written while there is no key.
    DWORD m_dwLastCodeEx;
    int m_nLastCode;
    // The fields, set before Start and not changed while the thread runs.
    // Not owned: once their windows are gone, writes fail and are ignored.
    // A null handle leaves its field unread and unwritten.
    HWND m_hCodeWnd;
    HWND m_hCodeExWnd;
};

// Defined where the process-wide objects are, with their teardown order fixed
// there; tests define their own.
extern CCodePoller& g_poller;

#endif
