#include <cstdio>
#include <cstdlib>
#include <string>

#include "display/X11Display.h"

namespace rmwin32 {
namespace {

// The dialogs ask for "MS Sans Serif" 8; where it is missing, a sans serif of
// its widths comes nearest, then whatever sans serif fontconfig has.
const char kFamilies[] = "MS Sans Serif,Microsoft Sans Serif,Liberation Sans,Arial,sans-serif";
const double kPointSize = 8.0;
const double kWindowsDpi = 96.0;

// The desktop's own text scale when it sets one, else Windows' usual.
double ScreenDpi(::Display* pDisplay)
{
    const char* pszDpi = XGetDefault(pDisplay, "Xft", "dpi");
    const double dDpi = pszDpi != nullptr ? std::atof(pszDpi) : 0.0;
    return dDpi >= 48.0 && dDpi <= 480.0 ? dDpi : kWindowsDpi;
}

// Where fontconfig has no font at all, the server's own fonts: a sans serif
// of the size asked for, any proportional one of it, and the "fixed" every
// server has.
XFontStruct* OpenCoreFont(::Display* pDisplay, int nPixels)
{
    const std::string size = std::to_string(nPixels);
    const std::string names[] = {"-*-helvetica-medium-r-normal--" + size + "-*-*-*-p-*-iso8859-1",
                                 "-*-*-medium-r-normal--" + size + "-*-*-*-p-*-iso8859-1", "fixed"};
    for (const std::string& name : names)
    {
        if (XFontStruct* pFont = XLoadQueryFont(pDisplay, name.c_str()))
            return pFont;
    }
    return nullptr;
}

}  // namespace

bool OpenDialogFont(::Display* pDisplay, int nScreen, CDialogFont* pFont)
{
    // As Windows sizes a dialog font: the character height, not the cell's,
    // is the point size at the screen's resolution, rounded.
    const int nPixels = static_cast<int>(kPointSize * ScreenDpi(pDisplay) / 72.0 + 0.5);
    const std::string name = std::string(kFamilies) + ":pixelsize=" + std::to_string(nPixels);
    pFont->pXft = XftFontOpenName(pDisplay, nScreen, name.c_str());
    if (pFont->pXft != nullptr)
        return true;
    pFont->pCore = OpenCoreFont(pDisplay, nPixels);
    if (pFont->pCore != nullptr)
    {
        std::fprintf(stderr, "RemoteMonitor: fontconfig finds no font; the window's text is in the X server's "
                             "own font.\n");
        return true;
    }
    std::fprintf(stderr, "RemoteMonitor: fontconfig finds no font and the X server offers none; no window.\n");
    return false;
}

int FontAscent(const CDialogFont& font)
{
    return font.pXft != nullptr ? font.pXft->ascent : font.pCore->ascent;
}

int FontHeight(const CDialogFont& font)
{
    return font.pXft != nullptr ? font.pXft->ascent + font.pXft->descent : font.pCore->ascent + font.pCore->descent;
}

int FontTextWidth(::Display* pDisplay, const CDialogFont& font, const std::string& text)
{
    if (font.pCore != nullptr)
        return XTextWidth(font.pCore, text.data(), static_cast<int>(text.size()));
    XGlyphInfo extents;
    XftTextExtents8(pDisplay, font.pXft, reinterpret_cast<const FcChar8*>(text.data()), static_cast<int>(text.size()),
                    &extents);
    return extents.xOff;
}

SIZE DialogBaseUnits(::Display* pDisplay, const CDialogFont& font)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE units;
    units.cx = ((FontTextWidth(pDisplay, font, kAlphabet) / 26) + 1) / 2;
    units.cy = FontHeight(font);
    return units;
}

}  // namespace rmwin32
