// Reads the built RemoteMonitor.exe as a user's Windows would: the PE headers
// by hand, the resources through the loader, the version through the version
// API. What is checked is what a user, the loader and Explorer see, whatever
// the build scripts meant to produce.
//
//   pe_check <path of RemoteMonitor.exe> [gtest options]
#include "DialogTemplate.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

std::string g_exePath;

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// The headers and import table of a 32-bit PE file, read with every offset
// checked against the file size.
struct PeFacts
{
    uint16_t machine = 0;
    uint16_t magic = 0;
    uint16_t subsystem = 0;
    std::vector<std::string> imports;
};

class CPeReader
{
public:
    explicit CPeReader(const std::vector<uint8_t>& file) : m_file(file) {}

    bool Read(PeFacts* pFacts, std::string* pError)
    {
        IMAGE_DOS_HEADER dos;
        if (!Copy(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE)
            return Fail(pError, "no MZ header");
        size_t ntOffset = static_cast<size_t>(dos.e_lfanew);
        IMAGE_NT_HEADERS32 nt;
        if (!Copy(ntOffset, &nt) || nt.Signature != IMAGE_NT_SIGNATURE)
            return Fail(pError, "no PE header");
        pFacts->machine = nt.FileHeader.Machine;
        pFacts->magic = nt.OptionalHeader.Magic;
        if (pFacts->magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
            return true;
        pFacts->subsystem = nt.OptionalHeader.Subsystem;

        size_t sectionOffset = ntOffset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                               nt.FileHeader.SizeOfOptionalHeader;
        for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!Copy(sectionOffset + i * sizeof section, &section))
                return Fail(pError, "section table cut short");
            m_sections.push_back(section);
        }

        const IMAGE_DATA_DIRECTORY& dir = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (dir.VirtualAddress == 0)
            return true;
        size_t offset = 0;
        if (!RvaToOffset(dir.VirtualAddress, &offset))
            return Fail(pError, "import table outside every section");
        for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            IMAGE_IMPORT_DESCRIPTOR desc;
            if (!Copy(offset, &desc))
                return Fail(pError, "import table cut short");
            if (desc.Name == 0)
                break;
            std::string name;
            if (!ReadName(desc.Name, &name))
                return Fail(pError, "import name outside the file");
            pFacts->imports.push_back(name);
        }
        return true;
    }

private:
    template <typename T>
    bool Copy(size_t offset, T* pValue) const
    {
        if (offset > m_file.size() || m_file.size() - offset < sizeof(T))
            return false;
        std::memcpy(pValue, m_file.data() + offset, sizeof(T));
        return true;
    }

    bool RvaToOffset(uint32_t rva, size_t* pOffset) const
    {
        for (const IMAGE_SECTION_HEADER& s : m_sections) {
            uint32_t size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size) {
                *pOffset = s.PointerToRawData + (rva - s.VirtualAddress);
                return *pOffset < m_file.size();
            }
        }
        return false;
    }

    bool ReadName(uint32_t rva, std::string* pName) const
    {
        size_t offset = 0;
        if (!RvaToOffset(rva, &offset))
            return false;
        for (; offset < m_file.size(); ++offset) {
            if (m_file[offset] == 0)
                return true;
            *pName += static_cast<char>(m_file[offset]);
        }
        return false;
    }

    static bool Fail(std::string* pError, const char* text)
    {
        *pError = text;
        return false;
    }

    const std::vector<uint8_t>& m_file;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
};

TEST(Executable, IsA32BitWindowsGuiProgramThatNeedsOnlySystemDlls)
{
    std::vector<uint8_t> file = ReadWholeFile(g_exePath);
    ASSERT_FALSE(file.empty()) << g_exePath;
    PeFacts facts;
    std::string error;
    ASSERT_TRUE(CPeReader(file).Read(&facts, &error)) << error;

    EXPECT_EQ(facts.machine, IMAGE_FILE_MACHINE_I386);
    ASSERT_EQ(facts.magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC) << "not PE32";
    EXPECT_EQ(facts.subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

    // Every DLL a Windows installation brings; nothing of the compiler's
    // runtime may be needed beside the executable.
    static const std::set<std::string> kSystemDlls = {
        "kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll", "advapi32.dll",
        "comctl32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "version.dll",
        "ntdll.dll", "comdlg32.dll", "ws2_32.dll", "uxtheme.dll"};
    ASSERT_FALSE(facts.imports.empty());
    std::set<std::string> imports;
    for (const std::string& name : facts.imports)
        imports.insert(Lower(name));
    for (const std::string& name : imports)
        EXPECT_TRUE(kSystemDlls.count(name)) << name << " is not a system DLL";
    for (const char* needed : {"kernel32.dll", "user32.dll"})
        EXPECT_TRUE(imports.count(needed)) << needed;
}

// The executable mapped as data: resources readable, no code run.
class ExecutableResources : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_hModule = LoadLibraryExA(g_exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite()
    {
        if (s_hModule != nullptr)
            FreeLibrary(s_hModule);
        s_hModule = nullptr;
    }
    void SetUp() override { ASSERT_NE(s_hModule, nullptr) << "cannot map " << g_exePath; }

    static BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD wLanguage, LONG_PTR lParam)
    {
        reinterpret_cast<std::set<WORD>*>(lParam)->insert(wLanguage);
        return TRUE;
    }

    // The languages a resource is stored under, exactly: FindResourceEx
    // would fall back to another language and hide a wrong one.
    static std::set<WORD> Languages(LPCSTR type, int id)
    {
        std::set<WORD> languages;
        EnumResourceLanguagesA(s_hModule, type, MAKEINTRESOURCEA(id), AddLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    static std::vector<uint8_t> Data(LPCSTR type, int id, WORD language)
    {
        HRSRC hRes = FindResourceExA(s_hModule, type, MAKEINTRESOURCEA(id), language);
        if (hRes == nullptr)
            return {};
        HGLOBAL hData = LoadResource(s_hModule, hRes);
        const uint8_t* p = static_cast<const uint8_t*>(LockResource(hData));
        if (p == nullptr)
            return {};
        return std::vector<uint8_t>(p, p + SizeofResource(s_hModule, hRes));
    }

    static HMODULE s_hModule;
};

HMODULE ExecutableResources::s_hModule = nullptr;

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);  // 1033
const WORD kRussian = MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT);       // 1049

