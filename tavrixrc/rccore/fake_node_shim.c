/* For tests only, never shipped: lets a FIFO or a socket stand in for a
 * receiver's node. It answers the lirc and evdev requests the receiver
 * library makes on such descriptors, as a kernel node would; every other
 * request, and every request on any other descriptor, goes to the system.
 *
 * Preloaded (LD_PRELOAD) into the real executable, or linked into a test
 * program that exports it, so that the library itself is the one shipped.
 *
 * Environment:
 *   TAVRIXRC_FAKE_NODE_REFUSE      set: scancode mode is refused (EINVAL)
 *   TAVRIXRC_FAKE_NODE_TIMEOUT_US  the receiver's time-out, read at every
 *                                  request, so that a test changes it at run
 *                                  time as the kernel does when the decoders
 *                                  change; unset: the kernel's default,
 *                                  125 ms */
#define _GNU_SOURCE

#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#define FAKE_LIRC_SET_REC_MODE _IOW('i', 0x12, uint32_t)
#define FAKE_LIRC_GET_REC_TIMEOUT _IOR('i', 0x24, uint32_t)
#define FAKE_EVIOCSCLOCKID _IOW('E', 0xa0, int)

typedef int (*ioctl_fn)(int, unsigned long, ...);

static int is_fake_node(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

static int fail(int error)
{
    errno = error;
    return -1;
}

int ioctl(int fd, unsigned long request, ...)
{
    static ioctl_fn next;
    va_list args;
    void* arg;
    va_start(args, request);
    arg = va_arg(args, void*);
    va_end(args);
    if (is_fake_node(fd))
    {
        const char* timeout = getenv("TAVRIXRC_FAKE_NODE_TIMEOUT_US");
        if (request == FAKE_LIRC_SET_REC_MODE)
            return getenv("TAVRIXRC_FAKE_NODE_REFUSE") != NULL ? fail(EINVAL) : 0;
        if (request == FAKE_LIRC_GET_REC_TIMEOUT)
        {
            *(uint32_t*)arg = timeout != NULL ? (uint32_t)strtoul(timeout, NULL, 10) : 125000u;
            return 0;
        }
        if (request == FAKE_EVIOCSCLOCKID)
            return 0;
    }
    if (next == NULL)
        *(void**)&next = dlsym(RTLD_NEXT, "ioctl"); /* POSIX's way past ISO C's function pointer rule */
    return next != NULL ? next(fd, request, arg) : fail(ENOSYS);
}
