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

int CStackedDisplay::Metric(int nIndex, int cx, int cy)
{
    switch (nIndex)
    {
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXSCREEN:
        return cx;
    case SM_CYSCREEN:
        return cy;
    default:
        return 0;
    }
}

HWND CStackedDisplay::KeyTarget() const
{
    HWND hTop = TopDialog();
    HWND hFocus = GetFocus();
    if (hFocus != nullptr && (hFocus == hTop || GetParent(hFocus) == hTop))
        return hFocus;
    return hTop;
}

void CStackedDisplay::PostKeyDown(int nVirtKey, int nChar) const
{
    HWND hTarget = KeyTarget();
    if (hTarget == nullptr)
        return;
    if (nVirtKey != 0)
        PostMessageA(hTarget, WM_KEYDOWN, static_cast<WPARAM>(nVirtKey), 1);
    if (nChar != 0)
        PostMessageA(hTarget, WM_CHAR, static_cast<WPARAM>(nChar), 1);
}

void CStackedDisplay::PostKeyUp(int nVirtKey) const
{
    if (HWND hTarget = KeyTarget())
        PostMessageA(hTarget, WM_KEYUP, static_cast<WPARAM>(nVirtKey), 1);
}

void CStackedDisplay::PostKey(int nVirtKey, int nChar) const
{
    PostKeyDown(nVirtKey, nChar);
    if (nVirtKey != 0)
        PostKeyUp(nVirtKey);
}

}  // namespace rmwin32
