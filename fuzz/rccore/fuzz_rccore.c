/* The receiver library's parsing under arbitrary bytes: the records as a
 * lirc node or an input event node hands them out, fed through the key
 * state (the lirc records' bytes also as raw IR samples, through the raw
 * frames' key and the last frame's line), and the sysfs texts (uevent,
 * protocols, device names). The first byte picks what the rest is read
 * as. */
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "rc_clock.h"
#include "rc_frame.h"
#include "rc_key.h"
#include "rc_raw.h"
#include "rc_record.h"
#include "rc_sysfs.h"

/* Raw samples read 5 ms apart, four to a reading. */
static void fuzz_raw(const unsigned char* data, size_t size, uint64_t timeout_ns)
{
    rc_raw raw;
    uint64_t now = 1000000000u;
    size_t at;
    rc_raw_start(&raw);
    for (at = 0; at + 4 <= size; at += 4)
    {
        uint32_t sample;
        memcpy(&sample, data + at, 4);
        if (at % 16 == 0)
        {
            now += 5000000u;
            rc_raw_polled(&raw, now);
        }
        rc_raw_sample(&raw, sample, now);
        rc_raw_settle(&raw, now);
        if (rc_raw_code_ex(&raw, now) != 0 && raw.shown == 0)
            __builtin_trap();
    }
    /* the last frame's line, in a room of any size */
    {
        char line[80];
        const size_t room = size % sizeof line;
        const size_t len = rc_shape_describe(&raw.shape, line, room);
        if (room != 0 ? len >= room || line[len] != '\0' : len != 0)
            __builtin_trap();
    }
}

static void fuzz_records(const unsigned char* data, size_t size, int events)
{
    rc_record records[16];
    rc_key key;
    uint64_t timeout_ns = RC_DEFAULT_TIMEOUT_NS;
    size_t n;
    size_t i;
    memset(&key, 0, sizeof key);
    if (size >= 4)
    {
        uint32_t timeout_us;
        memcpy(&timeout_us, data, 4);
        timeout_ns = (uint64_t)timeout_us * 1000u;
        data += 4;
        size -= 4;
    }
    n = events ? rc_decode_events(data, size, records, 16) : rc_decode_scancodes(data, size, records, 16);
    for (i = 0; i < n; ++i)
    {
        int code;
        rc_key_feed(&key, &records[i], timeout_ns);
        code = rc_key_code(&key, records[i].timestamp_ns);
        (void)rc_key_code_ex(&key, records[i].timestamp_ns);
        if (code < 0 || code > 255)
            __builtin_trap();
    }
    if (!events)
        fuzz_raw(data, size, timeout_ns);
}

/* Non-zero when a path has a ".." part: a way out of the device root. */
static int climbs(const char* path)
{
    const char* part = path;
    for (;;)
    {
        const char* slash = strchr(part, '/');
        const size_t len = slash != NULL ? (size_t)(slash - part) : strlen(part);
        if (len == 2 && part[0] == '.' && part[1] == '.')
            return 1;
        if (slash == NULL)
            return 0;
        part = slash + 1;
    }
}

static void fuzz_texts(const unsigned char* data, size_t size)
{
    const char* text = (const char*)data;
    char devname[64];
    char name[32];
    if (rc_parse_devname(text, size, devname, sizeof devname))
    {
        const size_t len = strlen(devname);
        if (len == 0 || devname[0] == '/' || climbs(devname))
            __builtin_trap();
    }
    int64_t offset;
    (void)rc_parse_timens_monotonic(text, size, &offset);
    if (rc_parse_decoders(text, size) < -1 || rc_parse_decoders(text, size) > 1)
        __builtin_trap();
    if ((rc_parse_enabled_protocols(text, size) & ~(((uint64_t)1 << (RC_PROTO_XBOX_DVD + 1)) - 1u)) != 0)
        __builtin_trap(); /* only the kernel's protocols */
    if (size < sizeof name)
    {
        memcpy(name, data, size);
        name[size] = '\0';
        if (rc_parse_index(name, "rc") < -1)
            __builtin_trap();
    }
}

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    switch (data[0] % 3)
    {
    case 0:
        fuzz_records(data + 1, size - 1, 0);
        break;
    case 1:
        fuzz_records(data + 1, size - 1, 1);
        break;
    default:
        fuzz_texts(data + 1, size - 1);
        break;
    }
    return 0;
}
