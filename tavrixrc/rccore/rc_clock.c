/* The records' clock against the process's. */
#if !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include "rc_clock.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "rc_sysfs.h"

/* Where the offset cannot be read, records up to this far behind their
 * reading are taken as on the process's clock: a poll that came late, not a
 * namespace (whose offsets are whole seconds). */
#define RC_CLOCKS_APART_NS 1000000000LL
#define RC_OFFSET_SEC_MAX 9000000000LL

uint64_t rc_now_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

/* A signed decimal at *p, at most 18 digits; 0 when there is none. */
static int parse_decimal(const char** p, const char* end, int64_t* value)
{
    int negative = 0;
    int digits = 0;
    *value = 0;
    while (*p < end && **p == ' ')
        ++*p;
    if (*p < end && **p == '-')
    {
        negative = 1;
        ++*p;
    }
    while (*p < end && **p >= '0' && **p <= '9' && digits < 18)
    {
        *value = *value * 10 + (**p - '0');
        ++*p;
        ++digits;
    }
    if (negative)
        *value = -*value;
    return digits > 0;
}

int rc_parse_timens_monotonic(const char* text, size_t len, int64_t* offset_ns)
{
    size_t value_len = 0;
    const char* p = rc_find_line(text, len, "monotonic ", &value_len);
    const char* end;
    int64_t sec;
    int64_t nsec;
    if (p == NULL)
        return 0;
    end = p + value_len;
    /* The kernel keeps offsets within what nanoseconds in 64 bits hold. */
    if (!parse_decimal(&p, end, &sec) || !parse_decimal(&p, end, &nsec) || sec > RC_OFFSET_SEC_MAX ||
        sec < -RC_OFFSET_SEC_MAX || nsec < 0 || nsec >= 1000000000)
        return 0;
    *offset_ns = sec * 1000000000LL + nsec;
    return 1;
}

void rc_clock_start(rc_clock* clock)
{
    char text[256];
    const long len = rc_read_text("/proc/self/timens_offsets", text, sizeof text);
    int64_t namespace_ns = 0;
    memset(clock, 0, sizeof *clock);
    /* The process's clock is the host's plus the namespace's offset. */
    if (len >= 0 && rc_parse_timens_monotonic(text, (size_t)len, &namespace_ns))
    {
        clock->exact = 1;
        clock->offset_ns = -namespace_ns;
    }
}

void rc_clock_saw(rc_clock* clock, uint64_t record_ns, uint64_t read_ns)
{
    const int64_t ahead = (int64_t)(record_ns - read_ns);
    if (clock->exact)
        return;
    if (!clock->seen || ahead > clock->ahead_ns)
        clock->ahead_ns = ahead;
    clock->seen = 1;
    /* The record came at its reading at the latest, so the offset is at
     * least its lead: the freshest record tells it best. */
    clock->offset_ns = clock->ahead_ns > 0 || clock->ahead_ns < -RC_CLOCKS_APART_NS ? clock->ahead_ns : 0;
}

uint64_t rc_clock_records_now(const rc_clock* clock, uint64_t now_ns)
{
    return now_ns + (uint64_t)clock->offset_ns;
}
