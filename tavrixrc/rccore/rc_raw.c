/* The watch for frames no decoder takes. */
#if !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "rc_raw.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#define RC_LIRC_SET_REC_MODE _IOW('i', 0x12, uint32_t)
#define RC_LIRC_MODE_MODE2 0x00000004u
#define RC_MODE2_KIND(sample) ((sample)&0xFF000000u)
#define RC_MODE2_PULSE 0x01000000u
#define RC_MODE2_TIMEOUT 0x03000000u
/* Fewer pulses than any protocol's frame (NEC's repeat code has two, and is
 * decoded): a flash of light, not a remote. */
#define RC_FRAME_PULSES_MIN 6u
#define RC_SAMPLES_PER_READ 256

int rc_raw_take(rc_raw_watch* watch, const uint32_t* samples, size_t count, uint64_t records_before,
                uint64_t records_after)
{
    size_t i;
    for (i = 0; i < count && watch->untaken < RC_UNTAKEN_FRAMES_TO_TELL; ++i)
    {
        const uint32_t kind = RC_MODE2_KIND(samples[i]);
        if (kind == RC_MODE2_PULSE)
        {
            /* The burst's scancode, if any, comes at its end: it cannot
             * have been read before its first pulse came. */
            if (watch->pulses++ == 0)
                watch->records_at = records_before;
        }
        else if (kind == RC_MODE2_TIMEOUT)
        {
            /* Its report comes a time-out after the frame's last edge,
             * long after the decoders queued what they took of it. */
            if (watch->pulses >= RC_FRAME_PULSES_MIN && records_after == watch->records_at)
                if (++watch->untaken == RC_UNTAKEN_FRAMES_TO_TELL)
                    return 1;
            watch->pulses = 0;
        }
    }
    return 0;
}

void rc_raw_open(rc_raw_watch* watch, const char* path)
{
    uint32_t mode = RC_LIRC_MODE_MODE2;
    memset(watch, 0, sizeof *watch);
    watch->fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (watch->fd >= 0 && ioctl(watch->fd, RC_LIRC_SET_REC_MODE, &mode) != 0)
        rc_raw_close(watch);
}

int rc_raw_drain(rc_raw_watch* watch, uint64_t records_before, uint64_t records_after)
{
    uint32_t samples[RC_SAMPLES_PER_READ];
    while (watch->fd >= 0)
    {
        const ssize_t n = read(watch->fd, samples, sizeof samples);
        if (n > 0)
        {
            if (rc_raw_take(watch, samples, (size_t)n / sizeof samples[0], records_before, records_after))
            {
                rc_raw_close(watch);
                return 1;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return 0;
        rc_raw_close(watch); /* gone: the scancode reader says so */
    }
    return 0;
}

void rc_raw_close(rc_raw_watch* watch)
{
    if (watch->fd >= 0)
        close(watch->fd);
    watch->fd = -1;
}
