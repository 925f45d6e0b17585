// Test support inside the kernel VM: the kernel's rc-loopback as the card.
// What is sent through its lirc node is encoded (or sent as raw pulses),
// fed back through the enabled decoders and read by whoever reads the
// receiver; its input node gives the kernel's own key-up for a mapped key.
#ifndef REMOTEMONITOR_TESTS_KERNELLOOPBACK_H
#define REMOTEMONITOR_TESTS_KERNELLOOPBACK_H

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "FakeReceivers.h"
#include "RawFrames.h"

extern "C" {
#include "rc_sysfs.h"
}

namespace rmtest {

// Absent outside the VM: these tests load and unload kernel modules.
inline bool InKernelVm()
{
    return std::getenv("REMOTEMONITOR_IN_VM") != nullptr && getuid() == 0;
}

inline void SleepUntilNs(uint64_t atNs)
{
    timespec ts = {static_cast<time_t>(atNs / 1000000000u), static_cast<long>(atNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0)
    {
    }
}

inline std::vector<uint32_t> NecRepeatPulses()
{
    return {9000, 2250, 562};
}

class CLoopback
{
public:
    enum : uint32_t
    {
        kModePulse = 2,
        kModeScancode = 8
    };

    // modprobe, then the rc device whose driver is rc-loopback; false when
    // it is not there.
    bool Load()
    {
        Close();
        // evdev too: without udev nothing else loads it.
        if (std::system("modprobe rc-loopback && modprobe evdev") != 0)
            return false;
        size_t nCount = 0;
        int* pDevices = rc_list_devices("/sys/class/rc", &nCount);
        m_nCard = -1;
        for (size_t i = 0; i < nCount && m_nCard < 0; ++i)
        {
            std::ifstream uevent("/sys/class/rc/rc" + std::to_string(pDevices[i]) + "/uevent");
            for (std::string line; std::getline(uevent, line);)
                if (line == "DRV_NAME=rc-loopback")
                {
                    m_nCard = static_cast<int>(i);
                    m_nRc = pDevices[i];
                }
        }
        std::free(pDevices);
        char szNode[RC_PATH_MAX];
        if (m_nCard < 0 || !rc_find_node("/sys/class/rc", "/dev", m_nRc, RC_NODE_LIRC, szNode, sizeof szNode))
            return false;
        m_lirc = szNode;
        m_fdSend = open(szNode, O_RDWR | O_CLOEXEC);
        return m_fdSend >= 0 && FindEventNode();
    }
    // The module gone, with whatever the tool holds open of it.
    bool Unload()
    {
        Close();
        return std::system("rmmod rc-loopback") == 0;
    }
    ~CLoopback() { Close(); }

    int Card() const { return m_nCard; }
    int Rc() const { return m_nRc; }
    std::string SysDir() const { return "/sys/class/rc/rc" + std::to_string(m_nRc); }
    std::string LircNode() const { return m_lirc; }
    std::string EventNode() const { return m_event; }
    std::string EventSysDir() const { return m_eventSys; }

    // What is written to its protocols file: "nec", "+sharp", "none", ...
    bool SetProtocols(const std::string& text) const
    {
        std::ofstream out(SysDir() + "/protocols");
        out << text << "\n";
        out.flush();
        return static_cast<bool>(out);
    }
    std::string Protocols() const
    {
        std::ifstream in(SysDir() + "/protocols");
        std::string text;
        std::getline(in, text);
        return text;
    }

    // One frame, encoded by the kernel; returns after its air time.
    bool SendScancode(uint16_t proto, uint64_t scancode)
    {
        return SetMode(kModeScancode) && WriteAll(m_fdSend, Record(0, 0, proto, scancode));
    }
    bool SendPulses(const std::vector<uint32_t>& us)
    {
        return SetMode(kModePulse) &&
               write(m_fdSend, us.data(), us.size() * sizeof us[0]) == static_cast<ssize_t>(us.size() * sizeof us[0]);
    }

    // A key held: the frame, then a repeat code every 108 ms, the NEC
    // remote's own rhythm. Returns when the last repeat has been sent, with
    // how late the latest send was, in ms; negative when a send failed.
    double HoldNec(uint8_t address, uint8_t command, int nRepeats)
    {
        return Hold(nRepeats + 1, 108, [&](int i) {
            return i == 0 ? SendPulses(NecPulses(address, static_cast<uint8_t>(~address), command,
                                                 static_cast<uint8_t>(~command)))
                          : SendPulses(NecRepeatPulses());
        });
    }
    // A key held on a remote that sends its whole frame again each period.
    double HoldFrames(uint16_t proto, uint64_t scancode, int nFrames, uint64_t periodMs)
    {
        return Hold(nFrames, periodMs, [&](int) { return SendScancode(proto, scancode); });
    }

private:
    template <typename Send>
    double Hold(int nSends, uint64_t periodMs, Send send)
    {
        const uint64_t start = NowNs();
        double lateMs = 0;
        for (int i = 0; i < nSends; ++i)
        {
            const uint64_t at = start + Ms(periodMs) * static_cast<uint64_t>(i);
            SleepUntilNs(at);
            lateMs = std::max(lateMs, static_cast<double>(NowNs() - at) / 1e6);
            if (!send(i))
                return -1;
        }
        return lateMs;
    }
    bool SetMode(uint32_t nMode)
    {
        if (m_nMode == nMode)
            return true;
        if (ioctl(m_fdSend, _IOW('i', 0x11, uint32_t), &nMode) != 0)
            return false;
        m_nMode = nMode;
        return true;
    }
    bool FindEventNode()
    {
        for (int nInput = 0; nInput < 64 && m_event.empty(); ++nInput)
            for (int nEvent = 0; nEvent < 64; ++nEvent)
            {
                const std::string dir =
                    SysDir() + "/input" + std::to_string(nInput) + "/event" + std::to_string(nEvent);
                if (access(dir.c_str(), F_OK) == 0)
                {
                    m_eventSys = dir;
                    m_event = "/dev/input/event" + std::to_string(nEvent);
                    break;
                }
            }
        return !m_event.empty();
    }
    void Close()
    {
        if (m_fdSend >= 0)
            close(m_fdSend);
        m_fdSend = -1;
        m_nMode = 0;
        m_event.clear();
    }

    int m_nCard = -1;
    int m_nRc = -1;
    int m_fdSend = -1;
    uint32_t m_nMode = 0;
    std::string m_lirc;
    std::string m_event;
    std::string m_eventSys;
};

// The kernel's own view of a key: the scancode mapped to a key on the
// input node, its presses and releases read there with their timestamps.
class CKernelKeys
{
public:
    explicit CKernelKeys(const std::string& eventNode)
    {
        m_fd = open(eventNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        int nClock = CLOCK_MONOTONIC;
        if (m_fd >= 0)
            ioctl(m_fd, EVIOCSCLOCKID, &nClock);
    }
    ~CKernelKeys()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CKernelKeys(const CKernelKeys&) = delete;
    CKernelKeys& operator=(const CKernelKeys&) = delete;

    bool Map(uint32_t scancode, uint32_t keycode) const
    {
        input_keymap_entry entry = {};
        entry.len = sizeof scancode;
        entry.keycode = keycode;
        std::memcpy(entry.scancode, &scancode, sizeof scancode);
        return m_fd >= 0 && ioctl(m_fd, EVIOCSKEYCODE_V2, &entry) == 0;
    }

    // The timestamp of the next EV_KEY event of that value (1 press, 0
    // release) within the time-out; 0 when none came.
    uint64_t Next(int nValue, int nTimeoutMs)
    {
        const uint64_t deadline = NowNs() + Ms(static_cast<uint64_t>(nTimeoutMs));
        for (;;)
        {
            input_event ev;
            while (read(m_fd, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev))
            {
                m_nPresses += ev.type == EV_KEY && ev.value == 1;
                if (ev.type == EV_KEY && ev.value == nValue)
                    return static_cast<uint64_t>(ev.input_event_sec) * 1000000000u +
                           static_cast<uint64_t>(ev.input_event_usec) * 1000u;
            }
            const uint64_t now = NowNs();
            if (now >= deadline)
                return 0;
            pollfd p = {m_fd, POLLIN, 0};
            poll(&p, 1, static_cast<int>((deadline - now) / 1000000u) + 1);
        }
    }
    // The last release once the key has been quiet for a while; 0 when
    // none came.
    uint64_t LastRelease()
    {
        uint64_t last = 0;
        for (uint64_t up; (up = Next(0, last == 0 ? 3000 : 400)) != 0;)
            last = up;
        return last;
    }
    // The presses read so far.
    int Presses() const { return m_nPresses; }

private:
    int m_fd = -1;
    int m_nPresses = 0;
};

}  // namespace rmtest

#endif
