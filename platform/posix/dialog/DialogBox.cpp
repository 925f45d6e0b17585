// Modal dialogs from binary templates.
#include <string>

#include "DialogTemplate.h"
#include "dialog/DialogManager.h"
#include "display/Display.h"
#include "resource/Resource.h"

namespace rmwin32 {
namespace {

// Windows' MulDiv for the small positive and negative values of dialog units.
int ScaleRounded(int nUnits, int nBase, int nDivisor)
{
    const int nProduct = nUnits * nBase;
    return nProduct >= 0 ? (nProduct + nDivisor / 2) / nDivisor : -((-nProduct + nDivisor / 2) / nDivisor);
}

HMENU ControlMenu(uint32_t id)
{
    return reinterpret_cast<HMENU>(static_cast<UINT_PTR>(static_cast<WORD>(id)));
}

// The dialog and its controls, hidden; nullptr when any cannot be made. The
// dialog procedure is in place before the first control exists.
HWND CreateFromTemplate(const rmres::DialogTemplate& tmpl, HINSTANCE hInstance, HWND hWndParent, DLGPROC pfnDlgProc)
{
    const std::string className = tmpl.windowClass.empty() ? std::string(kDialogClass) : tmpl.windowClass;
    HWND hDlg =
        CreateWindowExA(tmpl.exStyle, className.c_str(), tmpl.title.c_str(),
                        tmpl.style & ~static_cast<DWORD>(WS_VISIBLE), DialogUnitsToX(tmpl.x), DialogUnitsToY(tmpl.y),
                        DialogUnitsToX(tmpl.cx), DialogUnitsToY(tmpl.cy), hWndParent, nullptr, hInstance, nullptr);
    if (hDlg == nullptr)
        return nullptr;
    SetWindowLongPtrA(hDlg, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(pfnDlgProc));
    for (const rmres::DialogItem& item : tmpl.items)
    {
        HWND hCtl = CreateWindowExA(item.exStyle, item.className.c_str(), item.title.c_str(), item.style,
                                    DialogUnitsToX(item.x), DialogUnitsToY(item.y), DialogUnitsToX(item.cx),
                                    DialogUnitsToY(item.cy), hDlg, ControlMenu(item.id), hInstance, nullptr);
        if (hCtl == nullptr)
        {
            DestroyWindow(hDlg);
            return nullptr;
        }
    }
    return hDlg;
}

}  // namespace

int DialogUnitsToX(int nUnits)
{
    return ScaleRounded(nUnits, Display().GetBaseUnits().cx, 4);
}

int DialogUnitsToY(int nUnits)
{
    return ScaleRounded(nUnits, Display().GetBaseUnits().cy, 8);
}

}  // namespace rmwin32

INT_PTR DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                DLGPROC lpDialogFunc, LPARAM dwInitParam)
{
    using namespace rmwin32;
    RegisterDialogClasses();
    rmres::DialogTemplate tmpl;
    // A template carries no size of its own: one from our resources is
    // bounded by its resource, any other by the 64 KiB any real one fits in.
    size_t nSize = ResourceSizeFromData(hDialogTemplate);
    if (nSize == 0)
        nSize = 0x10000;
    if (hDialogTemplate == nullptr || !rmres::ParseDialogTemplate(hDialogTemplate, nSize, &tmpl))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    HWND hDlg = CreateFromTemplate(tmpl, hInstance, hWndParent, lpDialogFunc);
    if (hDlg == nullptr)
        return -1;

    BeginModal(hDlg);
    const WPARAM wFirst = reinterpret_cast<WPARAM>(GetNextDlgTabItem(hDlg, nullptr, FALSE));
    const BOOL bSetFocus = static_cast<BOOL>(SendMessageA(hDlg, WM_INITDIALOG, wFirst, dwInitParam));
    return RunModal(hDlg, bSetFocus);
}