TEST_F(ExecutableResources, MainDialogTemplate)
{
    EXPECT_EQ(Languages(RT_DIALOG, 102), std::set<WORD>{kEnglishUs});
    std::vector<uint8_t> data = Data(RT_DIALOG, 102, kEnglishUs);
    rmres::DialogTemplate dlg;
    ASSERT_TRUE(rmres::ParseDialogTemplate(data.data(), data.size(), &dlg)) << "not an extended template";

    EXPECT_EQ(dlg.exStyle, static_cast<uint32_t>(WS_EX_APPWINDOW));
    EXPECT_EQ(dlg.style, static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU |
                                               DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(dlg.x, 0);
    EXPECT_EQ(dlg.y, 0);
    EXPECT_EQ(dlg.cx, 122);
    EXPECT_EQ(dlg.cy, 42);
    EXPECT_TRUE(dlg.menuOrdinal == 0 && dlg.menu.empty()) << "has a menu";
    EXPECT_TRUE(dlg.windowClassOrdinal == 0 && dlg.windowClass.empty()) << "has a window class";
    EXPECT_EQ(dlg.title, "Remote Control Test");
    ASSERT_TRUE(dlg.hasFont);
    EXPECT_EQ(dlg.pointSize, 8);
    EXPECT_EQ(dlg.weight, 0);
    EXPECT_EQ(dlg.italic, 0);
    EXPECT_EQ(dlg.charset, DEFAULT_CHARSET);
    EXPECT_EQ(dlg.typeface, "MS Sans Serif");

    struct Expected
    {
        const char* cls;
        int32_t id;
        const char* text;
        int16_t x, y, cx, cy;
        uint32_t style;
    };
    const uint32_t kChild = WS_CHILD | WS_VISIBLE;
    const Expected kItems[] = {
        {"Button", IDOK, "Close", 65, 7, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON},
        {"Static", -1, "RC Code:", 7, 9, 32, 8, kChild | WS_GROUP | SS_LEFT},
        {"Static", 1001, "", 42, 9, 15, 10, kChild | WS_GROUP | SS_SUNKEN | SS_RIGHT},
        {"Static", -1, "Extended code:", 7, 26, 51, 8, kChild | WS_GROUP | SS_LEFT},
        {"Static", 1002, "", 62, 25, 53, 10, kChild | WS_GROUP | SS_SUNKEN | SS_RIGHT},
    };
    ASSERT_EQ(dlg.items.size(), std::size(kItems));
    for (size_t i = 0; i < std::size(kItems); ++i) {
        const Expected& want = kItems[i];
        const rmres::DialogItem& item = dlg.items[i];
        SCOPED_TRACE("control " + std::to_string(i + 1));
        EXPECT_EQ(item.className, want.cls);
        EXPECT_EQ(item.ControlId(), want.id);
        EXPECT_EQ(item.titleOrdinal, 0);
        EXPECT_EQ(item.title, want.text);
        EXPECT_EQ(item.x, want.x);
        EXPECT_EQ(item.y, want.y);
        EXPECT_EQ(item.cx, want.cx);
        EXPECT_EQ(item.cy, want.cy);
        EXPECT_EQ(item.style, want.style);
        EXPECT_EQ(item.exStyle, 0u);
    }
}

#pragma pack(push, 2)
struct GroupIconEntry
{
    BYTE width, height, colorCount, reserved;
    WORD planes, bitCount;
    DWORD bytesInRes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ExecutableResources, IconGroupHasA32And16PixelImageIn16Colours)
{
    EXPECT_EQ(Languages(RT_GROUP_ICON, 128), std::set<WORD>{kRussian});
    std::vector<uint8_t> group = Data(RT_GROUP_ICON, 128, kRussian);
    ASSERT_GE(group.size(), 6u);
    WORD header[3];
    std::memcpy(header, group.data(), sizeof header);
    EXPECT_EQ(header[1], 1) << "not an icon group";
    ASSERT_EQ(group.size(), 6 + header[2] * sizeof(GroupIconEntry));

    std::set<int> sizes;
    for (WORD i = 0; i < header[2]; ++i) {
        GroupIconEntry entry;
        std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
        SCOPED_TRACE("image " + std::to_string(entry.id));
        sizes.insert(entry.width);
        EXPECT_EQ(entry.height, entry.width);
        EXPECT_EQ(entry.colorCount, 16);

        // The image itself, not only the group's word for it.
        EXPECT_EQ(Languages(RT_ICON, entry.id), std::set<WORD>{kRussian});
        std::vector<uint8_t> image = Data(RT_ICON, entry.id, kRussian);
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        EXPECT_EQ(image.size(), entry.bytesInRes);
        BITMAPINFOHEADER bih;
        std::memcpy(&bih, image.data(), sizeof bih);
        EXPECT_EQ(bih.biWidth, entry.width);
        EXPECT_EQ(bih.biHeight, 2 * entry.width) << "image and mask";
        EXPECT_EQ(bih.biBitCount, 4);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
    EXPECT_EQ(header[2], 2);
}

TEST_F(ExecutableResources, VersionResource)
{
    EXPECT_EQ(Languages(RT_VERSION, 1), std::set<WORD>{kEnglishUs});
    std::vector<uint8_t> data = Data(RT_VERSION, 1, kEnglishUs);
    rmres::VersionInfo info;
    ASSERT_TRUE(rmres::ParseVersionInfo(data.data(), data.size(), &info));

    ASSERT_TRUE(info.hasFixedInfo);
    const rmres::FixedFileInfo& fixed = info.fixed;
    EXPECT_EQ(fixed.signature, rmres::kFixedFileInfoSignature);
    EXPECT_EQ(fixed.fileVersionMS, 0x00020002u);
    EXPECT_EQ(fixed.fileVersionLS, 0u);
    EXPECT_EQ(fixed.productVersionMS, 0x00020002u);
    EXPECT_EQ(fixed.productVersionLS, 0u);
    EXPECT_EQ(fixed.fileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed.fileFlags, 0u);
    EXPECT_EQ(fixed.fileOS, 4u);
    EXPECT_EQ(fixed.fileType, 1u);
    EXPECT_EQ(fixed.fileSubtype, 0u);

    ASSERT_EQ(info.stringTables.size(), 1u);
    const rmres::VersionStringTable& table = info.stringTables[0];
    EXPECT_EQ(Lower(table.key), "040904b0");
    std::set<std::string> keys;
    for (const auto& value : table.values)
        keys.insert(value.first);
    EXPECT_EQ(keys, (std::set<std::string>{"Comments", "CompanyName", "FileDescription", "FileVersion",
                                           "InternalName", "LegalCopyright", "LegalTrademarks",
                                           "OriginalFilename", "PrivateBuild", "ProductName",
                                           "ProductVersion", "SpecialBuild"}));
    EXPECT_EQ(table.values.size(), keys.size()) << "a key appears twice";
    auto value = [&](const char* key) {
        const std::string* p = table.Find(key);
        return p != nullptr ? *p : std::string("<missing>");
    };
    EXPECT_EQ(value("FileVersion"), "2, 2, 0, 0");
    EXPECT_EQ(value("ProductVersion"), "2, 2, 0, 0");
    EXPECT_FALSE(value("FileDescription").empty());
    EXPECT_EQ(value("Comments"), value("FileDescription"));
    EXPECT_EQ(value("ProductName"), value("FileDescription"));
    EXPECT_EQ(value("LegalTrademarks"), "");
    EXPECT_EQ(value("PrivateBuild"), "");
    EXPECT_EQ(value("SpecialBuild"), "");
    for (const char* key : {"CompanyName", "LegalCopyright", "InternalName", "OriginalFilename"})
        EXPECT_FALSE(value(key).empty()) << key;

    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0].language, 0x0409);
    EXPECT_EQ(info.translations[0].codePage, 1200);
}

// The version API is what Explorer's Properties page reads: it must agree.
TEST(ExecutableVersionApi, ReadsTheSameVersion)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(g_exePath.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(g_exePath.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* pFixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&pFixed), &len));
    ASSERT_GE(len, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(pFixed->dwFileVersionMS, 0x00020002u);
    EXPECT_EQ(pFixed->dwProductVersionMS, 0x00020002u);

    WORD* pTranslation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&pTranslation), &len));
    ASSERT_EQ(len, 4u);
    EXPECT_EQ(pTranslation[0], 0x0409);
    EXPECT_EQ(pTranslation[1], 1200);

    char* pText = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion",
                               reinterpret_cast<void**>(&pText), &len));
    EXPECT_STREQ(pText, "2, 2, 0, 0");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        fprintf(stderr, "usage: pe_check <RemoteMonitor.exe> [gtest options]\n");
        return 2;
    }
    g_exePath = argv[1];
    return RUN_ALL_TESTS();
}
