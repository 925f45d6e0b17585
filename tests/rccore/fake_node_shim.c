/* For the receiver tests only, never shipped: lets a named FIFO stand in for a
 * receiver's node, answering as the kernel's node does. It answers the lirc
 * and evdev requests the receiver library makes on such descriptors, and
 * gives reads and polls the kernel's answers once the node is unplugged (the
 * test closed its end); everything else, and every call on any other
 * descriptor, goes to the system.
 *
 * What the kernel does that a FIFO does not, and what stands in for it:
 *   - it always answers the time-out, and changes it at run time with the
 *     decoders: read from the environment at each request;
 *   - unplugged, a node answers a read ENODEV, what it still held lost,
 *     and a poll POLLHUP | POLLERR (a lirc node without POLLIN); a FIFO
 *     would say end of file, and hand out what it still holds;
 *   - it keeps 32 records per reader: the test's writer keeps to that
 *     (FakeReceivers.h);
 *   - each open of a lirc node has a mode of its own: a node with raw IR
 *     is a second FIFO beside it, "<node>.mode2", which a descriptor reads
 *     once it asks for raw mode; the features tell raw IR when it is there,
 *     else a receiver that decodes in hardware.
 *
 * Preloaded (LD_PRELOAD) into the real executable, or linked into a test
 * program that exports it, so that the library itself is the one shipped.
 *
 * Environment:
 *   TAVRIXRC_FAKE_NODE_REFUSE      set: scancode mode is refused (EINVAL)
 *   TAVRIXRC_FAKE_NODE_TIMEOUT_US  the receiver's time-out; unset: the
 *                                  kernel's default, 125 ms */
#define _GNU_SOURCE

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#define FAKE_LIRC_GET_FEATURES _IOR('i', 0x00, uint32_t)
#define FAKE_LIRC_SET_REC_MODE _IOW('i', 0x12, uint32_t)
#define FAKE_LIRC_SET_REC_TIMEOUT_REPORTS _IOW('i', 0x19, uint32_t)
#define FAKE_LIRC_MODE_MODE2 0x00000004u
#define FAKE_LIRC_CAN_REC_MODE2 0x00040000u
#define FAKE_LIRC_CAN_REC_SCANCODE 0x00080000u
#define FAKE_LIRC_GET_REC_TIMEOUT _IOR('i', 0x24, uint32_t)
#define FAKE_EVIOCSCLOCKID _IOW('E', 0xa0, int)

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef ssize_t (*read_fn)(int, void*, size_t);
typedef int (*poll_fn)(struct pollfd*, nfds_t, int);

/* POSIX's way past ISO C's function pointer rule. The tool's threads both
 * come here first; each finds the same pointer, so the one kept is either's. */
static void* next_fn(void** fn, const char* name)
{
    void* found = __atomic_load_n(fn, __ATOMIC_ACQUIRE);
    if (found == NULL)
    {
        found = dlsym(RTLD_NEXT, name);
        __atomic_store_n(fn, found, __ATOMIC_RELEASE);
    }
    return found;
}

typedef enum
{
    NOT_FAKE,
    FAKE_LIRC,
    FAKE_EVENT
} fake_kind;

/* A named FIFO (a pipe's link is "pipe:[N]", not a path); an input node's
 * name starts with "event". */
static fake_kind fake_node(int fd)
{
    struct stat st;
    char link[64];
    char path[4096];
    ssize_t n;
    const char* base;
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode))
        return NOT_FAKE;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    n = readlink(link, path, sizeof path - 1);
    if (n <= 0 || path[0] != '/')
        return NOT_FAKE;
    path[n] = '\0';
    base = strrchr(path, '/') + 1;
    return strncmp(base, "event", 5) == 0 ? FAKE_EVENT : FAKE_LIRC;
}

static int fail(int error)
{
    errno = error;
    return -1;
}

/* The node's raw FIFO, its path into raw; 0 when it has none. */
static int raw_fifo(int fd, char* raw, size_t raw_len)
{
    char link[64];
    char path[4000];
    struct stat st;
    ssize_t n;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return 0;
    path[n] = '\0';
    snprintf(raw, raw_len, "%s.mode2", path);
    return stat(raw, &st) == 0 && S_ISFIFO(st.st_mode);
}

