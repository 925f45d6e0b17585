// Reads a version resource (VS_VERSIONINFO: the fixed file information, the
// string tables and the translation list) into plain values. No Win32 calls,
// so the same checks run against the compiled resources on both targets.
#ifndef REMOTEMONITOR_RESFMT_VERSIONINFO_H
#define REMOTEMONITOR_RESFMT_VERSIONINFO_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rmres {

// VS_FIXEDFILEINFO, field for field.
struct FixedFileInfo
{
    uint32_t signature = 0;
    uint32_t strucVersion = 0;
    uint32_t fileVersionMS = 0;
    uint32_t fileVersionLS = 0;
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    uint32_t fileOS = 0;
    uint32_t fileType = 0;
    uint32_t fileSubtype = 0;
    uint32_t fileDateMS = 0;
    uint32_t fileDateLS = 0;
};

// One block of StringFileInfo, keyed by language and code page ("040904b0"),
// with its values in the order the resource lists them.
struct VersionStringTable
{
    std::string key;
    std::vector<std::pair<std::string, std::string>> values;

    // nullptr when the table has no such key.
    const std::string* Find(const std::string& name) const;
};

struct VersionTranslation
{
    uint16_t language = 0;
    uint16_t codePage = 0;
};

struct VersionInfo
{
    bool hasFixedInfo = false;
    FixedFileInfo fixed;
    std::vector<VersionStringTable> stringTables;
    std::vector<VersionTranslation> translations;
};

// The signature VS_FIXEDFILEINFO must carry.
const uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// Fills *pInfo from nSize bytes at pData. Returns false, leaving *pInfo
// unspecified, when a block's length runs past its parent or the data, a key
// lacks its terminator, or the root is not VS_VERSION_INFO; it never reads
// outside [pData, pData + nSize). Blocks it does not know are skipped.
bool ParseVersionInfo(const void* pData, size_t nSize, VersionInfo* pInfo);

}  // namespace rmres

#endif
