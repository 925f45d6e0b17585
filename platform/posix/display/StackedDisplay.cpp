#include "display/StackedDisplay.h"

#include <algorithm>

#include "display/EndRequests.h"
#include "user/Queue.h"

namespace rmwin32 {
namespace {

void WaitOnDisplay(int nWakeFd)
{
    Display().WaitForInput(nWakeFd);
}

}  // namespace

void CStackedDisplay::AttachDialog(HWND hDlg)
{
    InstallEndRequestHandlers();
    if (m_dialogs.empty())
        OnFirstDialog();
    m_dialogs.push_back(hDlg);
    SetIdleWait(&WaitOnDisplay);
}

void CStackedDisplay::DetachDialog(HWND hDlg)
{
    m_dialogs.erase(std::remove(m_dialogs.begin(), m_dialogs.end(), hDlg), m_dialogs.end());
    if (!m_dialogs.empty())
    {
        InvalidateRect(m_dialogs.back(), nullptr, TRUE);
        return;
    }
    SetIdleWait(nullptr);
    OnLastDialog();
}

void CStackedDisplay::InvalidateControl(HWND hCtl)
{
    HWND hParent = GetParent(hCtl);
    InvalidateRect(hParent != nullptr ? hParent : hCtl, nullptr, FALSE);
}

void CStackedDisplay::CloseTopDialog() const
{
    if (HWND hTop = TopDialog())
        PostMessageA(hTop, WM_CLOSE, 0, 0);
}

bool CStackedDisplay::ServiceEndRequests() const
{
    const CEndRequests requests = ReadEndRequests();
    for (int i = 0; i < requests.nEnds; ++i)
        CloseTopDialog();
    return requests.bResized;
}

}  // namespace rmwin32
