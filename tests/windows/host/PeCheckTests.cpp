// Reads the built RemoteMonitor.exe as a user's Windows would, on the build
// host: the PE headers, the import table and the resource tree, by hand,
// with no Windows code. What is checked is what a user, the loader and
// Explorer see, whatever the build scripts meant to produce, and it is
// checked on every machine that builds the exe, also one that cannot run it.
// The executable and our driver libraries must also load on Windows XP SP3:
// their headers and every function they import are held against a list of
// what that system has. A release as it ships is stripped, and small.
//
//   pe_check <RemoteMonitor.exe> <allowed imports> [<TavrixRC.dll>...]
//            [--release-size-limit=<bytes>] [gtest options]
#include "ByteReader.h"
#include "DialogTemplate.h"
#include "VersionInfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
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
size_t g_releaseSizeLimit = 0;

// The values the checks hold the files to, as winnt.h, winuser.h and
// wingdi.h document them; none is taken from the resource script's headers,
// which are what is being checked.
namespace win {
const uint16_t IMAGE_DOS_SIGNATURE = 0x5A4D;     // "MZ"
const uint32_t IMAGE_NT_SIGNATURE = 0x00004550;  // "PE\0\0"
const uint16_t IMAGE_FILE_MACHINE_I386 = 0x014C;
const uint16_t IMAGE_NT_OPTIONAL_HDR32_MAGIC = 0x010B;
const uint16_t IMAGE_SUBSYSTEM_WINDOWS_GUI = 2;
const uint32_t IMAGE_ORDINAL_FLAG32 = 0x80000000;
const unsigned IMAGE_DIRECTORY_ENTRY_IMPORT = 1;
const unsigned IMAGE_DIRECTORY_ENTRY_RESOURCE = 2;

const uint32_t RT_ICON = 3;
const uint32_t RT_DIALOG = 5;
const uint32_t RT_GROUP_ICON = 14;
const uint32_t RT_VERSION = 16;

const uint32_t WS_POPUP = 0x80000000;
const uint32_t WS_CHILD = 0x40000000;
const uint32_t WS_VISIBLE = 0x10000000;
const uint32_t WS_CAPTION = 0x00C00000;
const uint32_t WS_SYSMENU = 0x00080000;
const uint32_t WS_GROUP = 0x00020000;
const uint32_t WS_TABSTOP = 0x00010000;
const uint32_t WS_EX_APPWINDOW = 0x00040000;
const uint32_t DS_SETFONT = 0x40;
const uint32_t DS_MODALFRAME = 0x80;
const uint32_t BS_DEFPUSHBUTTON = 0x1;
const uint32_t SS_LEFT = 0x0;
const uint32_t SS_RIGHT = 0x2;
const uint32_t SS_SUNKEN = 0x1000;
const int32_t IDOK = 1;
const uint8_t DEFAULT_CHARSET = 1;

const uint16_t kEnglishUs = 0x0409;  // MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), 1033
const uint16_t kRussian = 0x0419;    // MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT), 1049
}  // namespace win

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

struct Section
{
    std::string name;  // a long one ("/4" in the header) from the string table
    uint32_t virtualSize = 0, virtualAddress = 0, rawSize = 0, rawOffset = 0;
};

// type -> number -> language -> the resource's bytes. Only numbered types and
// names are kept: the tool's resources are all numbered, and a lookup by
// number must find them.
typedef std::map<uint32_t, std::map<uint32_t, std::map<uint16_t, std::vector<uint8_t>>>> ResourceTree;

// The headers, import table and resources of a 32-bit PE file, read with
// every offset checked against the file size.
struct PeFacts
{
    uint16_t machine = 0;
    uint16_t magic = 0;
    uint16_t subsystem = 0;
    uint16_t osMajor = 0, osMinor = 0;
    uint16_t subsystemMajor = 0, subsystemMinor = 0;
    uint32_t symbolTable = 0, symbolCount = 0;
    std::vector<Section> sections;
    std::vector<std::string> imports;
    // DLL and function, as the import table names them; "#n" for an import
    // by ordinal, which no list of names can vouch for.
    std::vector<std::pair<std::string, std::string>> functions;
    ResourceTree resources;
};

