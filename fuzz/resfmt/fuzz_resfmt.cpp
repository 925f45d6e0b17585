// The compiled-resource readers on arbitrary bytes: the input is tried as a
// .res file, whose dialog templates and version blocks are then read, and as
// a bare dialog template and a bare version block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "DialogTemplate.h"
#include "VersionInfo.h"
#include "resource/Resource.h"

namespace {

const WORD kDialogType = 5;
const WORD kVersionType = 16;

// An exact-size copy, so that a read one byte past the end is caught.
void ReadAsResources(const uint8_t* pData, size_t nSize)
{
    std::vector<uint8_t> copy(pData, pData + nSize);
    rmres::DialogTemplate dialog;
    rmres::ParseDialogTemplate(copy.data(), copy.size(), &dialog);
    rmres::VersionInfo version;
    rmres::ParseVersionInfo(copy.data(), copy.size(), &version);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    ReadAsResources(pData, nSize);

    std::vector<uint8_t> file(pData, pData + nSize);
    std::vector<rmwin32::ResEntry> entries;
    if (!rmwin32::ParseResFile(file.data(), file.size(), &entries))
        return 0;
    for (const rmwin32::ResEntry& entry : entries)
    {
        if (entry.type.ordinal == kDialogType || entry.type.ordinal == kVersionType)
            ReadAsResources(entry.data, entry.size);
    }
    return 0;
}
