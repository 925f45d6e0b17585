#ifndef REMOTEMONITOR_DLG_H
#define REMOTEMONITOR_DLG_H

#include "afxwin.h"
#include "resource.h"

class CRemoteMonitorDlg : public CDialog
{
public:
    explicit CRemoteMonitorDlg(CWnd* pParent = nullptr);

    enum
    {
        IDD = IDD_MAIN_DIALOG
    };

    // Where an icon of cxIcon x cyIcon goes to sit centred in a client area
    // of cxClient x cyClient, rounding half a pixel towards the far edge.
    static POINT IconOrigin(int cxClient, int cyClient, int cxIcon, int cyIcon);

protected:
    HICON m_hIcon;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    // A start that cannot go on: the message, then the dialog closes.
    void CloseSaying(LPCSTR pszMessage);

    DECLARE_MESSAGE_MAP()
};

#endif
