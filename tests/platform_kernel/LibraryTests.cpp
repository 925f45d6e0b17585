// LoadLibraryA and friends: exact export names, the search order of a bare
// name (never the current directory), reference counts, module file names.
#include <windows.h>

#include "KernelTestUtil.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

using namespace kerneltest;
namespace fs = std::filesystem;

namespace {

const char kSideLib[] = "KernelTestSide.dll";  // only in KERNEL_TEST_LIB_DIR

class LibraryTest : public ::testing::Test
{
protected:
    void SetUp() override { m_oldCwd = fs::current_path(); }
    void TearDown() override
    {
        SetDllDirectoryA(nullptr);
        fs::current_path(m_oldCwd);
    }

private:
    fs::path m_oldCwd;
};

TEST_F(LibraryTest, ExportsAreFoundByTheirExactNameOnly)
{
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    IntFn answer = Proc<IntFn>(lib, "answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);

    for (const char* name : {"Answer", "ANSWER", "answe", "answer ", "", "_answer"})
    {
        SetLastError(0);
        EXPECT_EQ(GetProcAddress(lib, name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND)) << name;
    }
    EXPECT_TRUE(FreeLibrary(lib));
}

TEST_F(LibraryTest, MissingLibrariesFailWithModNotFound)
{
    for (const char* name : {"NoSuchLibrary.dll", "/nonexistent/KernelTestLib.dll", "./NoSuchLibrary.dll"})
    {
        SetLastError(0);
        EXPECT_EQ(LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND)) << name;
    }
}

TEST_F(LibraryTest, BareNameSearchOrder)
{
    // The executable's directory comes before the DLL directory.
    ASSERT_TRUE(SetDllDirectoryA(KERNEL_TEST_LIB_DIR));
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Proc<IntFn>(lib, "where")(), 1);
    EXPECT_TRUE(FreeLibrary(lib));

    // The DLL directory is searched...
    HMODULE side = LoadLibraryA(kSideLib);
    ASSERT_NE(side, nullptr);
    EXPECT_EQ(Proc<IntFn>(side, "where")(), 2);
    EXPECT_TRUE(FreeLibrary(side));

    // ...until cleared, with "" as with NULL.
    ASSERT_TRUE(SetDllDirectoryA(""));
    EXPECT_EQ(LoadLibraryA(kSideLib), nullptr);
    ASSERT_TRUE(SetDllDirectoryA(KERNEL_TEST_LIB_DIR "/"));
    side = LoadLibraryA(kSideLib);
    EXPECT_NE(side, nullptr);
    EXPECT_TRUE(FreeLibrary(side));
    ASSERT_TRUE(SetDllDirectoryA(nullptr));
    EXPECT_EQ(LoadLibraryA(kSideLib), nullptr);

    // Last, the system loader's own search.
    HMODULE libm = LoadLibraryA("libm.so.6");
    ASSERT_NE(libm, nullptr);
    EXPECT_NE(GetProcAddress(libm, "cos"), nullptr);
    EXPECT_TRUE(FreeLibrary(libm));
}

TEST_F(LibraryTest, NameWithSlashIsUsedAsGiven)
{
    HMODULE lib = LoadLibraryA(KERNEL_TEST_LIB_DIR "/KernelTestLib.dll");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Proc<IntFn>(lib, "where")(), 2);
    EXPECT_TRUE(FreeLibrary(lib));
}

TEST_F(LibraryTest, CurrentDirectoryIsNeverSearched)
{
    char pattern[] = "/tmp/rm_kernel_cwd_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir(pattern);
    const fs::path other = fs::path(KERNEL_TEST_LIB_DIR) / kSideLib;
    fs::copy_file(other, dir / "KernelTestPlanted.dll");
    fs::copy_file(other, dir / kLib);
    fs::current_path(dir);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("KernelTestPlanted.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    // A planted copy of a library that also exists beside the executable
    // loses to that one.
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Proc<IntFn>(lib, "where")(), 1);
    EXPECT_TRUE(FreeLibrary(lib));

    // Asked for explicitly, it loads.
    HMODULE planted = LoadLibraryA("./KernelTestPlanted.dll");
    EXPECT_NE(planted, nullptr);
    EXPECT_TRUE(FreeLibrary(planted));

    fs::current_path("/");
    fs::remove_all(dir);
}

TEST_F(LibraryTest, FreeLibraryUnloadsAtTheLastReference)
{
    HMODULE first = LoadLibraryA(kLib);
    HMODULE second = LoadLibraryA(kLib);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(GetModuleHandleA(kLib), first);

    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(GetModuleHandleA(kLib), first);
    EXPECT_EQ(Proc<IntFn>(second, "answer")(), 42);

    EXPECT_TRUE(FreeLibrary(second));
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA(kLib), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    // The stale handle is refused, not passed to the loader.
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetProcAddress(first, "answer"), nullptr);
}

TEST_F(LibraryTest, MadeUpModuleHandlesAreRefused)
{
    int notAModule = 0;
    HMODULE bogus = reinterpret_cast<HMODULE>(&notAModule);
    EXPECT_EQ(GetProcAddress(bogus, "answer"), nullptr);
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(bogus));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    char name[64];
    EXPECT_EQ(GetModuleFileNameA(bogus, name, sizeof name), 0u);
}

TEST_F(LibraryTest, ExecutableModule)
{
    HMODULE exe = GetModuleHandleA(nullptr);
    ASSERT_NE(exe, nullptr);
    EXPECT_EQ(GetModuleHandleA(nullptr), exe);

    char byNull[4096];
    char byHandle[4096];
    const DWORD n = GetModuleFileNameA(nullptr, byNull, sizeof byNull);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(GetModuleFileNameA(exe, byHandle, sizeof byHandle), n);
    EXPECT_STREQ(byNull, byHandle);
    EXPECT_EQ(fs::path(byNull).filename(), "test_platform_kernel");
    EXPECT_EQ(fs::path(byNull), fs::canonical("/proc/self/exe"));

    SetLastError(0);
    EXPECT_EQ(GetProcAddress(exe, "no_such_symbol_anywhere"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(exe));
    EXPECT_EQ(GetModuleHandleA(nullptr), exe);
}

TEST_F(LibraryTest, ModuleFileNameIsCutLikeWindows)
{
    char full[4096];
    const DWORD n = GetModuleFileNameA(nullptr, full, sizeof full);
    ASSERT_GT(n, 5u);

    char small[6];
    memset(small, 'x', sizeof small);
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), 122u);  // ERROR_INSUFFICIENT_BUFFER
    EXPECT_EQ(std::string(small), std::string(full, 4));
    EXPECT_EQ(small[5], 'x');

    // Exactly the length: no room for the terminator, so it is cut too.
    std::string exact(n, 'x');
    EXPECT_EQ(GetModuleFileNameA(nullptr, &exact[0], n), n);
    EXPECT_EQ(exact.c_str(), std::string(full, n - 1));

    EXPECT_EQ(GetModuleFileNameA(nullptr, full, n + 1), n);
}

TEST_F(LibraryTest, LibraryFileNameIsWhereItWasFound)
{
    HMODULE lib = LoadLibraryA(kLib);
    ASSERT_NE(lib, nullptr);
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(lib, path, sizeof path), 0u);
    EXPECT_EQ(fs::path(path), fs::path(ExeDir()) / kLib);
    EXPECT_TRUE(FreeLibrary(lib));
}

}  // namespace
