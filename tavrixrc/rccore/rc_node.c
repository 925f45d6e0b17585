/* Opening and reading a receiver's node. */
#if !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "rc_node.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

/* The lirc and evdev requests this library makes, as the kernel numbers
 * them: type 'i' for lirc, 'E' for evdev, each with a 32-bit argument. */
#define RC_LIRC_SET_REC_MODE _IOW('i', 0x12, uint32_t)
#define RC_LIRC_GET_REC_TIMEOUT _IOR('i', 0x24, uint32_t)
#define RC_LIRC_GET_FEATURES _IOR('i', 0x00, uint32_t)
#define RC_LIRC_SET_REC_TIMEOUT_REPORTS _IOW('i', 0x19, uint32_t)
#define RC_LIRC_MODE_MODE2 0x00000004u
#define RC_LIRC_MODE_SCANCODE 0x00000008u
#define RC_LIRC_CAN_REC_MODE2 (RC_LIRC_MODE_MODE2 << 16)
#define RC_EVIOCSCLOCKID _IOW('E', 0xa0, int)

/* Records taken per read; a burst beyond it takes more reads. */
#define RC_RECORDS_PER_READ 64
/* Reads per drain at the most: a node that floods cannot hold a call. */
#define RC_READS_PER_DRAIN 256
/* Raw samples per read, and reads per drain: the kernel queues 512 per
 * reader (Debian's 6.1), so one read takes in all it holds, and a second
 * what came meanwhile; a flood takes no more. */
#define RC_SAMPLES_PER_READ 512
#define RC_RAW_READS_PER_DRAIN 2

static void refuse(char* why, size_t why_len, const char* what, const char* path, int error)
{
    snprintf(why, why_len, "%s %s: %s", what, path, strerror(error));
}

/* Asks the node for scancode mode (lirc) or for timestamps on the monotonic
 * clock (evdev); 0 with errno when it refuses. */
static int configure(rc_node* node)
{
    if (node->kind == RC_NODE_EVENT)
    {
        int clock_id = CLOCK_MONOTONIC;
        return ioctl(node->fd, RC_EVIOCSCLOCKID, &clock_id) == 0;
    }
    {
        uint32_t mode = RC_LIRC_MODE_SCANCODE;
        return ioctl(node->fd, RC_LIRC_SET_REC_MODE, &mode) == 0;
    }
}

/* The kernel sets the time-out from the decoders enabled and changes it at
 * once when they change, so it is asked again whenever records come (one
 * ioctl, and only then: a poll that finds nothing costs nothing more). */
static void take_timeout(rc_node* node)
{
    uint32_t timeout_us = 0;
    if (node->kind == RC_NODE_LIRC && ioctl(node->fd, RC_LIRC_GET_REC_TIMEOUT, &timeout_us) == 0 && timeout_us > 0)
        node->timeout_ns = (uint64_t)timeout_us * 1000u;
}

/* The protocols the kernel decodes, read again whenever raw IR comes (the
 * user may enable one while the tool runs): frames of those are its to
 * decode. A file that cannot be read leaves the set as it was. */
static void take_enabled(rc_node* node)
{
    char text[1024];
    const long len = node->protocols_path[0] != '\0' ? rc_read_text(node->protocols_path, text, sizeof text) : -1;
    if (len >= 0)
        node->raw.kernel_protocols = rc_parse_enabled_protocols(text, (size_t)len);
}

/* Where the receiver hands out its pulses and spaces: the node opened again
 * in raw mode, with the kernel's report at each frame's end (its default,
 * asked for all the same). A node without raw IR reads as before. */
static void open_raw(rc_node* node, const char* path)
{
    uint32_t features = 0;
    uint32_t mode = RC_LIRC_MODE_MODE2;
    uint32_t reports = 1;
    if (ioctl(node->fd, RC_LIRC_GET_FEATURES, &features) != 0 || (features & RC_LIRC_CAN_REC_MODE2) == 0)
        return;
    node->raw_fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (node->raw_fd < 0)
        return;
    if (ioctl(node->raw_fd, RC_LIRC_SET_REC_MODE, &mode) != 0)
    {
        close(node->raw_fd);
        node->raw_fd = -1;
        return;
    }
    (void)ioctl(node->raw_fd, RC_LIRC_SET_REC_TIMEOUT_REPORTS, &reports);
}

int rc_node_open(rc_node* node, const char* path, rc_node_kind kind, const char* protocols_path, char* why,
                 size_t why_len)
{
    memset(node, 0, sizeof *node);
    snprintf(node->protocols_path, sizeof node->protocols_path, "%s", protocols_path);
    node->raw_fd = -1;
    rc_raw_start(&node->raw);
    rc_clock_start(&node->clock);
    node->kind = kind;
    node->timeout_ns = RC_DEFAULT_TIMEOUT_NS;
    node->fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (node->fd < 0)
    {
        const int error = errno;
        refuse(why, why_len, "cannot open", path, error);
        errno = error;
        return 0;
    }
    if (!configure(node))
    {
        const int error = errno;
        refuse(why, why_len, kind == RC_NODE_EVENT ? "not an input event node:" : "no scancode mode on", path, error);
        rc_node_close(node);
        errno = error;
        return 0;
    }
    if (kind == RC_NODE_LIRC)
        open_raw(node, path);
    return 1;
}

