// The controls in the classic look of their styles: push buttons raised, the
// default one in a heavier frame, the focused one with a dotted rectangle;
// static texts left or right in their box, sunken where the style says so.
#include <algorithm>

#include "display/X11Display.h"

namespace rmwin32 {

void CX11Display::Fill(XftDraw* pDraw, int x, int y, int cx, int cy, EFaceColour colour)
{
    if (cx > 0 && cy > 0)
        XftDrawRect(pDraw, &m_colours[colour], x, y, static_cast<unsigned>(cx), static_cast<unsigned>(cy));
}

// A one-pixel edge, lit from the top left as every 3D edge of the look is.
void CX11Display::Frame(XftDraw* pDraw, int x, int y, int cx, int cy, EFaceColour topLeft, EFaceColour bottomRight)
{
    Fill(pDraw, x, y, cx - 1, 1, topLeft);
    Fill(pDraw, x, y, 1, cy - 1, topLeft);
    Fill(pDraw, x, y + cy - 1, cx, 1, bottomRight);
    Fill(pDraw, x + cx - 1, y, 1, cy, bottomRight);
}

void CX11Display::DottedFrame(XftDraw* pDraw, int x, int y, int cx, int cy)
{
    for (int i = 0; i < cx; i += 2)
    {
        Fill(pDraw, x + i, y, 1, 1, kText);
        Fill(pDraw, x + i, y + cy - 1, 1, 1, kText);
    }
    for (int i = 0; i < cy; i += 2)
    {
        Fill(pDraw, x, y + i, 1, 1, kText);
        Fill(pDraw, x + cx - 1, y + i, 1, 1, kText);
    }
}

int CX11Display::TextWidth(const std::string& text) const
{
    return FontTextWidth(m_pDisplay, m_font, text);
}

void CX11Display::Text(XftDraw* pDraw, int x, int yTop, const std::string& text)
{
    const int yBaseline = yTop + FontAscent(m_font);
    if (m_font.pCore != nullptr)
        XDrawString(m_pDisplay, XftDrawDrawable(pDraw), m_coreTextGc, x, yBaseline, text.data(),
                    static_cast<int>(text.size()));
    else
        XftDrawString8(pDraw, &m_colours[kText], m_font.pXft, x, yBaseline,
                       reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()));
}

void CX11Display::PublishText(CXWindow& window, const std::string& text)
{
    if (window.bPublished && window.published == text)
        return;
    XStoreName(m_pDisplay, window.xid, text.c_str());
    window.published = text;
    window.bPublished = true;
}

void CX11Display::DrawDialog(HWND hDlg, CXWindow& window)
{
    RECT rc;
    GetClientRect(hDlg, &rc);
    Fill(window.pDraw, 0, 0, rc.right, rc.bottom, kFace);
}

bool CX11Display::IsActive(HWND hDlg)
{
    const CXWindow* pDialog = FindXWindow(hDlg);
    return pDialog != nullptr && pDialog->bActive;
}

void CX11Display::DrawButton(HWND hCtl, XftDraw* pDraw, int cx, int cy)
{
    const bool bActive = IsActive(GetParent(hCtl));
    const bool bDefault = bActive && (GetWindowLongPtrA(hCtl, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    const bool bPushed =
        (m_hPressed == hCtl && m_bPressedInside) || (SendMessageA(hCtl, BM_GETSTATE, 0, 0) & BST_PUSHED);
    Fill(pDraw, 0, 0, cx, cy, kFace);
    int nInset = 0;
    if (bDefault)
    {
        Frame(pDraw, 0, 0, cx, cy, kDarkShadow, kDarkShadow);
        nInset = 1;
    }
    const int x = nInset, y = nInset, w = cx - 2 * nInset, h = cy - 2 * nInset;
    if (bPushed)
    {
        Frame(pDraw, x, y, w, h, kShadow, kShadow);
    }
    else
    {
        Frame(pDraw, x, y, w, h, kHighlight, kDarkShadow);
        Frame(pDraw, x + 1, y + 1, w - 2, h - 2, kLight, kShadow);
    }
    const std::string label = WindowText(hCtl);
    const int nShift = bPushed ? 1 : 0;
    const int nTextHeight = FontHeight(m_font);
    Text(pDraw, (cx - TextWidth(label)) / 2 + nShift, (cy - nTextHeight) / 2 + nShift, label);
    if (bActive && GetFocus() == hCtl)
        DottedFrame(pDraw, nInset + 3, nInset + 3, w - 6, h - 6);
}

void CX11Display::DrawStatic(HWND hCtl, XftDraw* pDraw, int cx, int cy)
{
    const LONG_PTR style = GetWindowLongPtrA(hCtl, GWL_STYLE);
    Fill(pDraw, 0, 0, cx, cy, kFace);
    int nInset = 0;
    if (style & SS_SUNKEN)
    {
        Frame(pDraw, 0, 0, cx, cy, kShadow, kHighlight);
        nInset = 1;
    }
    const int nLineHeight = FontHeight(m_font);
    const std::vector<std::string> lines = SplitLines(WindowText(hCtl));
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const int nWidth = TextWidth(lines[i]);
        const int nRoom = cx - 2 * nInset;
        int x = nInset;
        if ((style & SS_TYPEMASK) == SS_RIGHT)
            x = nInset + nRoom - nWidth;
        else if ((style & SS_TYPEMASK) == SS_CENTER)
            x = nInset + (nRoom - nWidth) / 2;
        Text(pDraw, x, nInset + static_cast<int>(i) * nLineHeight, lines[i]);
    }
}

}  // namespace rmwin32
