#include "RemoteMonitorApp.h"

#include "RemoteMonitorDlg.h"

BEGIN_MESSAGE_MAP(CRemoteMonitorApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

// The whole run is one modal dialog; returning FALSE ends the process
// without an application message loop.
BOOL CRemoteMonitorApp::InitInstance()
{
    Enable3dControls();

    CRemoteMonitorDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    return FALSE;
}
