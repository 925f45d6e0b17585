// The resources as compiled into this test program, found the way the tool
// finds them: template 102, icon group 128 and the version resource, field by
// field, on both targets.
#include <windows.h>

#include "DialogTemplate.h"
#include "VersionInfo.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const WORD kEnglishUS = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
const WORD kRussian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);       // 1049

struct Bytes
{
    const uint8_t* data = nullptr;
    size_t size = 0;
};

Bytes Find(LPCSTR type, WORD id, WORD language)
{
    HMODULE hModule = GetModuleHandleA(nullptr);
    HRSRC hInfo = FindResourceExA(hModule, type, MAKEINTRESOURCEA(id), language);
    if (hInfo == nullptr)
        return Bytes();
    HGLOBAL hData = LoadResource(hModule, hInfo);
    Bytes bytes;
    bytes.data = static_cast<const uint8_t*>(hData != nullptr ? LockResource(hData) : nullptr);
    bytes.size = SizeofResource(hModule, hInfo);
    return bytes;
}

uint16_t Word(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Dword(const uint8_t* p)
{
    return static_cast<uint32_t>(Word(p)) | (static_cast<uint32_t>(Word(p + 2)) << 16);
}

#ifdef _WIN32
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD wLanguage, LONG_PTR lParam)
{
    reinterpret_cast<std::set<WORD>*>(lParam)->insert(wLanguage);
    return TRUE;
}
#endif

