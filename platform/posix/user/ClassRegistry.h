// Window classes registered with RegisterClassA.
#ifndef REMOTEMONITOR_USER_CLASSREGISTRY_H
#define REMOTEMONITOR_USER_CLASSREGISTRY_H

#include <windows.h>

#include <memory>
#include <string>

namespace rmwin32 {

struct CWindowClass
{
    std::string name;
    ATOM atom = 0;
    WNDPROC pfnProc = nullptr;
    int cbWndExtra = 0;
    HINSTANCE hInstance = nullptr;
};

// The class a name or an atom names, or null. Needs Lock().
std::shared_ptr<CWindowClass> FindClassLocked(LPCSTR lpClassName);

// True for a string pointer, false for null or MAKEINTRESOURCE/MAKEINTATOM.
inline bool IsTextPointer(LPCSTR psz)
{
    return psz != nullptr && !IS_INTRESOURCE(psz);
}

}  // namespace rmwin32

#endif
