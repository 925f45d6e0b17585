/* Watching a raw receiver's IR for frames that no enabled decoder takes: a
 * second reader of its lirc node, in mode2 (pulses and spaces), beside the
 * scancode reader. A frame is a burst of pulses the kernel ends with its
 * time-out report; it was taken when a scancode record came since it
 * began. A remote whose protocol is not enabled sends such frames, and the
 * user can be told how to enable it. */
#ifndef TAVRIXRC_RC_RAW_H
#define TAVRIXRC_RC_RAW_H

#include <stddef.h>
#include <stdint.h>

/* Frames that no decoder took before the user is told: one could be noise. */
#define RC_UNTAKEN_FRAMES_TO_TELL 2u

typedef struct
{
    int fd;              /* the mode2 reader; -1 when not watching */
    unsigned pulses;     /* in the burst under way */
    uint64_t records_at; /* scancode records taken when it began */
    unsigned untaken;    /* frames no decoder took */
} rc_raw_watch;

/* Takes mode2 samples. records_before: the scancode records taken before
 * the scancode reader was last read; records_after: after it. 1 once
 * RC_UNTAKEN_FRAMES_TO_TELL frames went untaken (then it stays 0). */
int rc_raw_take(rc_raw_watch* watch, const uint32_t* samples, size_t count, uint64_t records_before,
                uint64_t records_after);

/* Starts watching the lirc node at path, when it gives mode2 (a raw
 * receiver); a node that does not leaves the watch off. */
void rc_raw_open(rc_raw_watch* watch, const char* path);

/* Reads what the watch has queued; as rc_raw_take. Stops watching once the
 * user is to be told, or when the node goes away. */
int rc_raw_drain(rc_raw_watch* watch, uint64_t records_before, uint64_t records_after);

void rc_raw_close(rc_raw_watch* watch);

#endif
