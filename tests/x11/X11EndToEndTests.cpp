// The real executable on an X server of its own (Xvfb, no window manager),
// driven as a person would drive it (xdotool's keys and clicks) and read back
// as other programs read it: window names, properties and pixels.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "RunDir.h"

namespace {

using namespace rmtest;

bool HaveCommand(const char* pszName)
{
    return std::system(("command -v " + std::string(pszName) + " >/dev/null 2>&1").c_str()) == 0;
}

// An X server for one test, on a display number nobody uses.
class CXServer
{
public:
    CXServer()
    {
        for (int nDisplay = 90 + getpid() % 100; nDisplay < 400 && m_pid < 0; nDisplay += 7)
        {
            const std::string lock = "/tmp/.X" + std::to_string(nDisplay) + "-lock";
            if (Exists(lock) || Exists("/tmp/.X11-unix/X" + std::to_string(nDisplay)))
                continue;
            m_name = ":" + std::to_string(nDisplay);
            m_pid = fork();
            if (m_pid == 0)
            {
                freopen("/dev/null", "w", stderr);
                execlp("Xvfb", "Xvfb", m_name.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                       static_cast<char*>(nullptr));
                _exit(127);
            }
        }
        const auto deadline = Clock::now() + milliseconds(5000);
        while (m_pid > 0 && m_pDisplay == nullptr && Clock::now() < deadline)
        {
            std::this_thread::sleep_for(milliseconds(50));
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid)
                m_pid = -1;
            else
                m_pDisplay = XOpenDisplay(m_name.c_str());
        }
    }
    ~CXServer() { Kill(); }

