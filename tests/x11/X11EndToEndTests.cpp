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

#include "PrivateXServer.h"
#include "RunDir.h"

namespace {

using namespace rmtest;

bool HaveCommand(const char* pszName)
{
    return std::system(("command -v " + std::string(pszName) + " >/dev/null 2>&1").c_str()) == 0;
}

// An X server for one test, of its own.
class CXServer
{
public:
    explicit CXServer(const char* pszScreen = "1024x768x24") : m_server(StartPrivateXvfb(pszScreen))
    {
        if (!m_server.name.empty())
            m_pDisplay = XOpenDisplay(m_server.name.c_str());
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
        StopPrivateXvfb(m_server);
    }

    bool Up() const { return m_pDisplay != nullptr; }
    ::Display* X() const { return m_pDisplay; }
    std::string Env() const { return "DISPLAY=" + m_server.name; }
    pid_t Pid() const { return m_server.pid; }

    void Tool(const std::string& args) const
    {
        std::system(("DISPLAY=" + m_server.name + " xdotool " + args + " >/dev/null 2>&1").c_str());
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
    CPrivateXvfb m_server;
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
    // And for window managers that read only WM_HINTS (twm): the big image as
    // a bitmap, as ICCCM wants it, with its mask.
    XWMHints* pHints = XGetWMHints(x.X(), top);
    ASSERT_NE(nullptr, pHints);
    EXPECT_EQ(IconPixmapHint | IconMaskHint, pHints->flags & (IconPixmapHint | IconMaskHint));
    for (const Pixmap pixmap : {pHints->icon_pixmap, pHints->icon_mask})
    {
        Window root = 0;
        int nX = 0, nY = 0;
        unsigned int nWidth = 0, nHeight = 0, nBorder = 0, nDepth = 0;
        ASSERT_TRUE(XGetGeometry(x.X(), pixmap, &root, &nX, &nY, &nWidth, &nHeight, &nBorder, &nDepth));
        EXPECT_EQ(32u, nWidth);
        EXPECT_EQ(1u, nDepth);
    }
    XFree(pHints);

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

// With no font fontconfig can find, the window still opens, in a core font
// of the server's, and says so once, whether or not the display was asked for.
TEST_F(X11Run, WithoutFontconfigFontsTheWindowTakesTheServersFontAndSaysSo)
{
    const CXServer& x = *m_pServer;
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "0 42\n");
    WriteFile(dir.path + "/fonts.conf",
              "<?xml version=\"1.0\"?>\n<fontconfig><cachedir>" + dir.path + "</cachedir></fontconfig>\n");
    std::vector<std::string> environment = RunEnvironment(x);
    environment.push_back("FONTCONFIG_FILE=" + dir.path + "/fonts.conf");
    CPipeRun run(dir, 1, environment);
    const Window top = x.WaitForTop("Close");
    ASSERT_NE(0u, top);
    EXPECT_TRUE(x.WaitForControlText(top, kCode, "42"));
    x.Tool("key Escape");
    EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
    const std::vector<std::string> errors = Lines(ReadFile(dir.Errors()));
    ASSERT_EQ(1u, errors.size()) << ReadFile(dir.Errors());
    EXPECT_NE(std::string::npos, errors[0].find("fontconfig finds no font")) << errors[0];
}

// On a screen split in two monitors the dialog opens inside the one holding
// the pointer, never across the seam.
TEST(X11Monitors, TheDialogOpensInsideThePointersMonitor)
{
    if (!HaveCommand("Xvfb") || !HaveCommand("xdotool") || !HaveCommand("xrandr"))
        GTEST_SKIP() << "Xvfb, xdotool or xrandr is not installed";
    CXServer x("2048x768x24");
    if (!x.Up())
        GTEST_SKIP() << "no X server could be started";
    const std::string env = x.Env() + " ";
    ASSERT_EQ(0, std::system((env + "xrandr --setmonitor left 1024/270x768/203+0+0 none && " + env +
                              "xrandr --setmonitor right 1024/270x768/203+1024+0 none")
                                 .c_str()));
    for (const int nPointerX : {100, 1500})
    {
        x.Tool("mousemove " + std::to_string(nPointerX) + " 300");
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 42\n");
        CPipeRun run(dir, 1, RunEnvironment(x));
        const Window top = x.WaitForTop("Close");
        ASSERT_NE(0u, top);
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(x.X(), top, &attributes));
        const int nLeft = nPointerX < 1024 ? 0 : 1024;
        EXPECT_NEAR(nLeft + (1024 - attributes.width) / 2, attributes.x, 1) << nPointerX;
        x.Tool("key Escape");
        EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
    }
}

// A window manager that crashed leaves the root's _NET_SUPPORTING_WM_CHECK
// naming a window that is gone: nobody manages the dialog, so it takes the
// keyboard itself.
TEST_F(X11Run, AStaleWindowManagerCheckDoesNotKeepTheKeyboardFromTheDialog)
{
    const CXServer& x = *m_pServer;
    const Window root = DefaultRootWindow(x.X());
    const Window gone = XCreateSimpleWindow(x.X(), root, 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(x.X(), root, XInternAtom(x.X(), "_NET_SUPPORTING_WM_CHECK", False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&gone), 1);
    XDestroyWindow(x.X(), gone);
    XSetInputFocus(x.X(), None, RevertToNone, CurrentTime);
    XSync(x.X(), False);
    CRunDir dir(RM_SIM);
    WriteFile(dir.Script(), "0 42\n");
    CPipeRun run(dir, 1, RunEnvironment(x));
    const Window top = x.WaitForTop("Close");
    ASSERT_NE(0u, top);
    const auto deadline = Clock::now() + milliseconds(3000);
    Window focus = None;
    int nRevert = 0;
    do
    {
        std::this_thread::sleep_for(milliseconds(20));
        XGetInputFocus(x.X(), &focus, &nRevert);
    } while (focus != top && Clock::now() < deadline);
    EXPECT_EQ(top, focus);
    x.Tool("key Escape");
    EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
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

// A window's pixels, to tell one look of it from another.
std::vector<unsigned long> Pixels(::Display* pDisplay, Window xid)
{
    XWindowAttributes attributes;
    std::vector<unsigned long> pixels;
    if (!XGetWindowAttributes(pDisplay, xid, &attributes))
        return pixels;
    XImage* pImage = XGetImage(pDisplay, xid, 0, 0, static_cast<unsigned>(attributes.width),
                               static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (pImage == nullptr)
        return pixels;
    for (int y = 0; y < attributes.height; ++y)
    {
        for (int x = 0; x < attributes.width; ++x)
            pixels.push_back(XGetPixel(pImage, x, y));
    }
    XDestroyImage(pImage);
    return pixels;
}

// The look once the window has stopped changing: the dialog takes the focus
// itself some time after its text is drawn, and repaints for it.
std::vector<unsigned long> SettledLook(::Display* pDisplay, Window xid)
{
    const auto deadline = Clock::now() + milliseconds(3000);
    std::vector<unsigned long> look = Pixels(pDisplay, xid);
    for (;;)
    {
        std::this_thread::sleep_for(milliseconds(100));
        std::vector<unsigned long> now = Pixels(pDisplay, xid);
        if (now == look || Clock::now() >= deadline)
            return now;
        look = std::move(now);
    }
}

bool WaitForLook(::Display* pDisplay, Window xid, const std::vector<unsigned long>& look, bool bSame)
{
    const auto deadline = Clock::now() + milliseconds(3000);
    while ((Pixels(pDisplay, xid) == look) != bSame && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    return (Pixels(pDisplay, xid) == look) == bSame;
}

// As on Windows: an inactive dialog looks inactive; Space pushes the button
// and clicks on its release, however
// long it is held (its repeats included); a button pressed with the pointer
// pops up while the pointer is off it, and a release off it clicks nothing.
TEST_F(X11Run, TheButtonLooksAndClicksAsOnWindows)
{
    const CXServer& x = *m_pServer;
    for (const bool bSpace : {true, false})
    {
        CRunDir dir(RM_SIM);
        WriteFile(dir.Script(), "0 42\n");
        CPipeRun run(dir, 1, RunEnvironment(x));
        const Window top = x.WaitForTop("Close");
        ASSERT_NE(0u, top);
        ASSERT_TRUE(x.WaitForControlText(top, kCode, "42"));
        const Window button = x.Children(top)[kClose];
        XSetInputFocus(x.X(), top, RevertToPointerRoot, CurrentTime);
        XFlush(x.X());
        const std::vector<unsigned long> up = SettledLook(x.X(), button);
        if (bSpace)
        {
            // Inactive, it shows neither the focus rectangle nor the default
            // frame, as Windows does.
            XSetInputFocus(x.X(), None, RevertToNone, CurrentTime);
            XFlush(x.X());
            EXPECT_TRUE(WaitForLook(x.X(), button, up, false)) << "inactive";
            XSetInputFocus(x.X(), top, RevertToPointerRoot, CurrentTime);
            XFlush(x.X());
            EXPECT_TRUE(WaitForLook(x.X(), button, up, true)) << "active again";
            x.Tool("keydown space");
            EXPECT_TRUE(WaitForLook(x.X(), button, up, false)) << "pushed while Space is down";
            std::this_thread::sleep_for(milliseconds(1000));  // past the server's key repeat delay
            EXPECT_EQ(-1, run.WaitForExit(milliseconds(0)));
            x.Tool("keyup space");
            EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
        }
        else
        {
            x.Tool("mousemove --window " + std::to_string(button) + " 10 10 mousedown 1");
            EXPECT_TRUE(WaitForLook(x.X(), button, up, false)) << "pushed under the pointer";
            x.Tool("mousemove 1 1");
            EXPECT_TRUE(WaitForLook(x.X(), button, up, true)) << "up with the pointer off it";
            x.Tool("mousemove --window " + std::to_string(button) + " 10 10");
            EXPECT_TRUE(WaitForLook(x.X(), button, up, false)) << "pushed again with the pointer back";
            x.Tool("mousemove 1 1 mouseup 1");
            std::this_thread::sleep_for(milliseconds(300));
            EXPECT_EQ(-1, run.WaitForExit(milliseconds(0)));
            x.Tool("key Escape");
            EXPECT_EQ(0, run.WaitForExit(milliseconds(3000)));
        }
        ExpectUnInitOnceAtTheEnd(dir);
    }
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

// True once the process's main thread waits inside Xlib on its one
// connection (poll on a single descriptor, no time-out), as it does when the
// server stops reading or answering; false after the timeout.
bool WaitUntilStuckInXlib(pid_t pid, milliseconds timeout)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/syscall";
    const auto deadline = Clock::now() + timeout;
    do
    {
        const std::vector<std::string> fields = Lines(ReadFile(path));
        if (!fields.empty() && fields[0].find("7 ") == 0 && fields[0].find(" 0x1 0xffffffff ") != std::string::npos)
            return true;
        std::this_thread::sleep_for(milliseconds(50));
    } while (Clock::now() < deadline);
    return false;
}

// A server that stops answering (SIGSTOP) before the start or during fast
// changes: Ctrl-C and SIGTERM still end the tool in order within the
// shut-down bound; a driver that then hangs in UnInit makes it a failure.
TEST_F(X11Run, ASignalEndsTheRunInOrderWhileTheServerDoesNotAnswer)
{
    CXServer& x = *m_pServer;
    std::string fast;
    for (int nMs = 0; nMs < 120000; nMs += 20)
        fast += std::to_string(nMs) + " " + std::to_string(nMs / 20 % 200) + "\n";
    for (const bool bBeforeStart : {true, false})
    {
        for (const int nSignal : {SIGINT, SIGTERM})
        {
            const std::string what = std::string(bBeforeStart ? "stopped before the start, " : "stopped in a run, ") +
                                     (nSignal == SIGINT ? "SIGINT" : "SIGTERM");
            CRunDir dir(RM_SIM);
            WriteFile(dir.Script(), fast);
            if (bBeforeStart)
                kill(x.Pid(), SIGSTOP);
            CPipeRun run(dir, 1, RunEnvironment(x));
            if (bBeforeStart)
            {
                std::this_thread::sleep_for(milliseconds(1000));
            }
            else
            {
                ASSERT_NE(0u, x.WaitForTop("Close")) << what;
                kill(x.Pid(), SIGSTOP);
                EXPECT_TRUE(WaitUntilStuckInXlib(run.pid, milliseconds(30000))) << what;
            }
            kill(run.pid, nSignal);
            EXPECT_EQ(0, run.WaitForExit(milliseconds(7000))) << what << ": " << ReadFile(dir.Errors());
            ExpectUnInitOnceAtTheEnd(dir);
            kill(x.Pid(), SIGCONT);
        }
    }
    CRunDir dir(RM_FAKE_FULL);
    std::vector<std::string> environment = RunEnvironment(x);
    environment.push_back("TAVRIXRC_FAKE_STUCK=uninit");
    environment.push_back("TAVRIXRC_FAKE_LOG=" + dir.Log());
    CPipeRun run(dir, 1, environment);
    ASSERT_NE(0u, x.WaitForTop("Close"));
    kill(x.Pid(), SIGSTOP);
    std::this_thread::sleep_for(milliseconds(300));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(EXIT_FAILURE, run.WaitForExit(milliseconds(10000)));
    EXPECT_EQ("UnInit -> stuck", Lines(ReadFile(dir.Log())).back());
    kill(x.Pid(), SIGCONT);
}

}  // namespace
