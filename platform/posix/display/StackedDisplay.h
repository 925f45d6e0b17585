// What every display does with the dialogs it shows: it keeps them in the
// order they came, the most recent on top, takes over the dialog thread's
// message wait while any is shown, and closes the top one on a request to end.
#ifndef REMOTEMONITOR_STACKED_DISPLAY_H
#define REMOTEMONITOR_STACKED_DISPLAY_H

#include <vector>

#include "display/Display.h"

namespace rmwin32 {

class CStackedDisplay : public CDisplay
{
public:
    void AttachDialog(HWND hDlg) override;
    void DetachDialog(HWND hDlg) override;
    // Every visible change of a control shows on the one screen its dialog
    // is on, so the whole dialog is redrawn.
    void InvalidateControl(HWND hCtl) override;

protected:
    const std::vector<HWND>& Dialogs() const { return m_dialogs; }
    HWND TopDialog() const { return m_dialogs.empty() ? nullptr : m_dialogs.back(); }
    // As the top dialog's close box would.
    void CloseTopDialog() const;
    // Takes the pending end requests: each closes the top dialog. True when
    // the screen has changed size since the last call.
    bool ServiceEndRequests() const;

    // Keys go where the focus is, as long as it is in the top dialog; else
    // to the top dialog itself.
    HWND KeyTarget() const;
    // WM_KEYDOWN and, for a key that types one, WM_CHAR; nVirtKey 0 posts
    // the character alone.
    void PostKeyDown(int nVirtKey, int nChar) const;
    void PostKeyUp(int nVirtKey) const;
    // A key pressed and released at once, where only whole keys are seen.
    void PostKey(int nVirtKey, int nChar) const;

    // GetSystemMetrics as every display answers it, for a screen of cx by cy.
    static int Metric(int nIndex, int cx, int cy);

    virtual void OnFirstDialog() {}
    virtual void OnLastDialog() {}

private:
    std::vector<HWND> m_dialogs;
};

}  // namespace rmwin32

#endif