    // Our own connection goes first: Xlib ends a process whose server dies.
    void Kill()
    {
        if (m_pDisplay != nullptr)
        {
            XCloseDisplay(m_pDisplay);
            m_pDisplay = nullptr;
        }
        if (m_pid > 0)
        {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    bool Up() const { return m_pDisplay != nullptr; }
    ::Display* X() const { return m_pDisplay; }
    std::string Env() const { return "DISPLAY=" + m_name; }

    void Tool(const std::string& args) const
    {
        std::system(("DISPLAY=" + m_name + " xdotool " + args + " >/dev/null 2>&1").c_str());
    }

    std::vector<Window> Children(Window parent) const
    {
        Window root = 0, up = 0;
        Window* pChildren = nullptr;
        unsigned int nChildren = 0;
        std::vector<Window> children;
        if (XQueryTree(m_pDisplay, parent, &root, &up, &pChildren, &nChildren))
        {
            children.assign(pChildren, pChildren + nChildren);  // bottom to top: the order they came
            XFree(pChildren);
        }
        return children;
    }

    std::string Name(Window xid) const
    {
        char* pszName = nullptr;
        std::string name;
        if (XFetchName(m_pDisplay, xid, &pszName) && pszName != nullptr)
        {
            name = pszName;
            XFree(pszName);
        }
        return name;
    }

    // The mapped top-level window one of whose controls reads text.
    Window TopWithControl(const std::string& text) const
    {
        for (Window top : Children(DefaultRootWindow(m_pDisplay)))
        {
            XWindowAttributes attributes;
            if (!XGetWindowAttributes(m_pDisplay, top, &attributes) || attributes.map_state != IsViewable)
                continue;
            for (Window child : Children(top))
            {
                if (Name(child) == text)
                    return top;
            }
        }
        return 0;
    }

    Window WaitForTop(const std::string& text, milliseconds timeout = milliseconds(5000)) const
    {
        const auto deadline = Clock::now() + timeout;
        Window top = 0;
        while ((top = TopWithControl(text)) == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        return top;
    }

    // The text a control of the window shows, by creation order.
    std::string ControlText(Window top, size_t nIndex) const
    {
        const std::vector<Window> children = Children(top);
        return nIndex < children.size() ? Name(children[nIndex]) : "<none>";
    }

    bool WaitForControlText(Window top, size_t nIndex, const std::string& text) const
    {
        const auto deadline = Clock::now() + milliseconds(3000);
        while (ControlText(top, nIndex) != text && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        return ControlText(top, nIndex) == text;
    }

    // The close box, as a window manager sends it.
    void SendDeleteWindow(Window top) const
    {
        XEvent event = {};
        event.xclient.type = ClientMessage;
        event.xclient.window = top;
        event.xclient.message_type = XInternAtom(m_pDisplay, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_pDisplay, top, False, NoEventMask, &event);
        XFlush(m_pDisplay);
    }

    // Iconified or back, as a window manager records it.
    void SetWmState(Window top, long nState) const
    {
        const Atom atom = XInternAtom(m_pDisplay, "WM_STATE", False);
        const long data[2] = {nState, 0};
        XChangeProperty(m_pDisplay, top, atom, atom, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(data),
                        2);
        XFlush(m_pDisplay);
    }

private:
    pid_t m_pid = -1;
    std::string m_name;
    ::Display* m_pDisplay = nullptr;
};

class X11Run : public testing::Test
{
protected:
    void SetUp() override
    {
        if (!HaveCommand("Xvfb") || !HaveCommand("xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        m_pServer.reset(new CXServer);
        if (!m_pServer->Up())
            GTEST_SKIP() << "no X server could be started";
    }

    std::unique_ptr<CXServer> m_pServer;
};

// The run's environment: this server, and the sanitizers' word on what the
// X libraries do that is not ours (see the suppression files).
std::vector<std::string> RunEnvironment(const CXServer& x)
{
    return {x.Env(), "LSAN_OPTIONS=suppressions=" RM_LSAN_SUPPRESSIONS,
            "TSAN_OPTIONS=suppressions=" RM_TSAN_SUPPRESSIONS};
}

const size_t kClose = 0;
const size_t kCode = 2;
const size_t kCodeEx = 4;

TEST_F(X11Run, TheDialogShowsItsTitleFixedSizeIconAndTheCodes)
{
    const CXServer& x = *m_pServer;
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "300 21 0000ABCD\n1300 255\n");
    CPipeRun run(dir, 1, RunEnvironment(x));
    const Window top = x.WaitForTop("Close");
    ASSERT_NE(0u, top);
    EXPECT_EQ("Remote Control Test", x.Name(top));

    // Not resizable, and of the template's proportions: the button sits
    // where 65 of the dialog's 122 units across put it.
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(x.X(), top, &attributes));
    XSizeHints hints;
    long nSupplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(x.X(), top, &hints, &nSupplied));
    EXPECT_EQ(attributes.width, hints.min_width);
    EXPECT_EQ(attributes.width, hints.max_width);
    EXPECT_EQ(attributes.height, hints.min_height);
    EXPECT_EQ(attributes.height, hints.max_height);
    XWindowAttributes button;
    ASSERT_TRUE(XGetWindowAttributes(x.X(), x.Children(top)[kClose], &button));
    EXPECT_NEAR(attributes.width * 65 / 122, button.x, 1);
    EXPECT_NEAR(attributes.width * 50 / 122, button.width, 1);

    // Both images of the icon group, each with its width and height.
    Atom type = None;
    int nFormat = 0;
    unsigned long nItems = 0, nAfter = 0;
    unsigned char* pData = nullptr;
    ASSERT_EQ(Success, XGetWindowProperty(x.X(), top, XInternAtom(x.X(), "_NET_WM_ICON", False), 0, 1 << 16, False,
                                          XA_CARDINAL, &type, &nFormat, &nItems, &nAfter, &pData));
    const long* pIcon = reinterpret_cast<const long*>(pData);
    ASSERT_EQ(2u + 32 * 32 + 2 + 16 * 16, nItems);
    EXPECT_EQ(32, pIcon[0]);
    EXPECT_EQ(16, pIcon[2 + 32 * 32]);
    XFree(pData);

    EXPECT_TRUE(x.WaitForControlText(top, kCode, "21")) << x.ControlText(top, kCode);
    EXPECT_TRUE(x.WaitForControlText(top, kCodeEx, "0000ABCD")) << x.ControlText(top, kCodeEx);
    EXPECT_TRUE(x.WaitForControlText(top, kCode, ""));
    EXPECT_TRUE(x.WaitForControlText(top, kCodeEx, ""));

    // Tab and Shift-Tab keep the focus on the one tab stop; Space on it
    // still presses it.
    x.Tool("key Tab shift+Tab space");
    EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
    ExpectUnInitOnceAtTheEnd(dir);
}

TEST_F(X11Run, EveryWayOfClosingEndsTheRunWithUnInitLast)
{
    const CXServer& x = *m_pServer;
    const char* kWays[] = {"click", "Return", "space", "Escape", "WM_DELETE_WINDOW", "SIGTERM", "destroyed"};
    for (const std::string way : kWays)
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 42\n");
        CPipeRun run(dir, 1, RunEnvironment(x));
        const Window top = x.WaitForTop("Close");
        ASSERT_NE(0u, top) << way;
        ASSERT_TRUE(x.WaitForControlText(top, kCode, "42")) << way;
        if (way == "click")
            x.Tool("mousemove --window " + std::to_string(x.Children(top)[kClose]) + " 10 10 click 1");
        else if (way == "WM_DELETE_WINDOW")
            x.SendDeleteWindow(top);
        else if (way == "SIGTERM")
            kill(run.pid, SIGTERM);
        else if (way == "destroyed")
            x.Tool("windowclose " + std::to_string(top));
        else
            x.Tool("key " + way);
        EXPECT_EQ(0, run.WaitForExit(milliseconds(3000))) << way;
        ExpectUnInitOnceAtTheEnd(dir);
    }
}

TEST_F(X11Run, StartUpErrorsShowABoxThatEndsTheRunWhenAnswered)
{
    const CXServer& x = *m_pServer;
    {
        CRunDir dir(nullptr);
        CPipeRun run(dir, 1, RunEnvironment(x));
        const Window box = x.WaitForTop("Unable to initialize TavrixRC.dll library.");
        ASSERT_NE(0u, box);
        EXPECT_EQ("OK", x.ControlText(box, 1));
        // The dialog is shown after the box, never with it.
        EXPECT_EQ(0u, x.TopWithControl("Close"));
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(x.X(), box, &attributes));
        XWindowAttributes text;
        ASSERT_TRUE(XGetWindowAttributes(x.X(), x.Children(box)[0], &text));
        EXPECT_LT(text.x + text.width, attributes.width);
        x.Tool("key Return");
        EXPECT_EQ(3, run.WaitForExit(milliseconds(3000)));
        EXPECT_FALSE(Exists(dir.Log()));
    }
    {
        CRunDir dir(RM_SIM);
        CPipeRun run(dir, 0, RunEnvironment(x));
        const Window box = x.WaitForTop("Tuner not found.");
        ASSERT_NE(0u, box);
        x.Tool("mousemove --window " + std::to_string(x.Children(box)[1]) + " 5 5 click 1");
        EXPECT_EQ(4, run.WaitForExit(milliseconds(3000)));
        ExpectUnInitOnceAtTheEnd(dir);
    }
}

// How many pixels of the window's middle 16 x 16 differ from its first.
int PixelsOffFace(::Display* pDisplay, Window top)
{
    XWindowAttributes attributes;
    XGetWindowAttributes(pDisplay, top, &attributes);
    XImage* pImage =
        XGetImage(pDisplay, top, attributes.width / 2 - 8, attributes.height / 2 - 8, 16, 16, AllPlanes, ZPixmap);
    if (pImage == nullptr)
        return -1;
    XImage* pCorner = XGetImage(pDisplay, top, 0, 0, 1, 1, AllPlanes, ZPixmap);
    const unsigned long face = pCorner != nullptr ? XGetPixel(pCorner, 0, 0) : 0;
    if (pCorner != nullptr)
        XDestroyImage(pCorner);
    int nOff = 0;
    for (int y = 0; y < 16; ++y)
    {
        for (int x = 0; x < 16; ++x)
            nOff += XGetPixel(pImage, x, y) != face;
    }
    XDestroyImage(pImage);
    return nOff;
}

TEST_F(X11Run, AnIconifiedDialogPaintsItsIconAndComesBack)
{
    const CXServer& x = *m_pServer;
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "0 42\n");
    CPipeRun run(dir, 1, RunEnvironment(x));
    const Window top = x.WaitForTop("Close");
    ASSERT_NE(0u, top);
    ASSERT_GT(64, PixelsOffFace(x.X(), top));
    x.SetWmState(top, IconicState);
    // The controls are put away and the icon is drawn in their place.
    const auto deadline = Clock::now() + milliseconds(3000);
    while (PixelsOffFace(x.X(), top) < 64 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_LE(64, PixelsOffFace(x.X(), top));
    XWindowAttributes button;
    ASSERT_TRUE(XGetWindowAttributes(x.X(), x.Children(top)[kClose], &button));
    EXPECT_EQ(IsUnmapped, button.map_state);

    x.SetWmState(top, NormalState);
    EXPECT_NE(0u, x.WaitForTop("Close"));
    EXPECT_EQ("42", x.ControlText(top, kCode));
    x.Tool("key Escape");
    EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
    ExpectUnInitOnceAtTheEnd(dir);
}

TEST_F(X11Run, ALostServerEndsTheRunInOrder)
{
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "0 42\n");
    CPipeRun run(dir, 1, RunEnvironment(*m_pServer));
    const Window top = m_pServer->WaitForTop("Close");
    ASSERT_NE(0u, top);
    ASSERT_TRUE(m_pServer->WaitForControlText(top, kCode, "42"));
    m_pServer->Kill();
    EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
    ExpectUnInitOnceAtTheEnd(dir);
}

}  // namespace
