// Our Win32 layer's side of the resources: the .res reader, lookups by name
// and language, module handles and the icons LoadIconA hands out.
#include <windows.h>

#include "resource.h"
#include "resource/Resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

#ifdef RM_WINDRES_RES_FILE
const char* const kWindresResFile = RM_WINDRES_RES_FILE;
#else
const char* const kWindresResFile = nullptr;
#endif

std::vector<uint8_t> ReadFile(const char* pszPath)
{
    std::ifstream in(pszPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Type (number or name), name (number or name), language.
typedef std::tuple<WORD, std::string, WORD, std::string, WORD> Key;

std::map<Key, std::vector<uint8_t>> ByKey(const std::vector<rmwin32::ResEntry>& entries)
{
    std::map<Key, std::vector<uint8_t>> out;
    for (const auto& e : entries)
        out[Key(e.type.ordinal, e.type.name, e.name.ordinal, e.name.name, e.language)] =
            std::vector<uint8_t>(e.data, e.data + e.size);
    return out;
}

::testing::AssertionResult SameBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    {
        if (a[i] != b[i])
            return ::testing::AssertionFailure()
                   << "first difference at byte " << i << ": 0x" << std::hex << int(a[i]) << " against 0x" << int(b[i]);
    }
    if (a.size() != b.size())
        return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size();
    return ::testing::AssertionSuccess();
}

TEST(ResFile, EmbeddedResourcesAreTheCompiledFile)
{
    std::vector<uint8_t> file = ReadFile(RM_RES_FILE);
    std::vector<rmwin32::ResEntry> entries;
    ASSERT_TRUE(rmwin32::ParseResFile(file.data(), file.size(), &entries));
    ASSERT_EQ(entries.size(), 5u) << "two icon images, the group, the dialog, the version";
    for (const auto& e : entries)
    {
        SCOPED_TRACE("type " + std::to_string(e.type.ordinal) + " name " + std::to_string(e.name.ordinal));
        HRSRC hInfo =
            FindResourceExA(nullptr, MAKEINTRESOURCEA(e.type.ordinal), MAKEINTRESOURCEA(e.name.ordinal), e.language);
        ASSERT_NE(hInfo, nullptr);
        ASSERT_EQ(SizeofResource(nullptr, hInfo), e.size);
        const uint8_t* p = static_cast<const uint8_t*>(LockResource(LoadResource(nullptr, hInfo)));
        EXPECT_TRUE(SameBytes(std::vector<uint8_t>(p, p + e.size), std::vector<uint8_t>(e.data, e.data + e.size)));
        EXPECT_EQ(rmwin32::ResourceSizeFromData(p), e.size);
    }
}

// windres builds the Windows executable, llvm-rc the Linux one: if they ever
// read the script differently, the two tools differ. Only the order of the
// records and the (unused) memory flags may differ.
TEST(ResFile, WindresAndLlvmRcMakeTheSameResources)
{
    if (kWindresResFile == nullptr)
        GTEST_SKIP() << "windres is not installed";
    std::vector<uint8_t> llvm = ReadFile(RM_RES_FILE), windres = ReadFile(kWindresResFile);
    std::vector<rmwin32::ResEntry> fromLlvm, fromWindres;
    ASSERT_TRUE(rmwin32::ParseResFile(llvm.data(), llvm.size(), &fromLlvm));
    ASSERT_TRUE(rmwin32::ParseResFile(windres.data(), windres.size(), &fromWindres));
    auto a = ByKey(fromLlvm), b = ByKey(fromWindres);
    ASSERT_EQ(a.size(), fromLlvm.size()) << "a resource appears twice";
    for (const auto& entry : a)
    {
        SCOPED_TRACE("type " + std::to_string(std::get<0>(entry.first)) + " name " +
                     std::to_string(std::get<2>(entry.first)) + " language " +
                     std::to_string(std::get<4>(entry.first)));
        auto it = b.find(entry.first);
        ASSERT_NE(it, b.end()) << "missing from windres's output";
        EXPECT_TRUE(SameBytes(entry.second, it->second)) << "llvm-rc against windres";
    }
    EXPECT_EQ(a.size(), b.size());
}

// A .res record: header (type and name as given), then data.
std::vector<uint8_t> Record(const std::vector<uint16_t>& typeAndName, WORD language, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> header;
    auto word = [&](uint32_t w) {
        header.push_back(static_cast<uint8_t>(w));
        header.push_back(static_cast<uint8_t>(w >> 8));
    };
    word(0), word(0), word(0), word(0);  // sizes, filled in below
    for (uint16_t w : typeAndName)
        word(w);
    while (header.size() % 4 != 0)
        header.push_back(0);
    word(0), word(0), word(0x30), word(language), word(0), word(0), word(0), word(0);
    uint32_t sizes[2] = {static_cast<uint32_t>(data.size()), static_cast<uint32_t>(header.size())};
    for (int i = 0; i < 8; ++i)
        header[static_cast<size_t>(i)] = static_cast<uint8_t>(sizes[i / 4] >> (8 * (i % 4)));
    header.insert(header.end(), data.begin(), data.end());
    return header;
}

std::vector<uint8_t> ResFile(const std::vector<std::vector<uint8_t>>& records)
{
    std::vector<uint8_t> file = Record({0xFFFF, 0, 0xFFFF, 0}, 0, {});
    for (const auto& record : records)
    {
        while (file.size() % 4 != 0)
            file.push_back(0);
        file.insert(file.end(), record.begin(), record.end());
    }
    return file;
}

TEST(ResFile, ReadsNamedRecordsAndUnpaddedEnds)
{
    // Type "Blob" by name, name 7; then type 10, name "Data", with 3 bytes
    // of data and no padding after them: the file may end there.
    auto file = ResFile({Record({'B', 'l', 'o', 'b', 0, 0xFFFF, 7}, 0x0419, {1, 2}),
                         Record({0xFFFF, 10, 'D', 'a', 't', 'a', 0}, 0x0409, {3, 4, 5})});
    std::vector<rmwin32::ResEntry> entries;
    ASSERT_TRUE(rmwin32::ParseResFile(file.data(), file.size(), &entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type.ordinal, 0);
    EXPECT_EQ(entries[0].type.name, "BLOB") << "names compare without regard to case";
    EXPECT_EQ(entries[0].name.ordinal, 7);
    EXPECT_EQ(entries[0].language, 0x0419);
    EXPECT_EQ(std::vector<uint8_t>(entries[0].data, entries[0].data + entries[0].size), (std::vector<uint8_t>{1, 2}));
    EXPECT_EQ(entries[1].type.ordinal, 10);
    EXPECT_EQ(entries[1].name.name, "DATA");
    EXPECT_EQ(entries[1].size, 3u);
}

TEST(ResFile, RefusesDamagedFiles)
{
    std::vector<rmwin32::ResEntry> entries;
    EXPECT_FALSE(rmwin32::ParseResFile(nullptr, 0, &entries));

    // A 16-bit .res file starts with its first resource's type, 0xFF then a number.
    std::vector<uint8_t> sixteenBit = {0xFF, 0x05, 0x00, 0xFF, 0x66, 0x00, 0x30, 0x10, 4, 0, 0, 0, 1, 2, 3, 4};
    EXPECT_FALSE(rmwin32::ParseResFile(sixteenBit.data(), sixteenBit.size(), &entries));

    auto good = ResFile({Record({0xFFFF, 10, 0xFFFF, 1}, 0x0409, {1, 2, 3, 4})});
    const size_t record = 32;  // where the second record starts

    auto hugeData = good;
    hugeData[record + 0] = hugeData[record + 1] = hugeData[record + 2] = hugeData[record + 3] = 0xFF;
    EXPECT_FALSE(rmwin32::ParseResFile(hugeData.data(), hugeData.size(), &entries)) << "DataSize past the end";

    auto hugeHeader = good;
    hugeHeader[record + 4] = 0xF0;
    hugeHeader[record + 7] = 0xFF;
    EXPECT_FALSE(rmwin32::ParseResFile(hugeHeader.data(), hugeHeader.size(), &entries)) << "HeaderSize past the end";

    auto shortHeader = good;
    shortHeader[record + 4] = 20;  // type and name fit, the rest of the header does not
    EXPECT_FALSE(rmwin32::ParseResFile(shortHeader.data(), shortHeader.size(), &entries));

    // A type name that does not end within its header, though the file goes on.
    auto unterminated = ResFile({});
    std::vector<uint8_t> header = {0, 0, 0, 0, 32, 0, 0, 0};
    header.resize(32 + 32, 'A');
    unterminated.insert(unterminated.end(), header.begin(), header.end());
    EXPECT_FALSE(rmwin32::ParseResFile(unterminated.data(), unterminated.size(), &entries));

    // Cut anywhere, the file either still holds whole records or is refused;
    // in no case is anything read past the cut.
    std::vector<uint8_t> compiled = ReadFile(RM_RES_FILE);
    for (size_t n = 0; n < compiled.size(); ++n)
    {
        std::vector<uint8_t> cut(compiled.begin(), compiled.begin() + static_cast<std::ptrdiff_t>(n));
        if (rmwin32::ParseResFile(cut.data(), n, &entries))
        {
            for (const auto& e : entries)
                EXPECT_LE(e.data + e.size, cut.data() + n) << "length " << n;
        }
    }
}

TEST(ResourceLookup, FindsByNumberStringOrDefaultLanguage)
{
    HMODULE hSelf = GetModuleHandleA(nullptr);
    HRSRC hDialog = FindResourceA(hSelf, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), RT_DIALOG);
    ASSERT_NE(hDialog, nullptr);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), RT_DIALOG), hDialog);
    EXPECT_EQ(FindResourceA(nullptr, "#102", "#5"), hDialog);
    EXPECT_EQ(FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), 0), hDialog);
    // With one language only, that one is found whatever it is.
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_MAIN), RT_GROUP_ICON), nullptr);

    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), MAKEINTRESOURCEA(4)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(999), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(FindResourceA(nullptr, "#", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "#102x", RT_DIALOG), nullptr);
    EXPECT_EQ(FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN_DIALOG),
                              MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)),
              nullptr);
    EXPECT_EQ(GetLastError(), 1815u);  // ERROR_RESOURCE_LANG_NOT_FOUND

    EXPECT_EQ(LoadResource(nullptr, nullptr), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, nullptr), 0u);
    int notAResource = 0;
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(&notAResource)), 0u);
    EXPECT_EQ(rmwin32::ResourceSizeFromData(&notAResource), 0u);
}

