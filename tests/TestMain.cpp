#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
#ifndef _WIN32
    // A test chooses its display itself: windows of its own must not pop up
    // on the desktop of whoever runs the tests, nor wait there for answers.
    unsetenv("DISPLAY");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
