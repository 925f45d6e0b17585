// A program built without rm_resources: the resource functions link all the
// same and find nothing, and the system icons still load.
#include <windows.h>

#include "resource/Resource.h"

#include <gtest/gtest.h>

namespace {

TEST(NoResources, NothingIsFound)
{
    SetLastError(0);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(102), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(128)), nullptr);
    EXPECT_NE(LoadIconA(nullptr, MAKEINTRESOURCEA(32512)), nullptr);  // IDI_APPLICATION
}

}  // namespace
