// Icons: the group LoadIconA picks an image from, the stand-in system icon,
// and the handles it hands out.
#include "resource/Dib.h"

#include "ByteReader.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace rmwin32 {
namespace {

// Icons are chosen for the standard icon size, as LoadIcon does.
const int kStandardIconSize = 32;

struct GroupIconEntry
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    WORD id = 0;
};

bool ReadGroupIcon(const ResEntry& group, std::vector<GroupIconEntry>* pEntries)
{
    rmres::CByteReader reader(group.data, group.size);
    uint16_t nReserved = 0, nType = 0, nCount = 0;
    if (!reader.ReadU16(&nReserved) || !reader.ReadU16(&nType) || !reader.ReadU16(&nCount) || nType != 1)
        return false;
    for (uint16_t i = 0; i < nCount; ++i)
    {
        // GRPICONDIRENTRY: width, height, colours, reserved, planes, bit
        // count, bytes in resource, id.
        uint8_t width = 0, height = 0;
        uint16_t bitCount = 0, id = 0;
        if (!reader.ReadU8(&width) || !reader.ReadU8(&height) || !reader.Skip(4) || !reader.ReadU16(&bitCount) ||
            !reader.Skip(4) || !reader.ReadU16(&id))
            return false;
        GroupIconEntry entry;
        entry.width = width != 0 ? width : 256;
        entry.height = height != 0 ? height : 256;
        entry.bitCount = bitCount;
        entry.id = id;
        pEntries->push_back(entry);
    }
    return !pEntries->empty();
}

// The entry nearest the standard size; of equal ones, the most colours.
const GroupIconEntry* PickIcon(const std::vector<GroupIconEntry>& entries)
{
    const GroupIconEntry* pBest = nullptr;
    int nBestDistance = 0;
    for (const GroupIconEntry& entry : entries)
    {
        int nDistance = std::abs(entry.width - kStandardIconSize) + std::abs(entry.height - kStandardIconSize);
        if (pBest == nullptr || nDistance < nBestDistance ||
            (nDistance == nBestDistance && entry.bitCount > pBest->bitCount))
        {
            pBest = &entry;
            nBestDistance = nDistance;
        }
    }
    return pBest;
}

// Icons are shared, as LoadIcon's are: one record per image, kept for the
// life of the process, so a handle never dangles.
std::mutex g_iconLock;
std::map<const void*, IconImage> g_icons;

HICON RegisterIcon(const void* pKey, const IconImage& icon)
{
    std::lock_guard<std::mutex> lock(g_iconLock);
    auto it = g_icons.emplace(pKey, icon).first;
    return reinterpret_cast<HICON>(&it->second);
}

// The standard 16 colours, for the stand-in system icon.
const BYTE kVgaPalette[16][4] = {
    {0x00, 0x00, 0x00, 0}, {0x00, 0x00, 0x80, 0}, {0x00, 0x80, 0x00, 0}, {0x00, 0x80, 0x80, 0},
    {0x80, 0x00, 0x00, 0}, {0x80, 0x00, 0x80, 0}, {0x80, 0x80, 0x00, 0}, {0xC0, 0xC0, 0xC0, 0},
    {0x80, 0x80, 0x80, 0}, {0x00, 0x00, 0xFF, 0}, {0x00, 0xFF, 0x00, 0}, {0x00, 0xFF, 0xFF, 0},
    {0xFF, 0x00, 0x00, 0}, {0xFF, 0x00, 0xFF, 0}, {0xFF, 0xFF, 0x00, 0}, {0xFF, 0xFF, 0xFF, 0},
};  // blue, green, red, 0 each

// The stand-in system icon's pixels: a plain window, white with a navy title
// bar and a black frame, transparent around it.
void PaintSystemIcon(const DibLayout& layout, int n, std::vector<BYTE>* pBytes)
{
    std::vector<BYTE>& bytes = *pBytes;
    // y counts from the bottom row, as the bitmap is stored.
    for (int y = 0; y < n; ++y)
    {
        for (int x = 0; x < n; ++x)
        {
            bool bInWindow = x >= 1 && x <= n - 2 && y >= 2 && y <= n - 3;
            bool bEdge = x == 1 || x == n - 2 || y == 2 || y == n - 3;
            BYTE colour = !bInWindow || bEdge ? 0 : (y >= n - 9 ? 4 : 15);
            size_t at = layout.xorOffset + Stride(n, 4) * static_cast<size_t>(y) + static_cast<size_t>(x) / 2;
            bytes[at] = static_cast<BYTE>(bytes[at] | (x % 2 == 0 ? colour << 4 : colour));
            if (!bInWindow)
            {
                size_t mask = layout.andOffset + Stride(n, 1) * static_cast<size_t>(y) + static_cast<size_t>(x) / 8;
                bytes[mask] = static_cast<BYTE>(bytes[mask] | (0x80 >> (x % 8)));
            }
        }
    }
}

