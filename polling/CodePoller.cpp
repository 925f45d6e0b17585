#include "CodePoller.h"

#include <afxwin.h>

#include "RemoteDriver.h"

namespace {

const int kPriority = THREAD_PRIORITY_NORMAL;
const int kStopTimeoutSeconds = 1;
const DWORD kPollPauseMs = 20;

}  // namespace

CCodePoller::CCodePoller()
    : CWorkerThread(kPriority, kStopTimeoutSeconds),
      m_dwLastCodeEx(0),
      m_nLastCode(-1),
      m_hCodeWnd(nullptr),
      m_hCodeExWnd(nullptr)
{
}

CCodePoller::~CCodePoller()
{
    // No step may run on a half-destroyed object.
    Stop();
}

bool CCodePoller::Step()
{
    if (m_hCodeWnd != nullptr)
    {
        const int nCode = CRemoteDriver::ReadCode();
        if (nCode != m_nLastCode)
        {
            m_nLastCode = nCode;
            CString strText;
            if (nCode >= 0)
                strText.Format("%d", nCode);
            // A synchronous call into the window's thread; it fails once the
            // window is gone, which is of no concern here.
            ::SetWindowTextA(m_hCodeWnd, strText);
        }
    }

    if (m_hCodeExWnd != nullptr)
    {
        const DWORD dwCodeEx = CRemoteDriver::ReadCodeEx();
        if (dwCodeEx != m_dwLastCodeEx)
        {
            m_dwLastCodeEx = dwCodeEx;
            CString strText;
            if (dwCodeEx != 0)
                strText.Format("%08X", static_cast<unsigned int>(dwCodeEx));
            ::SetWindowTextA(m_hCodeExWnd, strText);
        }
    }

    ::Sleep(kPollPauseMs);
    return true;
}
