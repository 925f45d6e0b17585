// Reads the built RemoteMonitor.exe as a user's Windows would: the PE headers
// by hand, the resources through the loader, the version through the version
// API. What is checked is what a user, the loader and Explorer see, whatever
// the build scripts meant to produce. The executable and our driver libraries
// must also load on Windows XP SP3: their headers and every function they
// import are held against a list of what that system has.
//
//   pe_check <RemoteMonitor.exe> <allowed imports> [<TavrixRC.dll>...] [gtest options]
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
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string g_exePath;
std::string g_allowListPath;
std::vector<std::string> g_libraryPaths;

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
    uint16_t osMajor = 0, osMinor = 0;
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    std::vector<std::string> imports;
    // DLL and function, as the import table names them; "#n" for an import
    // by ordinal, which no list of names can vouch for.
    std::vector<std::pair<std::string, std::string>> functions;
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
        pFacts->osMajor = nt.OptionalHeader.MajorOperatingSystemVersion;
        pFacts->osMinor = nt.OptionalHeader.MinorOperatingSystemVersion;
        pFacts->subsystemMajor = nt.OptionalHeader.MajorSubsystemVersion;
        pFacts->subsystemMinor = nt.OptionalHeader.MinorSubsystemVersion;

        size_t sectionOffset =
            ntOffset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
        for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i)
        {
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
        for (;; offset += sizeof(IMAGE_IMPORT_DESCRIPTOR))
        {
            IMAGE_IMPORT_DESCRIPTOR desc;
            if (!Copy(offset, &desc))
                return Fail(pError, "import table cut short");
            if (desc.Name == 0)
                break;
            std::string name;
            if (!ReadName(desc.Name, &name))
                return Fail(pError, "import name outside the file");
            pFacts->imports.push_back(name);
            // The lookup table keeps the names after binding; the address
            // table holds them only until then.
            uint32_t thunks = desc.OriginalFirstThunk != 0 ? desc.OriginalFirstThunk : desc.FirstThunk;
            if (!ReadFunctions(name, thunks, &pFacts->functions))
                return Fail(pError, "import lookup table outside the file");
        }
        return true;
    }

private:
    bool ReadFunctions(const std::string& dll, uint32_t rva,
                       std::vector<std::pair<std::string, std::string>>* pFunctions) const
    {
        size_t offset = 0;
        if (!RvaToOffset(rva, &offset))
            return false;
        for (;; offset += sizeof(uint32_t))
        {
            uint32_t thunk = 0;
            if (!Copy(offset, &thunk))
                return false;
            if (thunk == 0)
                return true;
            std::string function;
            if (thunk & IMAGE_ORDINAL_FLAG32)
                function = "#" + std::to_string(thunk & 0xFFFF);
            else if (!ReadName(thunk + offsetof(IMAGE_IMPORT_BY_NAME, Name), &function))
                return false;
            pFunctions->emplace_back(dll, function);
        }
    }

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
        for (const IMAGE_SECTION_HEADER& s : m_sections)
        {
            uint32_t size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < size)
            {
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
        for (; offset < m_file.size(); ++offset)
        {
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
        "kernel32.dll", "user32.dll",   "gdi32.dll",   "msvcrt.dll", "advapi32.dll", "comctl32.dll", "shell32.dll",
        "ole32.dll",    "oleaut32.dll", "version.dll", "ntdll.dll",  "comdlg32.dll", "ws2_32.dll",   "uxtheme.dll"};
    ASSERT_FALSE(facts.imports.empty());
    std::set<std::string> imports;
    for (const std::string& name : facts.imports)
        imports.insert(Lower(name));
    for (const std::string& name : imports)
        EXPECT_TRUE(kSystemDlls.count(name)) << name << " is not a system DLL";
    for (const char* needed : {"kernel32.dll", "user32.dll"})
        EXPECT_TRUE(imports.count(needed)) << needed;
}

// ---- Windows XP SP3 ---------------------------------------------------------

// "kernel32.dll!CloseHandle" -> the oldest client its documentation names.
typedef std::map<std::string, std::string> AllowList;

std::string ImportKey(const std::string& dll, const std::string& function)
{
    return Lower(dll) + "!" + function;
}

// One "<DLL> <function> <oldest client>" a line; '#' starts a comment.
bool ReadAllowList(const std::string& path, AllowList* pList, std::string* pError)
{
    std::ifstream in(path);
    if (!in)
    {
        *pError = "cannot read " + path;
        return false;
    }
    std::string line;
    for (int nLine = 1; std::getline(in, line); ++nLine)
    {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string dll, function, minimum;
        if (!(fields >> dll))
            continue;
        fields >> function;
        std::getline(fields >> std::ws, minimum);
        while (!minimum.empty() && std::isspace(static_cast<unsigned char>(minimum.back())))
            minimum.pop_back();
        if (function.empty() || minimum.empty())
        {
            *pError = path + ":" + std::to_string(nLine) + ": want <DLL> <function> <oldest client>";
            return false;
        }
        (*pList)[ImportKey(dll, function)] = minimum;
    }
    return true;
}

