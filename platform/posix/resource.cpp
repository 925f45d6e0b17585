// Resources of the executable: the .res file that llvm-rc made of
// RemoteMonitor.rc, linked in by rm_resources, read in place.

#include "resource_impl.h"

#include "resbytes.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

// Weak, so that a program without rm_resources links all the same and
// simply has no resources.
extern "C" {
extern const unsigned char rm_embedded_res_begin[] __attribute__((weak));
extern const unsigned char rm_embedded_res_end[] __attribute__((weak));
}

namespace rmwin32 {

namespace {

// The record every 32-bit .res file opens with: no data, a 32-byte header,
// type 0 and name 0. A 16-bit .res file starts differently.
const uint32_t kFirstHeaderSize = 32;

// DataVersion, MemoryFlags, LanguageId, Version, Characteristics; only the
// language matters here (the compilers do not even agree on the flags).
const size_t kHeaderTailSize = 16;

// Icons are chosen for the standard icon size, as LoadIcon does.
const int kStandardIconSize = 32;

ResId ToResId(const rmres::NameOrOrdinal& field)
{
    ResId id;
    if (field.isOrdinal) {
        id.ordinal = field.ordinal;
    } else {
        id.name = field.text;
        for (char& ch : id.name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return id;
}

bool ReadRecord(rmres::CByteReader& reader, ResEntry* pEntry, bool* pbEmpty)
{
    size_t nStart = reader.Offset();
    const uint8_t* pRecord = reader.Here();
    uint32_t nDataSize = 0, nHeaderSize = 0;
    if (!reader.ReadU32(&nDataSize) || !reader.ReadU32(&nHeaderSize) ||
        nHeaderSize > reader.Size() - nStart || nDataSize > reader.Size() - nStart - nHeaderSize)
        return false;
    // The header's own fields must lie within HeaderSize.
    rmres::CByteReader header(pRecord, nHeaderSize);
    rmres::NameOrOrdinal type, name;
    uint16_t nLanguage = 0;
    if (!header.Skip(8) || !header.ReadNameOrOrdinal(&type) || !header.ReadNameOrOrdinal(&name) ||
        !header.Align(4) || header.Remaining() < kHeaderTailSize || !header.Skip(6) || !header.ReadU16(&nLanguage))
        return false;
    pEntry->type = ToResId(type);
    pEntry->name = ToResId(name);
    pEntry->language = nLanguage;
    pEntry->data = pRecord + nHeaderSize;
    pEntry->size = nDataSize;
    *pbEmpty = type.isOrdinal && type.ordinal == 0 && name.isOrdinal && name.ordinal == 0 && nDataSize == 0;
    // The last record needs no padding after its data.
    size_t nNext = nStart + nHeaderSize + nDataSize;
    return reader.Seek(nNext) && (reader.Align(4) || reader.Seek(reader.Size()));
}

const std::vector<ResEntry>& EmbeddedResources()
{
    static const std::vector<ResEntry> entries = [] {
        std::vector<ResEntry> found;
        uintptr_t begin = reinterpret_cast<uintptr_t>(rm_embedded_res_begin);
        uintptr_t end = reinterpret_cast<uintptr_t>(rm_embedded_res_end);
        if (begin == 0 || end < begin)
            return found;
        size_t nSize = end - begin;
        // A damaged file yields no resources rather than some of them.
        if (!ParseResFile(rm_embedded_res_begin, nSize, &found))
            found.clear();
        return found;
    }();
    return entries;
}

bool IsExecutable(HMODULE hModule)
{
    return hModule == nullptr || hModule == GetModuleHandleA(nullptr);
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

// A name as the API takes it: MAKEINTRESOURCE(n), "#n" or a string.
bool Matches(const ResId& id, LPCSTR psz)
{
    if (IS_INTRESOURCE(psz))
        return id.ordinal != 0 && id.ordinal == LOWORD(psz);
    if (psz[0] == '#') {
        char* pEnd = nullptr;
        unsigned long n = std::strtoul(psz + 1, &pEnd, 10);
        return psz[1] != '\0' && *pEnd == '\0' && n != 0 && n <= 0xFFFF && id.ordinal == n;
    }
    return id.ordinal == 0 && EqualsIgnoringCase(id.name, psz);
}

const ResEntry* FromHandle(HRSRC hResInfo)
{
    for (const ResEntry& entry : EmbeddedResources()) {
        if (reinterpret_cast<HRSRC>(const_cast<ResEntry*>(&entry)) == hResInfo)
            return &entry;
    }
    return nullptr;
}

// Without a language, Windows looks for a neutral resource, then one in the
// user's and the system's default language, then US English, then takes the
// first it has. Here the defaults are the neutral ones.
const ResEntry* PickLanguage(const std::vector<const ResEntry*>& candidates, WORD wLanguage)
{
    if (wLanguage != MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) {
        for (const ResEntry* pEntry : candidates) {
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
    for (WORD wPreferred : kPreferred) {
        for (const ResEntry* pEntry : candidates) {
            if (pEntry->language == wPreferred)
                return pEntry;
        }
    }
    return candidates.empty() ? nullptr : candidates.front();
}

// ---- Icons -------------------------------------------------------------------

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
    for (uint16_t i = 0; i < nCount; ++i) {
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
    for (const GroupIconEntry& entry : entries) {
        int nDistance = std::abs(entry.width - kStandardIconSize) + std::abs(entry.height - kStandardIconSize);
        if (pBest == nullptr || nDistance < nBestDistance ||
            (nDistance == nBestDistance && entry.bitCount > pBest->bitCount)) {
            pBest = &entry;
            nBestDistance = nDistance;
        }
    }
    return pBest;
}

size_t Stride(int width, int bitCount)
{
    return ((static_cast<size_t>(width) * static_cast<size_t>(bitCount) + 31) / 32) * 4;
}

struct DibLayout
{
    size_t colours = 0;
    size_t coloursOffset = 0;
    size_t xorOffset = 0;
    size_t andOffset = 0;
    size_t end = 0;
};

bool LayOut(int width, int height, int bitCount, uint32_t nHeaderSize, uint32_t nColoursUsed, DibLayout* pLayout)
{
    pLayout->colours = bitCount <= 8 ? (nColoursUsed != 0 ? nColoursUsed : (1u << bitCount)) : 0;
    if (bitCount <= 8 && pLayout->colours > (1u << bitCount))
        return false;
    pLayout->coloursOffset = nHeaderSize;
    pLayout->xorOffset = pLayout->coloursOffset + 4 * pLayout->colours;
    pLayout->andOffset = pLayout->xorOffset + Stride(width, bitCount) * static_cast<size_t>(height);
    pLayout->end = pLayout->andOffset + Stride(width, 1) * static_cast<size_t>(height);
    return true;
}

// An icon image as a resource holds it: BITMAPINFOHEADER with twice the
// height (colour bits, then mask), uncompressed. PNG images are not taken.
bool ReadIconImage(const ResEntry& image, IconImage* pIcon)
{
    rmres::CByteReader reader(image.data, image.size);
    uint32_t nHeaderSize = 0, nCompression = 0, nColoursUsed = 0;
    uint32_t nWidth = 0, nHeight = 0;
    uint16_t nPlanes = 0, nBitCount = 0;
    if (!reader.ReadU32(&nHeaderSize) || !reader.ReadU32(&nWidth) || !reader.ReadU32(&nHeight) ||
        !reader.ReadU16(&nPlanes) || !reader.ReadU16(&nBitCount) || !reader.ReadU32(&nCompression) ||
        !reader.Skip(12) || !reader.ReadU32(&nColoursUsed))
        return false;
    int32_t width = static_cast<int32_t>(nWidth), doubleHeight = static_cast<int32_t>(nHeight);
    bool bDepthOk = nBitCount == 1 || nBitCount == 4 || nBitCount == 8 || nBitCount == 24 || nBitCount == 32;
    if (nHeaderSize < 40 || nHeaderSize > image.size || width <= 0 || width > 256 || doubleHeight <= 0 ||
        doubleHeight > 512 || doubleHeight % 2 != 0 || nPlanes != 1 || !bDepthOk || nCompression != 0)
        return false;
    DibLayout layout;
    if (!LayOut(width, doubleHeight / 2, nBitCount, nHeaderSize, nColoursUsed, &layout) || layout.end > image.size)
        return false;
    pIcon->width = width;
    pIcon->height = doubleHeight / 2;
    pIcon->bitCount = nBitCount;
    pIcon->dib = image.data;
    pIcon->dibSize = image.size;
    return true;
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

// What LoadIconA(NULL, IDI_APPLICATION) and its kin give: a plain window,
// white with a navy title bar and a black frame.
HICON SystemIcon()
{
    static const std::vector<BYTE> dib = [] {
        const int n = kStandardIconSize;
        DibLayout layout;
        LayOut(n, n, 4, 40, 16, &layout);
        std::vector<BYTE> bytes(layout.end, 0);
        const uint32_t header[] = {40, static_cast<uint32_t>(n), static_cast<uint32_t>(2 * n), 1u | (4u << 16), 0,
                                   static_cast<uint32_t>(layout.end - layout.xorOffset), 0, 0, 16, 0};
        for (size_t i = 0; i < sizeof header / sizeof header[0]; ++i) {
            for (size_t b = 0; b < 4; ++b)
                bytes[4 * i + b] = static_cast<BYTE>(header[i] >> (8 * b));
        }
        std::memcpy(&bytes[layout.coloursOffset], kVgaPalette, sizeof kVgaPalette);
        for (int y = 0; y < n; ++y) {  // y counts from the bottom row
            for (int x = 0; x < n; ++x) {
                bool bInWindow = x >= 1 && x <= n - 2 && y >= 2 && y <= n - 3;
                bool bEdge = x == 1 || x == n - 2 || y == 2 || y == n - 3;
                BYTE colour = !bInWindow || bEdge ? 0 : (y >= n - 9 ? 4 : 15);
                size_t at = layout.xorOffset + Stride(n, 4) * static_cast<size_t>(y) + static_cast<size_t>(x) / 2;
                bytes[at] = static_cast<BYTE>(bytes[at] | (x % 2 == 0 ? colour << 4 : colour));
                if (!bInWindow) {
                    size_t mask = layout.andOffset + Stride(n, 1) * static_cast<size_t>(y) + static_cast<size_t>(x) / 8;
                    bytes[mask] = static_cast<BYTE>(bytes[mask] | (0x80 >> (x % 8)));
                }
            }
        }
        return bytes;
    }();
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

uint32_t ReadLE32(const BYTE* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ParseResFile(const void* pData, size_t nSize, std::vector<ResEntry>* pEntries)
{
    rmres::CByteReader reader(pData, nSize);
    std::vector<ResEntry> entries;
    uint32_t nFirstData = 0, nFirstHeader = 0;
    if (!reader.ReadU32(&nFirstData) || !reader.ReadU32(&nFirstHeader) || nFirstData != 0 ||
        nFirstHeader != kFirstHeaderSize || !reader.Seek(0))
        return false;
    while (reader.Remaining() > 0) {
        ResEntry entry;
        bool bEmpty = false;
        if (!ReadRecord(reader, &entry, &bEmpty))
            return false;
        if (!bEmpty)
            entries.push_back(std::move(entry));
    }
    *pEntries = std::move(entries);
    return true;
}

size_t ResourceSizeFromData(const void* p)
{
    for (const ResEntry& entry : EmbeddedResources()) {
        if (p != nullptr && entry.data == p)
            return entry.size;
    }
    return 0;
}

const IconImage* GetIconImage(HICON hIcon)
{
    std::lock_guard<std::mutex> lock(g_iconLock);
    for (const auto& icon : g_icons) {
        if (reinterpret_cast<HICON>(const_cast<IconImage*>(&icon.second)) == hIcon)
            return &icon.second;
    }
    return nullptr;
}

bool GetIconPixel(HICON hIcon, int x, int y, uint32_t* pRgb)
{
    const IconImage* pIcon = GetIconImage(hIcon);
    if (pIcon == nullptr || x < 0 || y < 0 || x >= pIcon->width || y >= pIcon->height)
        return false;
    const BYTE* dib = pIcon->dib;
    DibLayout layout;
    if (!LayOut(pIcon->width, pIcon->height, pIcon->bitCount, ReadLE32(dib), ReadLE32(dib + 32), &layout))
        return false;
    size_t row = static_cast<size_t>(pIcon->height - 1 - y);  // stored bottom-up
    size_t col = static_cast<size_t>(x);
    BYTE maskByte = dib[layout.andOffset + Stride(pIcon->width, 1) * row + col / 8];
    if (maskByte & (0x80 >> (col % 8)))
        return false;
    const BYTE* pRow = dib + layout.xorOffset + Stride(pIcon->width, pIcon->bitCount) * row;
    const BYTE* pBgr = nullptr;
    if (pIcon->bitCount <= 8) {
        size_t bit = col * static_cast<size_t>(pIcon->bitCount);
        unsigned shift = static_cast<unsigned>(8 - pIcon->bitCount - bit % 8);
        size_t index = (pRow[bit / 8] >> shift) & ((1u << pIcon->bitCount) - 1);
        if (index >= layout.colours) {
            *pRgb = 0;
            return true;
        }
        pBgr = dib + layout.coloursOffset + 4 * index;
    } else {
        pBgr = pRow + col * static_cast<size_t>(pIcon->bitCount / 8);
    }
    *pRgb = (static_cast<uint32_t>(pBgr[2]) << 16) | (static_cast<uint32_t>(pBgr[1]) << 8) | pBgr[0];
    return true;
}

}  // namespace rmwin32

using rmwin32::ResEntry;

HRSRC FindResourceExA(HMODULE hModule, LPCSTR lpType, LPCSTR lpName, WORD wLanguage)
{
    if (lpType == nullptr || lpName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!rmwin32::IsExecutable(hModule) || rmwin32::EmbeddedResources().empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool bTypeFound = false;
    std::vector<const ResEntry*> candidates;
    for (const ResEntry& entry : rmwin32::EmbeddedResources()) {
        if (!rmwin32::Matches(entry.type, lpType))
            continue;
        bTypeFound = true;
        if (rmwin32::Matches(entry.name, lpName))
            candidates.push_back(&entry);
    }
    const ResEntry* pEntry = rmwin32::PickLanguage(candidates, wLanguage);
    if (pEntry == nullptr) {
        SetLastError(!bTypeFound           ? ERROR_RESOURCE_TYPE_NOT_FOUND
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
    if (pEntry == nullptr) {
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
    if (pEntry == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return pEntry->size;
}

namespace rmwin32 {
namespace {

// The image of a group's entry, registered as an icon; nullptr when it cannot be read.
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
    if (pGroup != nullptr && ReadGroupIcon(*pGroup, &entries)) {
        for (const GroupIconEntry& entry : entries) {
            if (HICON hImage = LoadGroupImage(nullptr, *pGroup, entry))
                family.push_back(hImage);
        }
    }
    if (family.empty())
        family.push_back(hIcon);
    return family;
}

}  // namespace rmwin32

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
    if (!rmwin32::ReadGroupIcon(*pGroup, &entries) || (pChoice = rmwin32::PickIcon(entries)) == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    HICON hIcon = rmwin32::LoadGroupImage(hInstance, *pGroup, *pChoice);
    if (hIcon == nullptr)
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return hIcon;
}
