// The dialog's icon: every size of its group as the window's _NET_WM_ICON,
// for the window manager to pick from; its big image as the WM_HINTS icon
// bitmap and mask, for window managers that read only those (twm); and the
// picture a minimized dialog paints of itself.
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

HICON DialogIcon(HWND hDlg)
{
    HICON hIcon = reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_BIG, 0));
    if (hIcon == nullptr)
        hIcon = reinterpret_cast<HICON>(SendMessageA(hDlg, WM_GETICON, ICON_SMALL, 0));
    return hIcon;
}

}  // namespace

void CX11Display::DrawIconPixels(XftDraw* pDraw, int x, int y, HICON hIcon)
{
    const IconImage* pImage = GetIconImage(hIcon);
    for (int row = 0; pImage != nullptr && row < pImage->height; ++row)
    {
        for (int col = 0; col < pImage->width; ++col)
        {
            uint32_t rgb = 0;
            if (!GetIconPixel(hIcon, col, row, &rgb))
                continue;
            XftColor colour;
            colour.color = RenderColour(rgb);
            colour.pixel = 0;
            XftDrawRect(pDraw, &colour, x + col, y + row, 1, 1);
        }
    }
}

// As ICCCM asks, one bit deep (twm copies its first plane): the icon's dark
// pixels in the foreground, its opaque ones in the mask.
void CX11Display::CreateIconPixmaps(HWND hDlg, CXWindow& window)
{
    const HICON hIcon = DialogIcon(hDlg);
    const IconImage* pImage = hIcon != nullptr ? GetIconImage(hIcon) : nullptr;
    if (pImage == nullptr || pImage->width <= 0 || pImage->height <= 0)
        return;
    const int nRowBytes = (pImage->width + 7) / 8;
    std::vector<char> dark(static_cast<size_t>(nRowBytes * pImage->height), 0);
    std::vector<char> opaque(dark.size(), 0);
    for (int y = 0; y < pImage->height; ++y)
    {
        for (int x = 0; x < pImage->width; ++x)
        {
            uint32_t rgb = 0;
            if (!GetIconPixel(hIcon, x, y, &rgb))
                continue;
            const size_t nByte = static_cast<size_t>(y * nRowBytes + x / 8);
            const char bit = static_cast<char>(1 << (x % 8));
            opaque[nByte] = static_cast<char>(opaque[nByte] | bit);
            const unsigned nLuma = (((rgb >> 16) & 0xFF) * 299 + ((rgb >> 8) & 0xFF) * 587 + (rgb & 0xFF) * 114) / 1000;
            if (nLuma < 128)
                dark[nByte] = static_cast<char>(dark[nByte] | bit);
        }
    }
    const Window root = RootWindow(m_pDisplay, m_nScreen);
    const unsigned cx = static_cast<unsigned>(pImage->width), cy = static_cast<unsigned>(pImage->height);
    window.iconPixmap = XCreateBitmapFromData(m_pDisplay, root, dark.data(), cx, cy);
    window.iconMask = XCreateBitmapFromData(m_pDisplay, root, opaque.data(), cx, cy);
}

void CX11Display::SetIconProperty(Window xid, HWND hDlg)
{
    const HICON hIcon = DialogIcon(hDlg);
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
    if (pWindow != nullptr)
        DrawIconPixels(pWindow->pDraw, x, y, hIcon);
    return TRUE;
}

}  // namespace rmwin32