class CPeReader
{
public:
    explicit CPeReader(const std::vector<uint8_t>& file) : m_file(file), m_reader(file.data(), file.size()) {}

    bool Read(PeFacts* pFacts, std::string* pError)
    {
        uint16_t signature = 0;
        uint32_t ntOffset = 0;
        if (!At(0) || !m_reader.ReadU16(&signature) || signature != win::IMAGE_DOS_SIGNATURE || !At(0x3C) ||
            !m_reader.ReadU32(&ntOffset))
            return Fail(pError, "no MZ header");
        uint32_t ntSignature = 0;
        if (!At(ntOffset) || !m_reader.ReadU32(&ntSignature) || ntSignature != win::IMAGE_NT_SIGNATURE)
            return Fail(pError, "no PE header");
        uint16_t sectionCount = 0, optionalSize = 0;
        if (!m_reader.ReadU16(&pFacts->machine) || !m_reader.ReadU16(&sectionCount) || !m_reader.Skip(4) ||
            !m_reader.ReadU32(&pFacts->symbolTable) || !m_reader.ReadU32(&pFacts->symbolCount) ||
            !m_reader.ReadU16(&optionalSize) || !m_reader.Skip(2))
            return Fail(pError, "file header cut short");
        size_t optional = m_reader.Offset();
        if (!m_reader.ReadU16(&pFacts->magic))
            return Fail(pError, "optional header cut short");
        if (pFacts->magic != win::IMAGE_NT_OPTIONAL_HDR32_MAGIC)
            return true;
        uint32_t directoryCount = 0;
        if (!At(optional + 40) || !m_reader.ReadU16(&pFacts->osMajor) || !m_reader.ReadU16(&pFacts->osMinor) ||
            !m_reader.Skip(4) || !m_reader.ReadU16(&pFacts->subsystemMajor) ||
            !m_reader.ReadU16(&pFacts->subsystemMinor) || !At(optional + 68) || !m_reader.ReadU16(&pFacts->subsystem) ||
            !At(optional + 92) || !m_reader.ReadU32(&directoryCount))
            return Fail(pError, "optional header cut short");
        uint32_t directories[3][2] = {};
        for (unsigned i = 0; i < 3 && i < directoryCount; ++i)
        {
            if (96 + 8 * (i + 1) > optionalSize || !m_reader.ReadU32(&directories[i][0]) ||
                !m_reader.ReadU32(&directories[i][1]))
                return Fail(pError, "data directories cut short");
        }

        for (unsigned i = 0; i < sectionCount; ++i)
        {
            Section section;
            char name[8] = {};
            bool ok = At(optional + optionalSize + 40 * i);
            for (char& ch : name)
                ok = ok && m_reader.ReadU8(reinterpret_cast<uint8_t*>(&ch));
            section.name.assign(name, strnlen(name, sizeof name));
            if (!ok || !m_reader.ReadU32(&section.virtualSize) || !m_reader.ReadU32(&section.virtualAddress) ||
                !m_reader.ReadU32(&section.rawSize) || !m_reader.ReadU32(&section.rawOffset))
                return Fail(pError, "section table cut short");
            if (section.name[0] == '/' && !ReadLongName(*pFacts, &section.name))
                return Fail(pError, "section name outside the string table");
            pFacts->sections.push_back(section);
        }
        m_sections = pFacts->sections;

        if (uint32_t rva = directories[win::IMAGE_DIRECTORY_ENTRY_IMPORT][0])
        {
            if (!ReadImports(rva, pFacts, pError))
                return false;
        }
        if (uint32_t rva = directories[win::IMAGE_DIRECTORY_ENTRY_RESOURCE][0])
        {
            if (!RvaToOffset(rva, &m_resourceBase))
                return Fail(pError, "resource tree outside every section");
            if (!ReadResourceDirectory(0, 0, 0, 0, &pFacts->resources))
                return Fail(pError, "resource tree damaged or outside the file");
        }
        return true;
    }

private:
    // GNU ld keeps names longer than 8 characters in the string table after
    // the symbols, and a stripped file keeps that table for them alone.
    bool ReadLongName(const PeFacts& facts, std::string* pName)
    {
        size_t start = size_t(facts.symbolTable) + 18 * size_t(facts.symbolCount);
        size_t offset = std::strtoul(pName->c_str() + 1, nullptr, 10);
        if (facts.symbolTable == 0 || start >= m_file.size() || m_file.size() - start <= offset)
            return false;
        const char* p = reinterpret_cast<const char*>(&m_file[start + offset]);
        pName->assign(p, strnlen(p, m_file.size() - start - offset));
        return true;
    }