TEST(ResourceLookup, OtherModulesHaveNone)
{
    HMODULE hOther = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x1000));
    ASSERT_NE(hOther, GetModuleHandleA(nullptr));
    EXPECT_EQ(FindResourceA(hOther, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), RT_DIALOG), nullptr);
    EXPECT_EQ(LoadIconA(reinterpret_cast<HINSTANCE>(hOther), MAKEINTRESOURCEA(IDI_MAIN)), nullptr);
}

// The picture is drawn bottom-up with two pixels a byte, colours by palette
// index: a reader that gets any of that wrong gets these pixels wrong.
TEST(IconLoading, PicksThe32PixelImageAndDecodesItsPixels)
{
    HICON hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN));
    ASSERT_NE(hIcon, nullptr);
    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(IDI_MAIN)), hIcon) << "icons are shared";
    const rmwin32::IconImage* pImage = rmwin32::GetIconImage(hIcon);
    ASSERT_NE(pImage, nullptr);
    EXPECT_EQ(pImage->width, 32);
    EXPECT_EQ(pImage->height, 32);
    EXPECT_EQ(pImage->bitCount, 4);
    EXPECT_EQ(pImage->dibSize, 40u + 64u + 512u + 128u);

    uint32_t rgb = 0x123456;
    EXPECT_FALSE(rmwin32::GetIconPixel(hIcon, 0, 0, &rgb)) << "corners are transparent";
    EXPECT_FALSE(rmwin32::GetIconPixel(hIcon, 31, 31, &rgb));
    ASSERT_TRUE(rmwin32::GetIconPixel(hIcon, 15, 1, &rgb));
    EXPECT_EQ(rgb, 0xFF0000u) << "the IR LED at the top";
    ASSERT_TRUE(rmwin32::GetIconPixel(hIcon, 15, 4, &rgb));
    EXPECT_EQ(rgb, 0x000000u) << "the handset";
    ASSERT_TRUE(rmwin32::GetIconPixel(hIcon, 14, 21, &rgb));
    EXPECT_EQ(rgb, 0x00FF00u) << "green key";
    ASSERT_TRUE(rmwin32::GetIconPixel(hIcon, 19, 21, &rgb));
    EXPECT_EQ(rgb, 0x0000FFu) << "blue key";
    EXPECT_FALSE(rmwin32::GetIconPixel(hIcon, 32, 0, &rgb));
    EXPECT_FALSE(rmwin32::GetIconPixel(hIcon, 0, -1, &rgb));
}

TEST(IconLoading, SystemIconsAndUnknownHandles)
{
    HICON hApplication = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));  // IDI_APPLICATION
    ASSERT_NE(hApplication, nullptr);
    const rmwin32::IconImage* pImage = rmwin32::GetIconImage(hApplication);
    ASSERT_NE(pImage, nullptr);
    EXPECT_EQ(pImage->width, 32);
    uint32_t rgb = 0;
    EXPECT_TRUE(rmwin32::GetIconPixel(hApplication, 16, 16, &rgb));

    EXPECT_EQ(LoadIconA(nullptr, MAKEINTRESOURCEA(999)), nullptr);
    int notAnIcon = 0;
    EXPECT_EQ(rmwin32::GetIconImage(reinterpret_cast<HICON>(&notAnIcon)), nullptr);
    EXPECT_EQ(rmwin32::GetIconImage(nullptr), nullptr);
    EXPECT_FALSE(rmwin32::GetIconPixel(nullptr, 0, 0, &rgb));
}

}  // namespace
