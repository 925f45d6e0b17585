// The executable's resources: the .res file that llvm-rc made of
// RemoteMonitor.rc, linked in by rm_resources, read in place.
#include "resource/Resource.h"

#include "ByteReader.h"

#include <cctype>

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

ResId ToResId(const rmres::NameOrOrdinal& field)
{
    ResId id;
    if (field.isOrdinal)
    {
        id.ordinal = field.ordinal;
    }
    else
    {
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
    if (!reader.ReadU32(&nDataSize) || !reader.ReadU32(&nHeaderSize) || nHeaderSize > reader.Size() - nStart ||
        nDataSize > reader.Size() - nStart - nHeaderSize)
        return false;
    // The header's own fields must lie within HeaderSize.
    rmres::CByteReader header(pRecord, nHeaderSize);
    rmres::NameOrOrdinal type, name;
    uint16_t nLanguage = 0;
    if (!header.Skip(8) || !header.ReadNameOrOrdinal(&type) || !header.ReadNameOrOrdinal(&name) || !header.Align(4) ||
        header.Remaining() < kHeaderTailSize || !header.Skip(6) || !header.ReadU16(&nLanguage))
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

}  // namespace

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

bool ParseResFile(const void* pData, size_t nSize, std::vector<ResEntry>* pEntries)
{
    rmres::CByteReader reader(pData, nSize);
    std::vector<ResEntry> entries;
    uint32_t nFirstData = 0, nFirstHeader = 0;
    if (!reader.ReadU32(&nFirstData) || !reader.ReadU32(&nFirstHeader) || nFirstData != 0 ||
        nFirstHeader != kFirstHeaderSize || !reader.Seek(0))
        return false;
    while (reader.Remaining() > 0)
    {
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
    for (const ResEntry& entry : EmbeddedResources())
    {
        if (p != nullptr && entry.data == p)
            return entry.size;
    }
    return 0;
}

}  // namespace rmwin32
