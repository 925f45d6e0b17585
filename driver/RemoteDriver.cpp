#include "RemoteDriver.h"

namespace {

const char kLibraryName[] = "TavrixRC.dll";

// Any code at or above this is the driver's "no key" answer.
const int kNoCodeThreshold = 255;

// GetProcAddress hands out one generic function type; going through
// void (*)() lets the compilers accept the conversion to each entry's type.
template <typename PFN>
PFN ResolveEntry(HMODULE hLibrary, const char* pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(::GetProcAddress(hLibrary, pszName)));
}

}  // namespace

CRemoteDriver::CRemoteDriver()
{
    Load();
}

CRemoteDriver::~CRemoteDriver()
{
    Release();
}

void CRemoteDriver::Load()
{
    if (m_hLibrary != nullptr)
        Release();

    m_bCardOpen = false;
    m_hLibrary = ::LoadLibraryA(kLibraryName);
    if (m_hLibrary == nullptr)
        return;

    m_pfnGetCardCount = ResolveEntry<PFN_GETCARDCOUNT>(m_hLibrary, "GetCardCount");
    m_pfnOpenCard = ResolveEntry<PFN_OPENCARD>(m_hLibrary, "OpenCard");
    m_pfnGetRemoteCode = ResolveEntry<PFN_GETREMOTECODE>(m_hLibrary, "GetRemoteCode");
    m_pfnGetRemoteCodeEx = ResolveEntry<PFN_GETREMOTECODEEX>(m_hLibrary, "GetRemoteCodeEx");
    m_pfnUnInit = ResolveEntry<PFN_UNINIT>(m_hLibrary, "UnInit");

    if (m_pfnGetCardCount == nullptr || m_pfnOpenCard == nullptr || m_pfnGetRemoteCode == nullptr ||
        m_pfnUnInit == nullptr)
    {
        // All or nothing: a library short of a mandatory entry is never
        // called into, not even to UnInit it.
        ::FreeLibrary(m_hLibrary);
        Unbind();
    }
}

void CRemoteDriver::Release()
{
    if (m_hLibrary == nullptr)
        return;

    // The driver expects UnInit whether or not a card was ever opened.
    m_pfnUnInit();
    ::FreeLibrary(m_hLibrary);
    Unbind();
}

// Nothing may point into a library that is no longer loaded.
void CRemoteDriver::Unbind()
{
    m_pfnGetRemoteCodeEx = nullptr;
    m_pfnGetRemoteCode = nullptr;
    m_pfnGetCardCount = nullptr;
    m_pfnOpenCard = nullptr;
    m_pfnUnInit = nullptr;
    m_hLibrary = nullptr;
    m_bCardOpen = false;
}

int CRemoteDriver::GetStatus()
{
    if (g_driver.m_hLibrary == nullptr)
        return DRIVER_NOT_LOADED;
    return g_driver.m_bCardOpen ? DRIVER_CARD_OPEN : DRIVER_NO_CARD;
}

int CRemoteDriver::SelectCard(int nIndex)
{
    CRemoteDriver& drv = g_driver;
    drv.m_bCardOpen = false;
    if (nIndex < 0 || drv.m_hLibrary == nullptr)
        return 0;

    // The index counts the cards that open; the bound is the count of all
    // cards, since the driver cannot say in advance which ones will open.
    const int nCount = drv.m_pfnGetCardCount();
    if (nCount <= nIndex)
        return 0;

    // Cards opened on the way stay open: the driver has no call to close one.
    for (int i = 0; i < nCount; ++i)
    {
        if (drv.m_pfnOpenCard(i) == 0)
            continue;
        if (nIndex == 0)
        {
            drv.m_bCardOpen = true;
            return 1;
        }
        --nIndex;
    }
    return 0;
}

int CRemoteDriver::ReadCode()
{
    const CRemoteDriver& drv = g_driver;
    if (drv.m_hLibrary == nullptr || !drv.m_bCardOpen)
        return -1;

    // Negative answers are the driver's own and are passed on as they are.
    const int nCode = drv.m_pfnGetRemoteCode();
    return nCode < kNoCodeThreshold ? nCode : -1;
}

DWORD CRemoteDriver::ReadCodeEx()
{
    const CRemoteDriver& drv = g_driver;
    if (drv.m_hLibrary == nullptr || !drv.m_bCardOpen)
        return 0;

    if (drv.m_pfnGetRemoteCodeEx != nullptr)
        return drv.m_pfnGetRemoteCodeEx();

    // Compared unsigned, so that negative answers count as "no key" too.
    const DWORD dwCode = static_cast<DWORD>(drv.m_pfnGetRemoteCode());
    if (dwCode >= static_cast<DWORD>(kNoCodeThreshold))
        return 0;

    // An NEC frame with a 16-bit address: address, command, inverted command.
    return (NEC_FALLBACK_ADDRESS << 16) | (dwCode << 8) | (0xFFu - dwCode);
}
