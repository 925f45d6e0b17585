// The minimized dialog's icon placement.
#include <gtest/gtest.h>

#include "CodePoller.h"
#include "RemoteDriver.h"
#include "RemoteMonitorDlg.h"

CCodePoller s_testPoller;
CCodePoller& g_poller = s_testPoller;
CRemoteDriver s_testDriver;
CRemoteDriver& g_driver = s_testDriver;

namespace {

TEST(IconOrigin, CentresRoundingHalfAPixelTowardsTheFarEdge)
{
    struct Case
    {
        int nClient, nIcon, nExpected;
    };
    // Truncation towards zero: an empty client area gives -15, not -16.
    const Case cases[] = {
        {36, 32, 2}, {35, 32, 2},  {34, 32, 1},  {33, 32, 1},  {32, 32, 0},   {31, 32, 0},
        {30, 32, 0}, {29, 32, -1}, {0, 32, -15}, {1, 32, -15}, {100, 16, 42}, {101, 16, 43},
    };
    for (const Case& c : cases)
    {
        POINT pt = CRemoteMonitorDlg::IconOrigin(c.nClient, c.nClient, c.nIcon, c.nIcon);
        EXPECT_EQ(c.nExpected, pt.x) << c.nClient << " " << c.nIcon;
        EXPECT_EQ(c.nExpected, pt.y) << c.nClient << " " << c.nIcon;
    }
    POINT pt = CRemoteMonitorDlg::IconOrigin(36, 0, 32, 32);
    EXPECT_EQ(2, pt.x);
    EXPECT_EQ(-15, pt.y);
}

}  // namespace
