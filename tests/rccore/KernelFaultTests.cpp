// What the kernel does and a fake receiver never did: the time-out that
// follows the enabled protocols, the protocols a hint would switch off, the
// reasons a terminal user must see, the scancode layouts of RC-5's
// variants, the input node's own key-up and permissions, and record
// timestamps on another clock than a time namespace's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "KernelTest.h"

namespace {

using rmtest::CKernelKeys;
using rmtest::CKernelTool;

class RcKernelFault : public rmtest::CKernelTest
{
protected:
    // The lines the tool wrote on standard error.
    static std::vector<std::string> Stderr(CKernelTool& tool)
    {
        std::vector<std::string> lines;
        for (const rmtest::SToolLine& line : tool.Lines())
            if (line.bStderr)
                lines.push_back(line.text);
        return lines;
    }
    static bool MentionsNec(const std::string& line)
    {
        return std::regex_search(line, std::regex("\\bnec\\b", std::regex::icase));
    }

    // A fake sysfs with the loopback card's input node and no lirc node.
    std::string InputOnlySysfs()
    {
        const std::string sys = "/tmp/rm-vm-sys";
        const std::string name = m_loop.EventSysDir().substr(m_loop.EventSysDir().rfind('/') + 1);
        std::filesystem::create_directories(sys + "/rc0/input0/" + name);
        std::ofstream(sys + "/rc0/protocols") << m_loop.Protocols() << "\n";
        std::ifstream uevent(m_loop.EventSysDir() + "/uevent");
        std::ofstream(sys + "/rc0/input0/" + name + "/uevent") << uevent.rdbuf();
        return sys;
    }
};

// The kernel sets the time-out from the enabled protocols, at once: a key
// is released with the kernel after NEC is enabled while the tool runs, and
// after another protocol is added or taken away while the key is held.
TEST_F(RcKernelFault, TheReleaseFollowsTheTimeOutOfTheProtocolsEnabledWhileRunning)
{
    ASSERT_TRUE(m_loop.SetProtocols("none"));
    CKernelKeys keys(m_loop.EventNode());
    ASSERT_TRUE(keys.Map(0x0408, KEY_1));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    ASSERT_TRUE(m_loop.SetProtocols("+nec"));
    rmtest::ExpectReleasedWithTheKernel(
        ReleaseLags(tool, keys, "Extended code: 04FB08F7", [this] { return m_loop.HoldNec(0x04, 0x08, 5); }),
        "tool, NEC enabled after the start");

    bool bSharp = false;
    rmtest::ExpectReleasedWithTheKernel(ReleaseLags(tool, keys, "Extended code: 04FB08F7",
                                                    [this, &bSharp] {
                                                        bSharp = !bSharp;
                                                        std::thread change([this, bSharp] {
                                                            usleep(250000);
                                                            m_loop.SetProtocols(bSharp ? "+sharp" : "-sharp");
                                                        });
                                                        const double lateMs = m_loop.HoldNec(0x04, 0x08, 5);
                                                        change.join();
                                                        return lateMs;
                                                    }),
                                        "tool, sharp added or removed while held");
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// A user whose RC-5 remote works is told nothing about NEC (following
// `ir-keytable -p nec` would switch RC-5 off); with no decoder at all, on
// a receiver with raw IR, NEC keys are decoded here and the user learns,
// once they come, how to have the kernel decode them.
TEST_F(RcKernelFault, TheNecHintComesOnlyWhenNoDecoderIsEnabled)
{
    ASSERT_TRUE(m_loop.SetProtocols("rc-5"));
    {
        CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
        Opened(tool);
        ExpectShownThenReleased(tool, {"rc-5", 2, 0x1E0B, "11", "00001E0B"});
        EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
        for (const std::string& line : Stderr(tool))
            EXPECT_FALSE(MentionsNec(line)) << line;
    }
    ASSERT_TRUE(m_loop.SetProtocols("none"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    ASSERT_TRUE(m_loop.SendScancode(9, 0x0408));
    EXPECT_NE(0u, tool.WaitLine("Extended code: 04FB08F7", 0, 3000)) << tool.AllText();
    EXPECT_NE("", tool.WaitLineContaining("NEC frames come, which the kernel is not decoding", 3000)) << tool.AllText();
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
    const std::vector<std::string> lines = Stderr(tool);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), MentionsNec)) << tool.AllText();
}

// Standard input, output and error one terminal, the lines display on it:
// the reason comes before "Tuner not found.", as it does with pipes.
TEST_F(RcKernelFault, TheReasonReachesAUserWhoseLinesAreOnATerminal)
{
    rmtest::SToolOptions options;
    options.uid = 65534;
    options.gid = 65534;
    options.bPty = true;
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    EXPECT_NE("", tool.WaitLineContaining("Tuner not found.", 10000)) << tool.AllText();
    EXPECT_NE("", tool.WaitLineContaining(m_loop.LircNode() + ": Permission denied", 2000)) << tool.AllText();
    EXPECT_LE(0, tool.Wait(10000));
}

// RC Code is the command as the kernel lays out each scancode: rc-5x-20
// system<<16 | command<<8 | extension, rc-5-sz system<<6 | command.
TEST_F(RcKernelFault, Rc5VariantsShowTheirCommand)
{
    // A decoder enabled before the start: with none (as the test before
    // leaves it) the tool's hint would come among the lines looked at.
    ASSERT_TRUE(m_loop.SetProtocols("rc-5"));
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY);
    Opened(tool);
    ExpectShownThenReleased(tool, {"rc-5", 3, 0x051A2C, "26", "00051A2C"});
    ExpectShownThenReleased(tool, {"rc-5-sz", 4, 0x08D5, "21", "000008D5"});
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
}

