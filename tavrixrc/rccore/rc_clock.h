/* The records' clock: the kernel stamps them on the host's monotonic clock.
 * Inside a time namespace (unshare --time, some container runtimes) the
 * process's CLOCK_MONOTONIC is apart from it by the namespace's offset, so
 * the moment of reading is taken on the records' clock: the offset as the
 * kernel tells it (/proc/self/timens_offsets), or, where it cannot be read,
 * as the records show it (a record never comes from the future). */
#ifndef TAVRIXRC_RC_CLOCK_H
#define TAVRIXRC_RC_CLOCK_H

#include <stddef.h>
#include <stdint.h>

typedef struct
{
    int exact;         /* the offset is the kernel's word */
    int seen;          /* otherwise: records have been seen */
    int64_t offset_ns; /* the records' clock minus the process's */
    int64_t ahead_ns;  /* the most a record has been ahead of its reading */
} rc_clock;

/* The monotonic offset of the process's time namespace from the text of
 * /proc/self/timens_offsets, into *offset_ns; 0 when the text has none. */
int rc_parse_timens_monotonic(const char* text, size_t len, int64_t* offset_ns);

/* Starts from the kernel's word when it can be read. */
void rc_clock_start(rc_clock* clock);

/* A record stamped record_ns was read at read_ns (the process's clock). */
void rc_clock_saw(rc_clock* clock, uint64_t record_ns, uint64_t read_ns);

/* Now on the records' clock, given now on the process's. */
uint64_t rc_clock_records_now(const rc_clock* clock, uint64_t now_ns);

/* CLOCK_MONOTONIC in nanoseconds. */
uint64_t rc_now_ns(void);

#endif
