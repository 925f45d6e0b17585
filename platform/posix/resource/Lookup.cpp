// Finding a resource by type, name and language, as FindResourceExA does.
#include "resource/Resource.h"

#include "kernel/Strings.h"

#include <cstdlib>

namespace rmwin32 {
namespace {

bool IsExecutable(HMODULE hModule)
{
    return hModule == nullptr || hModule == GetModuleHandleA(nullptr);
}

// A name as the API takes it: MAKEINTRESOURCE(n), "#n" or a string.
bool Matches(const ResId& id, LPCSTR psz)
{
    if (IS_INTRESOURCE(psz))
        return id.ordinal != 0 && id.ordinal == LOWORD(psz);
    if (psz[0] == '#')
    {
        char* pEnd = nullptr;
        unsigned long n = std::strtoul(psz + 1, &pEnd, 10);
        return psz[1] != '\0' && *pEnd == '\0' && n != 0 && n <= 0xFFFF && id.ordinal == n;
    }
    return id.ordinal == 0 && CompareIgnoringCase(id.name.c_str(), psz) == 0;
}

}  // namespace

const ResEntry* FromHandle(HRSRC hResInfo)
{
    for (const ResEntry& entry : EmbeddedResources())
    {
        if (reinterpret_cast<HRSRC>(const_cast<ResEntry*>(&entry)) == hResInfo)
            return &entry;
    }
    return nullptr;
}

namespace {

// Without a language, Windows looks for a neutral resource, then one in the
// user's and the system's default language, then US English, then takes the
// first it has. Here the defaults are the neutral ones.
const ResEntry* PickLanguage(const std::vector<const ResEntry*>& candidates, WORD wLanguage)
{
    if (wLanguage != MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))
    {
        for (const ResEntry* pEntry : candidates)
        {
            if (pEntry->language == wLanguage)
                return pEntry;
        }
        return nullptr;
    }
    static const WORD kPreferred[] = {
        MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        MAKELANGID(LANG_NEUTRAL, 0x02),  // SUBLANG_SYS_DEFAULT
        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
    };
    for (WORD wPreferred : kPreferred)
    {
        for (const ResEntry* pEntry : candidates)
        {
            if (pEntry->language == wPreferred)
                return pEntry;
        }
    }
    return candidates.empty() ? nullptr : candidates.front();
}

}  // namespace
}  // namespace rmwin32

using rmwin32::ResEntry;

HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (lpType == nullptr || lpName == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!rmwin32::IsExecutable(hModule) || rmwin32::EmbeddedResources().empty())
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool bTypeFound = false;
    std::vector<const ResEntry*> candidates;
    for (const ResEntry& entry : rmwin32::EmbeddedResources())
    {
        if (!rmwin32::Matches(entry.type, lpType))
            continue;
        bTypeFound = true;
        if (rmwin32::Matches(entry.name, lpName))
            candidates.push_back(&entry);
    }
    const ResEntry* pEntry = rmwin32::PickLanguage(candidates, wLanguage);
    if (pEntry == nullptr)
    {
        SetLastError(!bTypeFound          ? ERROR_RESOURCE_TYPE_NOT_FOUND
                     : candidates.empty() ? ERROR_RESOURCE_NAME_NOT_FOUND
                                          : ERROR_RESOURCE_LANG_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResEntry*>(pEntry));
}

HRSRC FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    return FindResourceExA(hModule, lpType, lpName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
}

// The resources lie in the executable's image: "loading" one is finding it.
HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    (void)hModule;
    const ResEntry* pEntry = rmwin32::FromHandle(hResInfo);
    if (pEntry == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<BYTE*>(pEntry->data);
}

LPVOID LockResource(HGLOBAL hResData)
{
    return hResData;
}

DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    (void)hModule;
    const ResEntry* pEntry = rmwin32::FromHandle(hResInfo);
    if (pEntry == nullptr)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return pEntry->size;
}