// A 4-bit DIB of the standard size: header, the 16 colours, then the pixels.
std::vector<BYTE> MakeSystemIconDib()
{
    const int n = kStandardIconSize;
    DibLayout layout;
    LayOut(n, n, 4, 40, 16, &layout);
    std::vector<BYTE> bytes(layout.end, 0);
    const uint32_t header[] = {40,
                               static_cast<uint32_t>(n),
                               static_cast<uint32_t>(2 * n),
                               1u | (4u << 16),
                               0,
                               static_cast<uint32_t>(layout.end - layout.xorOffset),
                               0,
                               0,
                               16,
                               0};
    for (size_t i = 0; i < sizeof header / sizeof header[0]; ++i)
    {
        for (size_t b = 0; b < 4; ++b)
            bytes[4 * i + b] = static_cast<BYTE>(header[i] >> (8 * b));
    }
    std::memcpy(&bytes[layout.coloursOffset], kVgaPalette, sizeof kVgaPalette);
    PaintSystemIcon(layout, n, &bytes);
    return bytes;
}

// What LoadIconA(NULL, IDI_APPLICATION) and its kin give.
HICON SystemIcon()
{
    static const std::vector<BYTE> dib = MakeSystemIconDib();
    IconImage icon;
    icon.width = kStandardIconSize;
    icon.height = kStandardIconSize;
    icon.bitCount = 4;
    icon.dib = dib.data();
    icon.dibSize = dib.size();
    return RegisterIcon(dib.data(), icon);
}

bool IsSystemIconId(LPCSTR lpIconName)
{
    // IDI_APPLICATION (32512) to IDI_SHIELD (32518).
    return IS_INTRESOURCE(lpIconName) && LOWORD(lpIconName) >= 32512 && LOWORD(lpIconName) <= 32518;
}

// The image of a group's entry, registered as an icon; nullptr when it cannot
// be read.
HICON LoadGroupImage(HINSTANCE hInstance, const ResEntry& group, const GroupIconEntry& entry)
{
    // The images normally share the group's language.
    LPCSTR pszImage = MAKEINTRESOURCEA(entry.id);
    HRSRC hImage = FindResourceExA(hInstance, RT_ICON, pszImage, group.language);
    if (hImage == nullptr)
        hImage = FindResourceExA(hInstance, RT_ICON, pszImage, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    const ResEntry* pImage = FromHandle(hImage);
    IconImage icon;
    if (pImage == nullptr || !ReadIconImage(*pImage, &icon))
        return nullptr;
    icon.group = &group;
    return RegisterIcon(pImage, icon);
}

}  // namespace

std::vector<HICON> GetIconFamily(HICON hIcon)
{
    std::vector<HICON> family;
    const IconImage* pIcon = GetIconImage(hIcon);
    if (pIcon == nullptr)
        return family;
    std::vector<GroupIconEntry> entries;
    const ResEntry* pGroup = static_cast<const ResEntry*>(pIcon->group);
    if (pGroup != nullptr && ReadGroupIcon(*pGroup, &entries))
    {
        for (const GroupIconEntry& entry : entries)
        {
            if (HICON hImage = LoadGroupImage(nullptr, *pGroup, entry))
                family.push_back(hImage);
        }
    }
    if (family.empty())
        family.push_back(hIcon);
    return family;
}

const IconImage* GetIconImage(HICON hIcon)
{
    std::lock_guard<std::mutex> lock(g_iconLock);
    for (const auto& icon : g_icons)
    {
        if (reinterpret_cast<HICON>(const_cast<IconImage*>(&icon.second)) == hIcon)
            return &icon.second;
    }
    return nullptr;
}

}  // namespace rmwin32

using rmwin32::ResEntry;

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    if (hInstance == nullptr && rmwin32::IsSystemIconId(lpIconName))
        return rmwin32::SystemIcon();
    HRSRC hGroup = FindResourceExA(hInstance, RT_GROUP_ICON, lpIconName, MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    if (hGroup == nullptr)
        return nullptr;
    const ResEntry* pGroup = rmwin32::FromHandle(hGroup);
    std::vector<rmwin32::GroupIconEntry> entries;
    const rmwin32::GroupIconEntry* pChoice = nullptr;
    if (!rmwin32::ReadGroupIcon(*pGroup, &entries) || (pChoice = rmwin32::PickIcon(entries)) == nullptr)
    {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    HICON hIcon = rmwin32::LoadGroupImage(hInstance, *pGroup, *pChoice);
    if (hIcon == nullptr)
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return hIcon;
}
