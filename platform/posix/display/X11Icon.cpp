// The dialog's icon: every size of its group as the window's _NET_WM_ICON,
// for the window manager to pick from, and the picture a minimized dialog
// paints of itself.
#include <X11/Xatom.h>

#include <vector>

#include "display/X11Display.h"
#include "resource/Resource.h"

namespace rmwin32 {
namespace {

const uint32_t kOpaque = 0xFF000000u;

XRenderColor RenderColour(uint32_t rgb)
{
    XRenderColor colour;
    colour.red = static_cast<unsigned short>(((rgb >> 16) & 0xFF) * 0x101);
    colour.green = static_cast<unsigned short>(((rgb >> 8) & 0xFF) * 0x101);
    colour.blue = static_cast<unsigned short>((rgb & 0xFF) * 0x101);
    colour.alpha = 0xFFFF;
    return colour;
}

}  // namespace

void CX11Display::SetIconProperty(Window xid, HWND hDlg)
{
    HICON hIcon = reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_BIG, 0));
    if (hIcon == nullptr)
        hIcon = reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_SMALL, 0));
    if (hIcon == nullptr)
        return;
    // Width, height, then ARGB rows from the top; a 32-bit property is made
    // of longs, whatever their size.
    std::vector<long> data;
    for (HICON hImage : GetIconFamily(hIcon))
    {
        const IconImage* pImage = GetIconImage(hImage);
        if (pImage == nullptr)
            continue;
        data.push_back(pImage->width);
        data.push_back(pImage->height);
        for (int y = 0; y < pImage->height; ++y)
        {
            for (int x = 0; x < pImage->width; ++x)
            {
                uint32_t rgb = 0;
                data.push_back(GetIconPixel(hImage, x, y, &rgb) ? static_cast<long>(kOpaque | rgb) : 0L);
            }
        }
    }
    if (!data.empty())
    {
        XChangeProperty(m_pDisplay, xid, m_atomNetWmIcon, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    }
}

// The device context our layer hands out is the window's handle.
BOOL CX11Display::DrawIcon(HDC hDC, int x, int y, HICON hIcon)
{
    const IconImage* pImage = GetIconImage(hIcon);
    if (hDC == nullptr || pImage == nullptr)
        return FALSE;
    CXWindow* pWindow = m_bLost ? nullptr : FindXWindow(reinterpret_cast<HWND>(hDC));
    if (pWindow == nullptr)
        return TRUE;
    for (int row = 0; row < pImage->height; ++row)
    {
        for (int col = 0; col < pImage->width; ++col)
        {
            uint32_t rgb = 0;
            if (!GetIconPixel(hIcon, col, row, &rgb))
                continue;
            XftColor colour;
            colour.color = RenderColour(rgb);
            colour.pixel = 0;
            XftDrawRect(pWindow->pDraw, &colour, x + col, y + row, 1, 1);
        }
    }
    return TRUE;
}

}  // namespace rmwin32