// Read through the input node, a mapped key is released with the kernel's
// own key-up.
TEST_F(RcKernelFault, TheInputNodeReleasesAMappedKeyWithTheKernel)
{
    ASSERT_TRUE(m_loop.SetProtocols("nec"));
    CKernelKeys keys(m_loop.EventNode());
    ASSERT_TRUE(keys.Map(0x0408, KEY_1));
    rmtest::SToolOptions options;
    options.env = {"TAVRIXRC_RC_SYSFS=" + InputOnlySysfs()};
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    ASSERT_TRUE(tool.LogHas("OpenCard(0) -> 1", 10000)) << tool.AllText();
    rmtest::ExpectReleasedWithTheKernel(
        ReleaseLags(tool, keys, "Extended code: 00000408", [this] { return m_loop.HoldNec(0x04, 0x08, 5); }),
        "tool, input node");
    EXPECT_EQ(0, tool.Stop(SIGTERM, 5000));
    std::filesystem::remove_all("/tmp/rm-vm-sys");
}

// A user in the group of the event nodes but not of the lirc nodes (on
// Debian: in input, not in video) reads the card through its input node,
// and is told so.
TEST_F(RcKernelFault, ALircNodeThatCannotBeOpenedFallsBackToTheInputNode)
{
    const gid_t kVideo = 44;
    const gid_t kInput = 4242;
    ASSERT_TRUE(m_loop.SetProtocols("nec"));
    ASSERT_EQ(0, chown(m_loop.LircNode().c_str(), 0, kVideo));
    ASSERT_EQ(0, chmod(m_loop.LircNode().c_str(), 0660));
    ASSERT_EQ(0, chown(m_loop.EventNode().c_str(), 0, kInput));
    ASSERT_EQ(0, chmod(m_loop.EventNode().c_str(), 0660));
    rmtest::SToolOptions options;
    options.uid = 65534;
    options.gid = 65534;
    options.groups = {kInput};
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    const bool bOpened = tool.LogHas("OpenCard(" + std::to_string(m_loop.Card()) + ") -> 1", 10000);
    if (bOpened)
    {
        const size_t nFrom = tool.LineCount();
        EXPECT_LE(0, m_loop.HoldNec(0x04, 0x08, 3));
        EXPECT_TRUE(rmtest::ShowsAndReleases(tool, nFrom, "Extended code: 00000408")) << tool.AllText();
        EXPECT_NE("", tool.WaitLineContaining(m_loop.EventNode(), 1000)) << tool.AllText();
    }
    tool.Stop(SIGTERM, 5000);
    chmod(m_loop.LircNode().c_str(), 0600);
    chmod(m_loop.EventNode().c_str(), 0600);
    EXPECT_TRUE(bOpened) << tool.AllText();
}

// In a time namespace whose monotonic clock is a day ahead, the records
// still carry the kernel's: a held key is shown and released on time.
TEST_F(RcKernelFault, AHeldKeyIsShownAndReleasedOnTimeInsideATimeNamespace)
{
    ASSERT_TRUE(m_loop.SetProtocols("nec"));
    CKernelKeys keys(m_loop.EventNode());
    ASSERT_TRUE(keys.Map(0x0408, KEY_1));
    rmtest::SToolOptions options;
    options.prefix = {"/usr/bin/unshare", "--time", "--fork", "--kill-child", "--monotonic", "86400", "--"};
    CKernelTool tool(RM_EXE, RM_RCCORE_LIBRARY, options);
    Opened(tool);
    rmtest::ExpectReleasedWithTheKernel(
        ReleaseLags(tool, keys, "Extended code: 04FB08F7", [this] { return m_loop.HoldNec(0x04, 0x08, 5); }),
        "tool, in a time namespace");
}

}  // namespace