/* The kernel's key, else the one decoded here: both are only ever held
 * for protocols the other does not decode. */
static const rc_key* held_key(const rc_node* node, uint64_t now_ns)
{
    return rc_key_is_down(&node->key, now_ns) ? &node->key : &node->raw.key;
}

int rc_node_code(const rc_node* node, uint64_t now_ns)
{
    return rc_key_code(held_key(node, now_ns), now_ns);
}

uint32_t rc_node_code_ex(const rc_node* node, uint64_t now_ns)
{
    const rc_key* key = held_key(node, now_ns);
    return rc_key_is_down(key, now_ns) ? rc_key_code_ex(key, now_ns) : rc_raw_code_ex(&node->raw, now_ns);
}

uint64_t rc_node_now(const rc_node* node)
{
    return rc_clock_records_now(&node->clock, rc_now_ns());
}

void rc_node_close(rc_node* node)
{
    if (node->fd >= 0)
        close(node->fd);
    if (node->raw_fd >= 0)
        close(node->raw_fd);
    node->fd = -1;
    node->raw_fd = -1;
    node->key.pressed = 0;
    rc_raw_start(&node->raw);
}

static void feed(rc_node* node, const unsigned char* bytes, size_t len)
{
    rc_record records[RC_RECORDS_PER_READ];
    const size_t n = node->kind == RC_NODE_EVENT ? rc_decode_events(bytes, len, records, RC_RECORDS_PER_READ)
                                                 : rc_decode_scancodes(bytes, len, records, RC_RECORDS_PER_READ);
    const uint64_t read_ns = rc_now_ns();
    size_t i;
    for (i = 0; i < n; ++i)
    {
        rc_clock_saw(&node->clock, records[i].timestamp_ns, read_ns);
        rc_key_feed(&node->key, &records[i], node->timeout_ns);
        if ((records[i].flags & (RC_FLAG_KEY_DOWN | RC_FLAG_KEY_UP)) == 0)
            rc_raw_decoded(&node->raw);
    }
}

/* Raw samples first: a decoder's scancode for a frame is queued before the
 * frame's end sample, so the scancodes read after them have it. */
static void drain_raw(rc_node* node)
{
    uint32_t samples[RC_SAMPLES_PER_READ];
    int reads;
    for (reads = 0; node->raw_fd >= 0 && reads < RC_RAW_READS_PER_DRAIN; ++reads)
    {
        const ssize_t n = read(node->raw_fd, samples, sizeof samples);
        const uint64_t read_ns = rc_node_now(node);
        ssize_t i;
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
        {
            rc_raw_polled(&node->raw, read_ns);
            /* Gone or broken, the raw view alone: the scancodes tell an unplug. */
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            {
                close(node->raw_fd);
                node->raw_fd = -1;
            }
            return;
        }
        if (reads == 0)
            take_enabled(node);
        for (i = 0; i < n / (ssize_t)sizeof samples[0]; ++i)
            rc_raw_sample(&node->raw, samples[i], read_ns);
        rc_raw_polled(&node->raw, read_ns);
    }
}

/* Nothing to read: a hang-up or an error on the node means it is gone. */
static int still_there(const rc_node* node)
{
    struct pollfd p;
    p.fd = node->fd;
    p.events = POLLIN;
    p.revents = 0;
    if (poll(&p, 1, 0) < 0)
        return errno == EINTR;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0 || (p.revents & POLLIN) != 0;
}

static int drain_scancodes(rc_node* node)
{
    unsigned char buffer[RC_RECORDS_PER_READ * RC_RECORD_SIZE];
    const size_t record_size = node->kind == RC_NODE_EVENT ? RC_EVENT_SIZE : RC_RECORD_SIZE;
    int reads;
    for (reads = 0; reads < RC_READS_PER_DRAIN; ++reads)
    {
        const ssize_t n = read(node->fd, buffer, RC_RECORDS_PER_READ * record_size);
        if (n > 0)
        {
            take_timeout(node);
            feed(node, buffer, (size_t)n);
            /* A part of a record is an error of the node; nothing of it is
             * used, and this call reads no further. */
            if ((size_t)n % record_size != 0)
                return 1;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
        {
            if (still_there(node))
                return 1;
        }
        rc_node_close(node);
        return 0;
    }
    return 1;
}

int rc_node_drain(rc_node* node)
{
    if (node->fd < 0)
        return 1;
    drain_raw(node);
    if (!drain_scancodes(node))
        return 0;
    rc_raw_settle(&node->raw, rc_node_now(node));
    return 1;
}
