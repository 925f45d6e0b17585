// Window classes: registered once per process, found by name (without regard
// to case) or by atom.
#include "user/ClassRegistry.h"

#include "kernel/Strings.h"
#include "user/User.h"

#include <map>

namespace rmwin32 {
namespace {

struct CLessIgnoringCase
{
    bool operator()(const std::string& a, const std::string& b) const
    {
        return CompareIgnoringCase(a.c_str(), b.c_str()) < 0;
    }
};

// Guarded by Lock(); never destroyed, as the window table.
struct CClassRegistry
{
    std::map<std::string, std::shared_ptr<CWindowClass>, CLessIgnoringCase> classes;
    ATOM nextAtom = 0xC000;
};

CClassRegistry& Registry()
{
    static CClassRegistry* pRegistry = new CClassRegistry;
    return *pRegistry;
}

bool IsValidClass(const WNDCLASSA* lpWndClass)
{
    return lpWndClass != nullptr && lpWndClass->lpfnWndProc != nullptr && IsTextPointer(lpWndClass->lpszClassName) &&
           lpWndClass->lpszClassName[0] != '\0' && lpWndClass->cbWndExtra >= 0 && lpWndClass->cbWndExtra <= 40000;
}

}  // namespace

std::shared_ptr<CWindowClass> FindClassLocked(LPCSTR lpClassName)
{
    CClassRegistry& registry = Registry();
    if (lpClassName == nullptr)
        return nullptr;
    if (IS_INTRESOURCE(lpClassName))
    {
        const ATOM atom = static_cast<ATOM>(reinterpret_cast<uintptr_t>(lpClassName));
        for (const auto& entry : registry.classes)
        {
            if (entry.second->atom == atom)
                return entry.second;
        }
        return nullptr;
    }
    auto it = registry.classes.find(lpClassName);
    return it == registry.classes.end() ? nullptr : it->second;
}

}  // namespace rmwin32

ATOM RegisterClassA(const WNDCLASSA* lpWndClass)
{
    using namespace rmwin32;
    return ApiCall([&]() -> ATOM {
        CLayerScope scope;
        if (!IsValidClass(lpWndClass))
        {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        std::lock_guard<std::mutex> lock(Lock());
        CClassRegistry& registry = Registry();
        if (registry.classes.count(lpWndClass->lpszClassName) != 0)
        {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
        auto pClass = std::make_shared<CWindowClass>();
        pClass->name = lpWndClass->lpszClassName;
        pClass->atom = registry.nextAtom++;
        pClass->pfnProc = lpWndClass->lpfnWndProc;
        pClass->cbWndExtra = lpWndClass->cbWndExtra;
        pClass->hInstance = lpWndClass->hInstance;
        registry.classes[pClass->name] = pClass;
        return pClass->atom;
    });
}

int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount)
{
    return rmwin32::WithWindow(hWnd, 0, [&](rmwin32::CWindow& window) {
        if (nMaxCount <= 0)
            return 0;
        const std::string& name = window.pClass->name;
        return static_cast<int>(
            rmwin32::CopyTruncated(name.data(), name.size(), lpClassName, static_cast<size_t>(nMaxCount)));
    });
}