    bool ReadImports(uint32_t rva, PeFacts* pFacts, std::string* pError)
    {
        size_t offset = 0;
        if (!RvaToOffset(rva, &offset))
            return Fail(pError, "import table outside every section");
        // Each descriptor: lookup table, time stamp, forwarder chain, name, address table.
        for (;; offset += 20)
        {
            uint32_t lookup = 0, name = 0, address = 0;
            if (!At(offset) || !m_reader.ReadU32(&lookup) || !m_reader.Skip(8) || !m_reader.ReadU32(&name) ||
                !m_reader.ReadU32(&address))
                return Fail(pError, "import table cut short");
            if (name == 0)
                return true;
            std::string dll;
            if (!ReadName(name, &dll))
                return Fail(pError, "import name outside the file");
            pFacts->imports.push_back(dll);
            // The lookup table keeps the names after binding; the address
            // table holds them only until then.
            if (!ReadFunctions(dll, lookup != 0 ? lookup : address, &pFacts->functions))
                return Fail(pError, "import lookup table outside the file");
        }
    }

    bool ReadFunctions(const std::string& dll, uint32_t rva,
                       std::vector<std::pair<std::string, std::string>>* pFunctions)
    {
        size_t offset = 0;
        if (!RvaToOffset(rva, &offset))
            return false;
        for (;; offset += sizeof(uint32_t))
        {
            uint32_t thunk = 0;
            if (!At(offset) || !m_reader.ReadU32(&thunk))
                return false;
            if (thunk == 0)
                return true;
            std::string function;
            if (thunk & win::IMAGE_ORDINAL_FLAG32)
                function = "#" + std::to_string(thunk & 0xFFFF);
            else if (!ReadName(thunk + 2, &function))  // past the hint
                return false;
            pFunctions->emplace_back(dll, function);
        }
    }

    // The three levels of the tree: type, name, language. Offsets are from
    // the tree's start; a directory's entries follow its 16-byte header.
    bool ReadResourceDirectory(uint32_t offset, int level, uint32_t type, uint32_t name, ResourceTree* pTree)
    {
        uint16_t named = 0, numbered = 0;
        if (!At(m_resourceBase + offset) || !m_reader.Skip(12) || !m_reader.ReadU16(&named) ||
            !m_reader.ReadU16(&numbered))
            return false;
        for (unsigned i = 0; i < unsigned(named) + numbered; ++i)
        {
            uint32_t id = 0, target = 0;
            if (!At(m_resourceBase + offset + 16 + 8 * i) || !m_reader.ReadU32(&id) || !m_reader.ReadU32(&target))
                return false;
            bool isDirectory = (target & 0x80000000u) != 0;
            if (isDirectory != (level < 2))
                return false;
            if (id & 0x80000000u)
                continue;
            bool ok = level == 0   ? ReadResourceDirectory(target & 0x7FFFFFFF, 1, id, 0, pTree)
                      : level == 1 ? ReadResourceDirectory(target & 0x7FFFFFFF, 2, type, id, pTree)
                                   : ReadResourceData(target, &(*pTree)[type][name][static_cast<uint16_t>(id)]);
            if (!ok)
                return false;
        }
        return true;
    }

    bool ReadResourceData(uint32_t entry, std::vector<uint8_t>* pData)
    {
        uint32_t rva = 0, size = 0;
        size_t offset = 0;
        if (!At(m_resourceBase + entry) || !m_reader.ReadU32(&rva) || !m_reader.ReadU32(&size) ||
            !RvaToOffset(rva, &offset) || m_file.size() - offset < size)
            return false;
        pData->assign(m_file.begin() + offset, m_file.begin() + offset + size);
        return true;
    }

