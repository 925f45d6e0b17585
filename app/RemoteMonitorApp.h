#ifndef REMOTEMONITOR_APP_H
#define REMOTEMONITOR_APP_H

#include "afxwin.h"

class CRemoteMonitorApp : public CWinApp
{
public:
    CRemoteMonitorApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

// Defined with the other process-wide objects, whose order is fixed there.
extern CRemoteMonitorApp& theApp;

#endif