/* Raw mode: the descriptor reads the raw FIFO from now on. */
static int set_rec_mode(int fd, uint32_t mode)
{
    char raw[4096];
    int raw_fd;
    if (getenv("TAVRIXRC_FAKE_NODE_REFUSE") != NULL)
        return fail(EINVAL);
    if (mode != FAKE_LIRC_MODE_MODE2)
        return 0;
    if (!raw_fifo(fd, raw, sizeof raw))
        return fail(EINVAL);
    raw_fd = open(raw, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (raw_fd < 0 || dup3(raw_fd, fd, O_CLOEXEC) < 0)
        return fail(EINVAL);
    close(raw_fd);
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    static void* next;
    va_list args;
    void* arg;
    ioctl_fn system_ioctl;
    va_start(args, request);
    arg = va_arg(args, void*);
    va_end(args);
    if (fake_node(fd) != NOT_FAKE)
    {
        const char* timeout = getenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US");
        char raw[4096];
        if (request == FAKE_LIRC_SET_REC_MODE)
            return set_rec_mode(fd, *(uint32_t*)arg);
        if (request == FAKE_LIRC_GET_FEATURES)
        {
            *(uint32_t*)arg = raw_fifo(fd, raw, sizeof raw) ? FAKE_LIRC_CAN_REC_MODE2 : FAKE_LIRC_CAN_REC_SCANCODE;
            return 0;
        }
        if (request == FAKE_LIRC_SET_REC_TIMEOUT_REPORTS)
            return 0;
        if (request == FAKE_LIRC_GET_REC_TIMEOUT)
        {
            *(uint32_t*)arg = timeout != NULL ? (uint32_t)strtoul(timeout, NULL, 10) : 125000u;
            return 0;
        }
        if (request == FAKE_EVIOCSCLOCKID)
            return 0;
    }
    *(void**)&system_ioctl = next_fn(&next, "ioctl");
    return system_ioctl != NULL ? system_ioctl(fd, request, arg) : fail(ENOSYS);
}

/* The test has closed its end: the node is unplugged. */
static int unplugged(int fd)
{
    static void* next;
    poll_fn system_poll;
    struct pollfd p;
    p.fd = fd;
    p.events = POLLIN;
    p.revents = 0;
    *(void**)&system_poll = next_fn(&next, "poll");
    return system_poll != NULL && system_poll(&p, 1, 0) > 0 && (p.revents & POLLHUP) != 0;
}

ssize_t read(int fd, void* buf, size_t count)
{
    static void* next;
    read_fn system_read;
    if (fake_node(fd) != NOT_FAKE && unplugged(fd))
        return fail(ENODEV);
    *(void**)&system_read = next_fn(&next, "read");
    return system_read != NULL ? system_read(fd, buf, count) : fail(ENOSYS);
}

/* What a fortified build calls instead. */
ssize_t __read_chk(int fd, void* buf, size_t count, size_t buf_len)
{
    if (count > buf_len)
        abort();
    return read(fd, buf, count);
}

int poll(struct pollfd* fds, nfds_t nfds, int timeout)
{
    static void* next;
    poll_fn system_poll;
    nfds_t i;
    int ready;
    *(void**)&system_poll = next_fn(&next, "poll");
    if (system_poll == NULL)
        return fail(ENOSYS);
    ready = system_poll(fds, nfds, timeout);
    for (i = 0; ready > 0 && i < nfds; ++i)
    {
        if ((fds[i].revents & POLLHUP) == 0)
            continue;
        switch (fake_node(fds[i].fd))
        {
        case FAKE_LIRC:
            fds[i].revents = (short)((fds[i].revents & ~POLLIN) | POLLERR);
            break;
        case FAKE_EVENT:
            fds[i].revents |= POLLERR;
            break;
        default:
            break;
        }
    }
    return ready;
}

int __poll_chk(struct pollfd* fds, nfds_t nfds, int timeout, size_t fds_len)
{
    if (fds_len / sizeof *fds < nfds)
        abort();
    return poll(fds, nfds, timeout);
}