    bool At(size_t offset) { return m_reader.Seek(offset); }

    bool RvaToOffset(uint32_t rva, size_t* pOffset) const
    {
        for (const Section& s : m_sections)
        {
            uint32_t size = std::max(s.virtualSize, s.rawSize);
            if (rva >= s.virtualAddress && rva - s.virtualAddress < size)
            {
                *pOffset = size_t(s.rawOffset) + (rva - s.virtualAddress);
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
    rmres::CByteReader m_reader;
    std::vector<Section> m_sections;
    size_t m_resourceBase = 0;
};

TEST(Executable, IsA32BitWindowsGuiProgramThatNeedsOnlySystemDlls)
{
    std::vector<uint8_t> file = ReadWholeFile(g_exePath);
    ASSERT_FALSE(file.empty()) << g_exePath;
    PeFacts facts;
    std::string error;
    ASSERT_TRUE(CPeReader(file).Read(&facts, &error)) << error;

    EXPECT_EQ(facts.machine, win::IMAGE_FILE_MACHINE_I386);
    ASSERT_EQ(facts.magic, win::IMAGE_NT_OPTIONAL_HDR32_MAGIC) << "not PE32";
    EXPECT_EQ(facts.subsystem, win::IMAGE_SUBSYSTEM_WINDOWS_GUI);

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

// The executable's resource tree, read once.
class ExecutableResources : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        std::vector<uint8_t> file = ReadWholeFile(g_exePath);
        PeFacts facts;
        s_read = CPeReader(file).Read(&facts, &s_error);
        s_tree = facts.resources;
    }
    void SetUp() override { ASSERT_TRUE(s_read) << g_exePath << ": " << s_error; }

    // The languages a resource is stored under, exactly: a lookup that fell
    // back to another language would hide a wrong one.
    static std::set<uint16_t> Languages(uint32_t type, uint32_t id)
    {
        std::set<uint16_t> languages;
        for (const auto& entry : s_tree[type][id])
            languages.insert(entry.first);
        return languages;
    }

    static std::vector<uint8_t> Data(uint32_t type, uint32_t id, uint16_t language)
    {
        return s_tree[type][id][language];
    }

    static bool s_read;
    static std::string s_error;
    static ResourceTree s_tree;
};

bool ExecutableResources::s_read = false;
std::string ExecutableResources::s_error;
ResourceTree ExecutableResources::s_tree;

uint16_t Word(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Dword(const uint8_t* p)
{
    return static_cast<uint32_t>(Word(p)) | (static_cast<uint32_t>(Word(p + 2)) << 16);
}

TEST_F(ExecutableResources, MainDialogTemplate)
{
    using namespace win;
    EXPECT_EQ(Languages(RT_DIALOG, 102), std::set<uint16_t>{kEnglishUs});
    std::vector<uint8_t> data = Data(RT_DIALOG, 102, kEnglishUs);
    rmres::DialogTemplate dlg;
    ASSERT_TRUE(rmres::ParseDialogTemplate(data.data(), data.size(), &dlg)) << "not an extended template";

    EXPECT_EQ(dlg.exStyle, WS_EX_APPWINDOW);
    EXPECT_EQ(dlg.style, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
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

TEST_F(ExecutableResources, IconGroupHasA32And16PixelImageIn16Colours)
{
    using namespace win;
    EXPECT_EQ(Languages(RT_GROUP_ICON, 128), std::set<uint16_t>{kRussian});
    std::vector<uint8_t> group = Data(RT_GROUP_ICON, 128, kRussian);
    ASSERT_GE(group.size(), 6u);
    // The group: reserved, type (1: icons), count, then a 14-byte entry per
    // image: width, height, colours, reserved, planes, bits, bytes, image id.
    uint16_t type = Word(&group[2]), count = Word(&group[4]);
    EXPECT_EQ(type, 1) << "not an icon group";
    ASSERT_EQ(group.size(), 6 + count * 14u);

    std::set<int> sizes;
    for (uint16_t i = 0; i < count; ++i)
    {
        const uint8_t* entry = &group[6 + i * 14];
        uint8_t width = entry[0], height = entry[1], colours = entry[2];
        uint32_t bytesInRes = Dword(entry + 8);
        uint16_t id = Word(entry + 12);
        SCOPED_TRACE("image " + std::to_string(id));
        sizes.insert(width);
        EXPECT_EQ(height, width);
        EXPECT_EQ(colours, 16);

        // The image itself, not only the group's word for it: a
        // BITMAPINFOHEADER (size, width, height, planes, bit count, ...).
        EXPECT_EQ(Languages(RT_ICON, id), std::set<uint16_t>{kRussian});
        std::vector<uint8_t> image = Data(RT_ICON, id, kRussian);
        ASSERT_GE(image.size(), 40u);
        EXPECT_EQ(image.size(), bytesInRes);
        EXPECT_EQ(static_cast<int32_t>(Dword(&image[4])), width);
        EXPECT_EQ(static_cast<int32_t>(Dword(&image[8])), 2 * width) << "image and mask";
        EXPECT_EQ(Word(&image[14]), 4);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
    EXPECT_EQ(count, 2);
}

TEST_F(ExecutableResources, VersionResource)
{
    using namespace win;
    EXPECT_EQ(Languages(RT_VERSION, 1), std::set<uint16_t>{kEnglishUs});
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

// ---- The release as it ships ------------------------------------------------

// Stripped means no symbols and no debug sections left in the file, which
// names its debug information beside it for a debugger to find.
TEST(Release, EveryBinaryIsStrippedWithItsDebugInformationBeside)
{
    std::vector<std::string> paths = {g_exePath};
    paths.insert(paths.end(), g_libraryPaths.begin(), g_libraryPaths.end());
    for (const std::string& path : paths)
    {
        SCOPED_TRACE(path);
        std::vector<uint8_t> file = ReadWholeFile(path);
        PeFacts facts;
        std::string error;
        ASSERT_TRUE(CPeReader(file).Read(&facts, &error)) << error;
        EXPECT_EQ(facts.symbolCount, 0u);
        const Section* pLink = nullptr;
        for (const Section& section : facts.sections)
        {
            EXPECT_NE(section.name.compare(0, 6, ".debug"), 0) << section.name;
            if (section.name == ".gnu_debuglink")
                pLink = &section;
        }
        ASSERT_NE(pLink, nullptr) << "no link to the debug information";
        std::string debugName = path.substr(path.find_last_of('/') + 1) + ".debug";
        ASSERT_GE(file.size() - std::min<size_t>(file.size(), pLink->rawOffset), debugName.size() + 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[pLink->rawOffset])), debugName);
        EXPECT_FALSE(ReadWholeFile(path + ".debug").empty()) << "no " << debugName << " beside it";
    }
}

// The budget holds the release to what it was made small to; past it, the
// link map (app/RemoteMonitor.map) says what came in.
TEST(Release, TheExecutableKeepsWithinItsSize)
{
    std::vector<uint8_t> file = ReadWholeFile(g_exePath);
    ASSERT_FALSE(file.empty()) << g_exePath;
    printf("%s: %zu bytes\n", g_exePath.c_str(), file.size());
    EXPECT_LE(file.size(), g_releaseSizeLimit);
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<std::string> paths;
    const std::string kLimit = "--release-size-limit=";
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg.compare(0, kLimit.size(), kLimit) == 0)
            g_releaseSizeLimit = std::stoul(arg.substr(kLimit.size()));
        else
            paths.push_back(arg);
    }
    if (paths.size() < 2)
    {
        fprintf(stderr, "usage: pe_check <RemoteMonitor.exe> <allowed imports> [<TavrixRC.dll>...] "
                        "[--release-size-limit=<bytes>] [gtest options]\n");
        return 2;
    }
    g_exePath = paths[0];
    g_allowListPath = paths[1];
    g_libraryPaths.assign(paths.begin() + 2, paths.end());
    return RUN_ALL_TESTS();
}