// Every language the resource exists in. Windows may fall back to another
// language when asked for one it lacks, so it is asked for the list; our
// layer matches a language exactly, so asking for the others shows the list.
std::set<WORD> Languages(LPCSTR type, WORD id)
{
    std::set<WORD> languages;
#ifdef _WIN32
    EnumResourceLanguagesA(GetModuleHandleA(nullptr), type, MAKEINTRESOURCEA(id), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
#else
    for (WORD language : {kEnglishUS, kRussian, WORD(0x0400), WORD(0x0409 + 0x0400)})
    {
        if (FindResourceExA(nullptr, type, MAKEINTRESOURCEA(id), language) != nullptr)
            languages.insert(language);
    }
#endif
    return languages;
}

// One control as the table of the dialog gives it.
struct ExpectedControl
{
    const char* className;
    int id;
    const char* text;
    int16_t x, y, cx, cy;
    uint32_t style;  // beyond WS_CHILD | WS_VISIBLE
};

const ExpectedControl kControls[] = {
    {"Button", IDOK, "Close", 65, 7, 50, 14, WS_TABSTOP | BS_DEFPUSHBUTTON},
    {"Static", IDC_STATIC, "RC Code:", 7, 9, 32, 8, WS_GROUP | SS_LEFT},
    {"Static", IDC_CODE, "", 42, 9, 15, 10, WS_GROUP | SS_SUNKEN | SS_RIGHT},
    {"Static", IDC_STATIC, "Extended code:", 7, 26, 51, 8, WS_GROUP | SS_LEFT},
    {"Static", IDC_CODE_EX, "", 62, 25, 53, 10, WS_GROUP | SS_SUNKEN | SS_RIGHT},
};

TEST(MainDialogTemplate, HeaderAndFontAreAsDesigned)
{
    Bytes res = Find(RT_DIALOG, IDD_MAIN_DIALOG, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    rmres::DialogTemplate dlg;
    ASSERT_TRUE(rmres::ParseDialogTemplate(res.data, res.size, &dlg));

    EXPECT_EQ(dlg.helpId, 0u);
    EXPECT_EQ(dlg.exStyle, static_cast<uint32_t>(WS_EX_APPWINDOW));
    EXPECT_EQ(dlg.style,
              static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(dlg.x, 0);
    EXPECT_EQ(dlg.y, 0);
    EXPECT_EQ(dlg.cx, 122);
    EXPECT_EQ(dlg.cy, 42);
    EXPECT_EQ(dlg.menu, "");
    EXPECT_EQ(dlg.menuOrdinal, 0);
    EXPECT_EQ(dlg.windowClass, "");
    EXPECT_EQ(dlg.windowClassOrdinal, 0);
    EXPECT_EQ(dlg.title, "Remote Control Test");
    ASSERT_TRUE(dlg.hasFont);
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.weight, 0);
    EXPECT_EQ(dlg.italic, 0);
    EXPECT_EQ(dlg.charset, 1);  // DEFAULT_CHARSET
    EXPECT_EQ(dlg.typeface, "MS Sans Serif");
}

// Exact styles: a keyword of the script may add or drop bits on its own, and
// the two resource compilers do not agree on which.
TEST(MainDialogTemplate, ControlsComeInTabOrderWithExactStyles)
{
    Bytes res = Find(RT_DIALOG, IDD_MAIN_DIALOG, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    rmres::DialogTemplate dlg;
    ASSERT_TRUE(rmres::ParseDialogTemplate(res.data, res.size, &dlg));
    ASSERT_EQ(dlg.items.size(), sizeof kControls / sizeof kControls[0]);

    for (size_t i = 0; i < dlg.items.size(); ++i)
    {
        const rmres::DialogItem& item = dlg.items[i];
        const ExpectedControl& want = kControls[i];
        SCOPED_TRACE("control " + std::to_string(i + 1) + " \"" + want.text + "\"");
        EXPECT_EQ(item.className, want.className);
        EXPECT_EQ(item.ControlId(), want.id);
        EXPECT_EQ(item.title, want.text);
        EXPECT_EQ(item.titleOrdinal, 0);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.style, static_cast<uint32_t>(WS_CHILD | WS_VISIBLE) | want.style) << std::hex << item.style;
        EXPECT_EQ(item.exStyle, 0u);
        EXPECT_EQ(item.helpId, 0u);
        EXPECT_TRUE(item.extra.empty());
    }
    EXPECT_EQ(dlg.items[1].id, 0xFFFFFFFFu) << "IDC_STATIC is stored as a DWORD";
}

// Resources sit in memory back to back, so a reader that overruns one reads
// the next: every shortened copy, placed where nothing follows it, must be
// refused (AddressSanitizer reports any read past it).
TEST(MainDialogTemplate, EveryTruncationIsRefusedWithoutOverrun)
{
    Bytes res = Find(RT_DIALOG, IDD_MAIN_DIALOG, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    for (size_t n = 0; n < res.size; ++n)
    {
        std::vector<uint8_t> copy(res.data, res.data + n);
        rmres::DialogTemplate dlg;
        EXPECT_FALSE(rmres::ParseDialogTemplate(copy.data(), n, &dlg)) << "length " << n;
    }
}

TEST(Resources, LanguagesAreEnglishForTextAndRussianForTheIcon)
{
    EXPECT_EQ(Languages(RT_DIALOG, IDD_MAIN_DIALOG), std::set<WORD>{kEnglishUS});
    EXPECT_EQ(Languages(RT_VERSION, 1), std::set<WORD>{kEnglishUS});
    EXPECT_EQ(Languages(RT_GROUP_ICON, IDI_MAIN), std::set<WORD>{kRussian});
    EXPECT_EQ(Languages(RT_ICON, 1), std::set<WORD>{kRussian});
    EXPECT_EQ(Languages(RT_ICON, 2), std::set<WORD>{kRussian});
}

// A group names its images by id; each image must exist and describe itself
// as the group says, or the icon shows wrong or not at all.
TEST(MainIcon, GroupHoldsA32And16PixelImageIn16Colours)
{
    Bytes group = Find(RT_GROUP_ICON, IDI_MAIN, kRussian);
    ASSERT_NE(group.data, nullptr);
    ASSERT_GE(group.size, 6u);
    EXPECT_EQ(Word(group.data), 0);      // reserved
    EXPECT_EQ(Word(group.data + 2), 1);  // icons, not cursors
    const size_t nCount = Word(group.data + 4);
    ASSERT_EQ(nCount, 2u);
    ASSERT_EQ(group.size, 6 + 14 * nCount);

    std::set<int> sizes;
    for (size_t i = 0; i < nCount; ++i)
    {
        const uint8_t* entry = group.data + 6 + 14 * i;
        const int size = entry[0];
        SCOPED_TRACE("image " + std::to_string(size));
        sizes.insert(size);
        EXPECT_EQ(entry[1], size);      // height
        EXPECT_EQ(entry[2], 16);        // colours
        EXPECT_EQ(Word(entry + 4), 1);  // planes
        EXPECT_EQ(Word(entry + 6), 4);  // bits per pixel
        const uint32_t nBytes = Dword(entry + 8);
        const WORD id = Word(entry + 12);

        Bytes image = Find(RT_ICON, id, kRussian);
        ASSERT_NE(image.data, nullptr);
        EXPECT_EQ(image.size, nBytes);
        ASSERT_GE(image.size, 40u);
        EXPECT_EQ(Dword(image.data), 40u);                                  // biSize
        EXPECT_EQ(Dword(image.data + 4), static_cast<uint32_t>(size));      // biWidth
        EXPECT_EQ(Dword(image.data + 8), static_cast<uint32_t>(2 * size));  // colour bits and mask
        EXPECT_EQ(Word(image.data + 12), 1);                                // biPlanes
        EXPECT_EQ(Word(image.data + 14), 4);                                // biBitCount
        EXPECT_EQ(Dword(image.data + 16), 0u);                              // BI_RGB
        const size_t nColourRow = (static_cast<size_t>(size) * 4 + 31) / 32 * 4;
        const size_t nMaskRow = (static_cast<size_t>(size) + 31) / 32 * 4;
        EXPECT_EQ(image.size, 40 + 16 * 4 + (nColourRow + nMaskRow) * static_cast<size_t>(size));
    }
    EXPECT_EQ(sizes, (std::set<int>{32, 16}));
}

TEST(MainIcon, LoadsFromTheExecutable)
{
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN)), nullptr);
}

