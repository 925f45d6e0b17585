#include "RemoteMonitorDlg.h"

#include "CodePoller.h"
#include "RemoteDriver.h"

namespace {

// The system's words for an error as a sentence of its own, without the
// line end Windows puts after them; empty when the system has none.
CString SystemWords(DWORD dwError)
{
    char szWords[256];
    DWORD nLength = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                                     szWords, sizeof szWords - 1, nullptr);
    while (nLength > 0 && (szWords[nLength - 1] == '\r' || szWords[nLength - 1] == '\n' || szWords[nLength - 1] == ' '))
        --nLength;
    szWords[nLength] = '\0';
    CString strWords;
    if (nLength > 0)
        strWords.Format(szWords[nLength - 1] == '.' ? "%s" : "%s.", szWords);
    return strWords;
}

}  // namespace

BEGIN_MESSAGE_MAP(CRemoteMonitorDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
END_MESSAGE_MAP()

CRemoteMonitorDlg::CRemoteMonitorDlg(CWnd* pParent) : CDialog(IDD, pParent)
{
    LPCSTR pszIcon = MAKEINTRESOURCEA(IDI_MAIN);
    m_hIcon = LoadIconA(AfxFindResourceHandle(pszIcon, RT_GROUP_ICON), pszIcon);
}

void CRemoteMonitorDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
}

BOOL CRemoteMonitorDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    if (CRemoteDriver::SelectCard(0))
    {
        // The handles are in place before the worker exists, so it never
        // sees them change.
        GetDlgItem(IDC_CODE, &g_poller.m_hCodeWnd);
        GetDlgItem(IDC_CODE_EX, &g_poller.m_hCodeExWnd);
        if (g_poller.Start())
            return TRUE;
        // Without its worker the dialog would look like a remote that sends
        // nothing.
        const CString strWhy = SystemWords(g_poller.StartError());
        CString strMessage;
        strMessage.Format(strWhy.IsEmpty() ? "%s" : "%s\n%s", "Unable to start reading the remote in the background.",
                          static_cast<LPCSTR>(strWhy));
        CloseSaying(strMessage);
    }
    else
    {
        CloseSaying(CRemoteDriver::GetStatus() != DRIVER_NOT_LOADED ? "Tuner not found."
                                                                    : "Unable to initialize TavrixRC.dll library.");
    }
    return TRUE;
}

void CRemoteMonitorDlg::CloseSaying(LPCSTR pszMessage)
{
    AfxMessageBox(pszMessage, MB_OK, 0);
    // Closed the way a user closes it, through its own loop once that runs,
    // so the run ends by the one path every run ends by.
    PostMessage(WM_CLOSE);
}

POINT CRemoteMonitorDlg::IconOrigin(int cxClient, int cyClient, int cxIcon, int cyIcon)
{
    POINT pt;
    pt.x = (cxClient - cxIcon + 1) / 2;
    pt.y = (cyClient - cyIcon + 1) / 2;
    return pt;
}

void CRemoteMonitorDlg::OnPaint()
{
    if (!IsIconic())
    {
        Default();
        return;
    }

    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    RECT rect;
    GetClientRect(&rect);
    POINT pt = IconOrigin(rect.right - rect.left, rect.bottom - rect.top, GetSystemMetrics(SM_CXICON),
                          GetSystemMetrics(SM_CYICON));
    dc.DrawIcon(pt.x, pt.y, m_hIcon);
}

HCURSOR CRemoteMonitorDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}
