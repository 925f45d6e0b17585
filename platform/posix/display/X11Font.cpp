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

}  // namespace

XftFont* OpenDialogFont(::Display* pDisplay, int nScreen)
{
    // As Windows sizes a dialog font: the character height, not the cell's,
    // is the point size at the screen's resolution, rounded.
    const int nPixels = static_cast<int>(kPointSize * ScreenDpi(pDisplay) / 72.0 + 0.5);
    const std::string name = std::string(kFamilies) + ":pixelsize=" + std::to_string(nPixels);
    return XftFontOpenName(pDisplay, nScreen, name.c_str());
}

SIZE DialogBaseUnits(::Display* pDisplay, XftFont* pFont)
{
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    XGlyphInfo extents;
    XftTextExtents8(pDisplay, pFont, reinterpret_cast<const FcChar8*>(kAlphabet), sizeof kAlphabet - 1, &extents);
    SIZE units;
    units.cx = ((extents.xOff / 26) + 1) / 2;
    units.cy = pFont->ascent + pFont->descent;
    return units;
}

}  // namespace rmwin32
