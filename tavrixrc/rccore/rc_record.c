/* Decoding of the records read from a receiver's node. */
#include "rc_record.h"

#include <string.h>

size_t rc_decode_scancodes(const unsigned char* bytes, size_t len, rc_record* out, size_t max)
{
    size_t n = 0;
    for (; n < max && (n + 1) * RC_RECORD_SIZE <= len; ++n)
    {
        const unsigned char* p = bytes + n * RC_RECORD_SIZE;
        memcpy(&out[n].timestamp_ns, p, 8);
        memcpy(&out[n].flags, p + 8, 2);
        memcpy(&out[n].proto, p + 10, 2);
        memcpy(&out[n].keycode, p + 12, 4);
        memcpy(&out[n].scancode, p + 16, 8);
    }
    return n;
}

size_t rc_decode_events(const unsigned char* bytes, size_t len, rc_record* out, size_t max)
{
    size_t n = 0;
    size_t at;
    for (at = 0; n < max && at + RC_EVENT_SIZE <= len; at += RC_EVENT_SIZE)
    {
        const unsigned char* p = bytes + at;
        long sec;
        long usec;
        uint16_t type;
        uint16_t code;
        int32_t value;
        memcpy(&sec, p, sizeof sec);
        memcpy(&usec, p + sizeof sec, sizeof usec);
        memcpy(&type, p + 2 * sizeof sec, 2);
        memcpy(&code, p + 2 * sizeof sec + 2, 2);
        memcpy(&value, p + 2 * sizeof sec + 4, 4);
        if (type == RC_EV_MSC && code == RC_MSC_SCAN)
        {
            out[n].flags = 0;
            out[n].keycode = 0;
            out[n].scancode = (uint32_t)value;
        }
        else if (type == RC_EV_KEY)
        {
            out[n].flags = value != 0 ? RC_FLAG_KEY_DOWN : RC_FLAG_KEY_UP;
            out[n].keycode = code;
            out[n].scancode = 0;
        }
        else
        {
            continue;
        }
        /* Unsigned arithmetic: a hostile timestamp wraps instead of overflowing. */
        out[n].timestamp_ns = (uint64_t)sec * 1000000000u + (uint64_t)usec * 1000u;
        out[n].proto = RC_PROTO_UNKNOWN;
        ++n;
    }
    return n;
}