TEST(VersionResource, FixedPartIsVersion2200ForA32BitApplication)
{
    Bytes res = Find(RT_VERSION, 1, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    rmres::VersionInfo info;
    ASSERT_TRUE(rmres::ParseVersionInfo(res.data, res.size, &info));
    ASSERT_TRUE(info.hasFixedInfo);
    const rmres::FixedFileInfo& fixed = info.fixed;
    EXPECT_EQ(fixed.signature, rmres::kFixedFileInfoSignature);
    EXPECT_EQ(fixed.strucVersion, 0x00010000u);
    EXPECT_EQ(fixed.fileVersionMS, 0x00020002u);
    EXPECT_EQ(fixed.fileVersionLS, 0x00000000u);
    EXPECT_EQ(fixed.productVersionMS, 0x00020002u);
    EXPECT_EQ(fixed.productVersionLS, 0x00000000u);
    EXPECT_EQ(fixed.fileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.fileFlags, 0u);
    EXPECT_EQ(fixed.fileOS, 4u);    // VOS__WINDOWS32
    EXPECT_EQ(fixed.fileType, 1u);  // VFT_APP
    EXPECT_EQ(fixed.fileSubtype, 0u);
    EXPECT_EQ(fixed.fileDateMS, 0u);
    EXPECT_EQ(fixed.fileDateLS, 0u);

    // The build's own idea of the version must not drift from the resource's.
    char szVersion[32];
    std::snprintf(szVersion, sizeof szVersion, "%u.%u.%u.%u", fixed.fileVersionMS >> 16, fixed.fileVersionMS & 0xFFFF,
                  fixed.fileVersionLS >> 16, fixed.fileVersionLS & 0xFFFF);
    EXPECT_STREQ(szVersion, RM_PROJECT_VERSION);
}

TEST(VersionResource, StringTableHasExactlyTheTwelveKeys)
{
    Bytes res = Find(RT_VERSION, 1, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    rmres::VersionInfo info;
    ASSERT_TRUE(rmres::ParseVersionInfo(res.data, res.size, &info));
    ASSERT_EQ(info.stringTables.size(), 1u);
    const rmres::VersionStringTable& table = info.stringTables[0];
    EXPECT_EQ(table.key, "040904b0");

    std::set<std::string> keys;
    for (const auto& value : table.values)
        keys.insert(value.first);
    EXPECT_EQ(table.values.size(), 12u) << "a key appears twice";
    EXPECT_EQ(keys, (std::set<std::string>{"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                                           "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                                           "ProductName", "ProductVersion", "SpecialBuild"}));

    auto value = [&](const char* key) {
        const std::string* p = table.Find(key);
        return p != nullptr ? *p : std::string("<missing>");
    };
    EXPECT_EQ(value("FileVersion"), "2, 2, 0, 0");
    EXPECT_EQ(value("ProductVersion"), "2, 2, 0, 0");
    EXPECT_EQ(value("LegalTrademarks"), "");
    EXPECT_EQ(value("PrivateBuild"), "");
    EXPECT_EQ(value("SpecialBuild"), "");
    EXPECT_EQ(value("InternalName"), "RemoteMonitor");
    EXPECT_EQ(value("OriginalFilename"), "RemoteMonitor.exe");
    EXPECT_FALSE(value("CompanyName").empty());
    EXPECT_FALSE(value("LegalCopyright").empty());
    const std::string description = value("FileDescription");
    EXPECT_FALSE(description.empty());
    EXPECT_EQ(description.find('\n'), std::string::npos);
    EXPECT_EQ(value("Comments"), description);
    EXPECT_EQ(value("ProductName"), description);

    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0].language, 0x0409);
    EXPECT_EQ(info.translations[0].codePage, 1200);
}

TEST(VersionResource, EveryTruncationIsRefusedWithoutOverrun)
{
    Bytes res = Find(RT_VERSION, 1, kEnglishUS);
    ASSERT_NE(res.data, nullptr);
    for (size_t n = 0; n < res.size; ++n)
    {
        std::vector<uint8_t> copy(res.data, res.data + n);
        rmres::VersionInfo info;
        EXPECT_FALSE(rmres::ParseVersionInfo(copy.data(), n, &info)) << "length " << n;
    }
}

}  // namespace
