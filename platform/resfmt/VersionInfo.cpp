#include "VersionInfo.h"

#include "ByteReader.h"

#include <algorithm>

namespace rmres {

namespace {

// Every block starts with wLength, wValueLength and wType.
const size_t kBlockHeaderSize = 6;
const uint16_t kTextValue = 1;
const size_t kFixedFileInfoSize = 52;

// One block of the version tree, as offsets into the whole resource.
struct Block
{
    size_t begin = 0;
    size_t end = 0;  // begin + wLength
    uint16_t valueLength = 0;
    uint16_t type = 0;
    std::string key;
    size_t valueBegin = 0;
    size_t childrenBegin = 0;
};

size_t AlignUp4(size_t n)
{
    return (n + 3) & ~static_cast<size_t>(3);
}

bool ReadBlock(const void* pData, size_t nBegin, size_t nParentEnd, Block* pBlock)
{
    CByteReader head(pData, nParentEnd);
    uint16_t nLength = 0;
    if (!head.Seek(nBegin) || !head.ReadU16(&nLength) || nLength < kBlockHeaderSize || nLength > nParentEnd - nBegin)
        return false;
    pBlock->begin = nBegin;
    pBlock->end = nBegin + nLength;

    CByteReader reader(pData, pBlock->end);
    if (!reader.Seek(nBegin + 2) || !reader.ReadU16(&pBlock->valueLength) || !reader.ReadU16(&pBlock->type) ||
        !reader.ReadString(&pBlock->key))
        return false;
    // A block that ends right after its key has no value and no children.
    if (!reader.Align(4))
        reader.Seek(pBlock->end);
    pBlock->valueBegin = reader.Offset();
    // Text values are counted in characters, binary ones in bytes.
    size_t nValueBytes = pBlock->type == kTextValue ? 2u * pBlock->valueLength : pBlock->valueLength;
    if (pBlock->type != kTextValue && nValueBytes > pBlock->end - pBlock->valueBegin)
        return false;
    pBlock->childrenBegin = AlignUp4(pBlock->valueBegin + nValueBytes);
    return true;
}

// Calls fn(child) for each child block of parent, in order; stops with false
// at the first malformed child or when fn returns false.
template <typename Fn>
bool ForEachChild(const void* pData, const Block& parent, Fn fn)
{
    for (size_t nOffset = parent.childrenBegin; nOffset < parent.end;)
    {
        Block child;
        if (!ReadBlock(pData, nOffset, parent.end, &child) || !fn(child))
            return false;
        nOffset = AlignUp4(child.end);
    }
    return true;
}

// Compilers disagree on whether an empty text value keeps its terminator and
// on how they count it, so the text runs to its terminator or the block end.
std::string TextValue(const void* pData, const Block& block)
{
    std::string text;
    CByteReader reader(pData, block.end);
    if (block.valueLength != 0 && reader.Seek(block.valueBegin))
        reader.ReadString(&text, false);
    return text;
}

bool ReadFixedInfo(const void* pData, const Block& root, FixedFileInfo* pFixed)
{
    if (root.valueLength < kFixedFileInfoSize)
        return false;
    CByteReader reader(pData, root.end);
    uint32_t* const fields[] = {
        &pFixed->signature,        &pFixed->strucVersion,     &pFixed->fileVersionMS, &pFixed->fileVersionLS,
        &pFixed->productVersionMS, &pFixed->productVersionLS, &pFixed->fileFlagsMask, &pFixed->fileFlags,
        &pFixed->fileOS,           &pFixed->fileType,         &pFixed->fileSubtype,   &pFixed->fileDateMS,
        &pFixed->fileDateLS,
    };
    if (!reader.Seek(root.valueBegin))
        return false;
    for (uint32_t* pField : fields)
    {
        if (!reader.ReadU32(pField))
            return false;
    }
    return true;
}

bool ReadStringFileInfo(const void* pData, const Block& block, VersionInfo* pInfo)
{
    return ForEachChild(pData, block, [&](const Block& tableBlock) {
        VersionStringTable table;
        table.key = tableBlock.key;
        bool bOk = ForEachChild(pData, tableBlock, [&](const Block& stringBlock) {
            table.values.emplace_back(stringBlock.key, TextValue(pData, stringBlock));
            return true;
        });
        pInfo->stringTables.push_back(std::move(table));
        return bOk;
    });
}

bool ReadVarFileInfo(const void* pData, const Block& block, VersionInfo* pInfo)
{
    return ForEachChild(pData, block, [&](const Block& var) {
        if (var.key != "Translation")
            return true;
        CByteReader reader(pData, std::min(var.end, var.valueBegin + var.valueLength));
        if (!reader.Seek(var.valueBegin))
            return false;
        VersionTranslation translation;
        while (reader.ReadU16(&translation.language) && reader.ReadU16(&translation.codePage))
            pInfo->translations.push_back(translation);
        return true;
    });
}

}  // namespace

const std::string* VersionStringTable::Find(const std::string& name) const
{
    for (const auto& value : values)
    {
        if (value.first == name)
            return &value.second;
    }
    return nullptr;
}

bool ParseVersionInfo(const void* pData, size_t nSize, VersionInfo* pInfo)
{
    Block root;
    if (pData == nullptr || !ReadBlock(pData, 0, nSize, &root) || root.key != "VS_VERSION_INFO")
        return false;
    VersionInfo info;
    info.hasFixedInfo = root.valueLength != 0;
    if (info.hasFixedInfo && !ReadFixedInfo(pData, root, &info.fixed))
        return false;
    bool bOk = ForEachChild(pData, root, [&](const Block& child) {
        if (child.key == "StringFileInfo")
            return ReadStringFileInfo(pData, child, &info);
        if (child.key == "VarFileInfo")
            return ReadVarFileInfo(pData, child, &info);
        return true;
    });
    if (!bOk)
        return false;
    *pInfo = std::move(info);
    return true;
}

}  // namespace rmres
