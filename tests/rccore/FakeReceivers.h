// Test support: a fake sysfs tree and fake nodes standing in for the
// kernel's rc-core. Each node is a FIFO that the test holds open for
// writing records in the kernel's layout; closing it is an unplug. Records
// are stamped on the clock the kernel uses, never ahead of it; one dated
// back stands for one the tool reads late.
#ifndef REMOTEMONITOR_TESTS_FAKERECEIVERS_H
#define REMOTEMONITOR_TESTS_FAKERECEIVERS_H

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace rmtest {

enum : uint16_t
{
    kProtoNec = 9,
    kProtoNecx = 10,
    kProtoNec32 = 11,
    kProtoRc5 = 2,
    kProtoSony12 = 6,
    kFlagRepeat = 2
};

inline uint64_t NowNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

inline uint64_t Ms(uint64_t n)
{
    return n * 1000000u;
}

// One record as a lirc node hands it out, laid out field by field.
inline std::string Record(uint64_t timestampNs, uint16_t flags, uint16_t proto, uint64_t scancode)
{
    char bytes[24] = {};
    const uint32_t keycode = 0;
    std::memcpy(bytes, &timestampNs, 8);
    std::memcpy(bytes + 8, &flags, 2);
    std::memcpy(bytes + 10, &proto, 2);
    std::memcpy(bytes + 12, &keycode, 4);
    std::memcpy(bytes + 16, &scancode, 8);
    return std::string(bytes, sizeof bytes);
}

// One input event: struct timeval, type, code, value.
inline std::string Event(uint64_t timestampNs, uint16_t type, uint16_t code, int32_t value)
{
    const long sec = static_cast<long>(timestampNs / 1000000000u);
    const long usec = static_cast<long>(timestampNs % 1000000000u / 1000u);
    std::string bytes(reinterpret_cast<const char*>(&sec), sizeof sec);
    bytes.append(reinterpret_cast<const char*>(&usec), sizeof usec);
    bytes.append(reinterpret_cast<const char*>(&type), 2);
    bytes.append(reinterpret_cast<const char*>(&code), 2);
    bytes.append(reinterpret_cast<const char*>(&value), 4);
    return bytes;
}

inline bool WriteAll(int fd, const std::string& bytes)
{
    return write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Records onto a fake lirc node as the kernel queues them: 32 per reader,
// the newest dropped beyond. True when none was dropped.
inline bool Send(int fd, const std::string& records)
{
    const size_t kQueue = 32 * 24;
    int nQueued = 0;
    if (ioctl(fd, FIONREAD, &nQueued) != 0 || static_cast<size_t>(nQueued) > kQueue)
        return false;
    const size_t nRoom = kQueue - static_cast<size_t>(nQueued);
    const std::string kept = records.substr(0, std::min(records.size(), nRoom) / 24 * 24);
    return WriteAll(fd, kept) && kept.size() == records.size();
}

// Raw IR samples as a lirc node in raw mode hands them out: the kind in the
// top byte, microseconds below.
inline uint32_t Pulse(uint32_t us)
{
    return 0x01000000u | us;
}
inline uint32_t Space(uint32_t us)
{
    return us;
}
inline uint32_t TimeoutReport(uint32_t us)
{
    return 0x03000000u | us;
}
inline bool SendSamples(int fd, const std::vector<uint32_t>& samples)
{
    return WriteAll(fd, std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 4));
}

// Raw IR as most receivers hand it out, as it goes: each pulse and space
// the moment it ends (burstUs > 0: in packets that often, as USB receivers
// send them), a space longer than the time-out reported a time-out after
// its start, and then, as the kernel's lirc does, as a space of its whole
// length before the next pulse. us: pulse, space, pulse, ..., ending in a
// pulse; a time-out report after it unless bTimeout is false.
inline bool SendAsItGoes(int fd, const std::vector<uint32_t>& us, uint32_t timeoutUs, uint32_t burstUs = 0,
                         bool bTimeout = true)
{
    std::vector<uint32_t> packet;
    uint64_t packetAt = 0;  // when the packet under way is due to go
    bool ok = true;
    const auto sleepUntil = [](uint64_t atNs) {
        const timespec ts = {static_cast<time_t>(atNs / 1000000000u), static_cast<long>(atNs % 1000000000u)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0)
        {
        }
    };
    const auto flush = [&] {
        if (packet.empty())
            return;
        sleepUntil(packetAt);
        ok = SendSamples(fd, packet) && ok;
        packet.clear();
    };
    const auto deliver = [&](uint64_t atNs, uint32_t sample) {
        if (!packet.empty() && atNs > packetAt)
            flush();
        if (packet.empty())
            packetAt = atNs + static_cast<uint64_t>(burstUs) * 1000u;
        packet.push_back(sample);
    };
    uint64_t at = NowNs();
    for (size_t i = 0; i < us.size(); ++i)
    {
        if (i % 2 == 1 && us[i] > timeoutUs)
            deliver(at + static_cast<uint64_t>(timeoutUs) * 1000u, TimeoutReport(timeoutUs));
        at += static_cast<uint64_t>(us[i]) * 1000u;
        deliver(at, i % 2 == 0 ? Pulse(us[i]) : Space(us[i]));
    }
    if (bTimeout)
        deliver(at + static_cast<uint64_t>(timeoutUs) * 1000u, TimeoutReport(timeoutUs));
    flush();
    return ok;
}

class CFakeReceivers
{
public:
    CFakeReceivers()
    {
        char szTemplate[] = "/tmp/rm-rc-XXXXXX";
        m_root = mkdtemp(szTemplate);
        chmod(m_root.c_str(), 0755);
        mkdir(Sysfs().c_str(), 0755);
        mkdir(Dev().c_str(), 0755);
        mkdir((Dev() + "/input").c_str(), 0755);
    }
    ~CFakeReceivers()
    {
        for (int fd : m_writers)
            close(fd);
        std::system(("rm -rf '" + m_root + "'").c_str());
    }
    CFakeReceivers(const CFakeReceivers&) = delete;
    CFakeReceivers& operator=(const CFakeReceivers&) = delete;

    std::string Root() const { return m_root; }
    std::string Sysfs() const { return m_root + "/sys"; }
    std::string Dev() const { return m_root + "/dev"; }

    // rcN with no node at all.
    std::string AddBare(int nRc, const char* pszProtocols = "rc-5 [nec] rc-6")
    {
        const std::string dir = Sysfs() + "/rc" + std::to_string(nRc);
        mkdir(dir.c_str(), 0755);
        std::ofstream(dir + "/protocols") << pszProtocols << "\n";
        return dir;
    }

    // rcN read through /dev/lircM; the descriptor records are written to.
    int AddLirc(int nRc, int nLirc, const char* pszProtocols = "rc-5 [nec] rc-6")
    {
        const std::string name = "lirc" + std::to_string(nLirc);
        return AddNode(AddBare(nRc, pszProtocols) + "/" + name, name);
    }

    // rcN read through /dev/lircM that delivers raw IR too: the descriptor
    // records are written to; samples go to *pfdRaw.
    int AddRawLirc(int nRc, int nLirc, const char* pszProtocols, int* pfdRaw)
    {
        const int fd = AddLirc(nRc, nLirc, pszProtocols);
        const std::string raw = NodePath("lirc" + std::to_string(nLirc)) + ".mode2";
        mkfifo(raw.c_str(), 0600);
        *pfdRaw = open(raw.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (*pfdRaw >= 0)
            m_writers.push_back(*pfdRaw);
        return fd;
    }

    // rcN without a lirc node, with /dev/input/eventM.
    int AddEvent(int nRc, int nInput, int nEvent)
    {
        const std::string input = AddBare(nRc) + "/input" + std::to_string(nInput);
        mkdir(input.c_str(), 0755);
        return AddNode(input + "/event" + std::to_string(nEvent), "input/event" + std::to_string(nEvent));
    }

    std::string NodePath(const std::string& devname) const { return Dev() + "/" + devname; }

    void Unplug(int fd)
    {
        for (size_t i = 0; i < m_writers.size(); ++i)
            if (m_writers[i] == fd)
                m_writers.erase(m_writers.begin() + static_cast<long>(i));
        close(fd);
    }

    void Export() const
    {
        setenv("TAVRIXRC_RC_SYSFS", Sysfs().c_str(), 1);
        setenv("TAVRIXRC_RC_DEV", Dev().c_str(), 1);
    }

private:
    int AddNode(const std::string& sysDir, const std::string& devname)
    {
        mkdir(sysDir.c_str(), 0755);
        std::ofstream(sysDir + "/uevent") << "MAJOR=251\nMINOR=0\nDEVNAME=" << devname << "\n";
        const std::string node = NodePath(devname);
        mkfifo(node.c_str(), 0600);
        // Read and write: the FIFO has a writer from now on, whoever reads.
        const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            m_writers.push_back(fd);
        return fd;
    }

    std::string m_root;
    std::vector<int> m_writers;
};

}  // namespace rmtest

#endif
