// The version of the built RemoteMonitor.exe as Explorer's Properties page
// reads it, through the version API: it must agree with the version resource
// that windows.pe_check reads from the file by hand.
//
//   version_api <RemoteMonitor.exe> [gtest options]
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string g_exePath;

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
    if (argc < 2)
    {
        fprintf(stderr, "usage: version_api <RemoteMonitor.exe> [gtest options]\n");
        return 2;
    }
    g_exePath = argv[1];
    return RUN_ALL_TESTS();
}