// What keeps a binary with these imports from loading on Windows XP SP3.
std::vector<std::string> XpSp3Misses(const PeFacts& facts, const AllowList& allowed)
{
    static const std::set<std::string> kDlls = {"kernel32.dll", "user32.dll", "msvcrt.dll"};
    std::vector<std::string> misses;
    if (facts.osMajor != 5 || facts.osMinor != 1)
        misses.push_back("OS version " + std::to_string(facts.osMajor) + "." + std::to_string(facts.osMinor));
    if (facts.subsystemMajor != 5 || facts.subsystemMinor != 1)
        misses.push_back("subsystem version " + std::to_string(facts.subsystemMajor) + "." +
                         std::to_string(facts.subsystemMinor));
    for (const std::string& dll : facts.imports)
    {
        if (!kDlls.count(Lower(dll)))
            misses.push_back(dll + " imported");
    }
    for (const auto& import : facts.functions)
    {
        if (kDlls.count(Lower(import.first)) && !allowed.count(ImportKey(import.first, import.second)))
            misses.push_back(import.first + "!" + import.second + " not known on Windows XP SP3");
    }
    return misses;
}

std::string Joined(const std::vector<std::string>& items, const char* separator)
{
    std::string text;
    for (const std::string& item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

TEST(WindowsXpSp3, TheListOfAllowedImportsHoldsOnlyCallsOfXpOrOlder)
{
    AllowList allowed;
    std::string error;
    ASSERT_TRUE(ReadAllowList(g_allowListPath, &allowed, &error)) << error;
    ASSERT_FALSE(allowed.empty());
    static const std::set<std::string> kOldEnough = {"2000", "XP", "XP SP1", "XP SP2", "XP SP3"};
    for (const auto& entry : allowed)
        EXPECT_TRUE(kOldEnough.count(entry.second)) << entry.first << " needs " << entry.second;
}

// The check itself must fail on what broke the tool on XP before: a call
// of Vista and a runtime DLL of the compiler, in an executable marked 4.0.
TEST(WindowsXpSp3, TheCheckRejectsWhatXpLacks)
{
    AllowList allowed = {{"kernel32.dll!Sleep", "XP"}};
    PeFacts facts;
    facts.osMajor = facts.subsystemMajor = 4;
    facts.imports = {"KERNEL32.dll", "libwinpthread-1.dll"};
    facts.functions = {{"KERNEL32.dll", "Sleep"}, {"KERNEL32.dll", "GetTickCount64"}, {"KERNEL32.dll", "#17"}};
    EXPECT_EQ(Joined(XpSp3Misses(facts, allowed), "; "),
              "OS version 4.0; subsystem version 4.0; libwinpthread-1.dll imported; "
              "KERNEL32.dll!GetTickCount64 not known on Windows XP SP3; KERNEL32.dll!#17 not known on Windows XP SP3");
}

TEST(WindowsXpSp3, EveryBinaryLoadsThere)
{
    AllowList allowed;
    std::string error;
    ASSERT_TRUE(ReadAllowList(g_allowListPath, &allowed, &error)) << error;

    std::vector<std::string> paths = {g_exePath};
    paths.insert(paths.end(), g_libraryPaths.begin(), g_libraryPaths.end());
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(path);
        std::vector<uint8_t> file = ReadWholeFile(path);
        ASSERT_FALSE(file.empty());
        PeFacts facts;
        ASSERT_TRUE(CPeReader(file).Read(&facts, &error)) << error;

        std::map<std::string, std::vector<std::string>> byDll;
        for (const auto& import : facts.functions)
            byDll[import.first].push_back(import.second);
        printf("%s imports\n", path.c_str());
        for (const auto& dll : byDll)
            printf("  %s: %s\n", dll.first.c_str(), Joined(dll.second, " ").c_str());
        // A reader that found nothing would pass anything.
        ASSERT_EQ(byDll.size(), facts.imports.size()) << "a DLL without functions";

        EXPECT_EQ(Joined(XpSp3Misses(facts, allowed), "\n"), "");
    }
}

TEST(WindowsXpSp3, TheReaderSeesTheCallsTheToolMakes)
{
    std::vector<uint8_t> file = ReadWholeFile(g_exePath);
    PeFacts facts;
    std::string error;
    ASSERT_TRUE(CPeReader(file).Read(&facts, &error)) << error;
    std::set<std::string> keys;
    for (const auto& import : facts.functions)
        keys.insert(ImportKey(import.first, import.second));
    for (const char* key :
         {"kernel32.dll!LoadLibraryA", "kernel32.dll!GetProcAddress", "kernel32.dll!CreateThread",
          "kernel32.dll!TerminateThread", "user32.dll!SetWindowTextA", "user32.dll!DialogBoxIndirectParamA"})
        EXPECT_TRUE(keys.count(key)) << key;
}

// The executable mapped as data: resources readable, no code run.
class ExecutableResources : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { s_hModule = LoadLibraryExA(g_exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE); }
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
    EXPECT_EQ(dlg.style,
              static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
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
    for (size_t i = 0; i < std::size(kItems); ++i)
    {
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
    for (WORD i = 0; i < header[2]; ++i)
    {
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
    EXPECT_EQ(keys, (std::set<std::string>{"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                                           "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                                           "ProductName", "ProductVersion", "SpecialBuild"}));
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
    ASSERT_TRUE(
        VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pTranslation), &len));
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
    if (argc < 3)
    {
        fprintf(stderr, "usage: pe_check <RemoteMonitor.exe> <allowed imports> [<TavrixRC.dll>...] [gtest options]\n");
        return 2;
    }
    g_exePath = argv[1];
    g_allowListPath = argv[2];
    g_libraryPaths.assign(argv + 3, argv + argc);
    return RUN_ALL_TESTS();
}
