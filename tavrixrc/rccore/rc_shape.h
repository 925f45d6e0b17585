/* The shape of an IR frame no decoder took, as a 32-bit code: the same for
 * every press of a key whatever the remote's timing jitter and the
 * receiver's bias, different for two keys. Pulses and spaces are each
 * sorted into classes of about one length (short, long, longer, ...), and
 * the sequence of (kind, class) is hashed (FNV-1a). Pure, so that tests
 * call it directly. */
#ifndef TAVRIXRC_RC_SHAPE_H
#define TAVRIXRC_RC_SHAPE_H

#include <stdint.h>

/* A frame's durations past this are dropped: a flood cannot make a frame
 * costly, and no remote's frame comes near it. */
#define RC_SHAPE_MAX_DURATIONS 1024u

typedef struct
{
    uint32_t us[RC_SHAPE_MAX_DURATIONS]; /* pulse, space, pulse, ... */
    unsigned count;
} rc_shape;

void rc_shape_start(rc_shape* shape);

/* The frame's next duration in microseconds: pulse, space, pulse, ... */
void rc_shape_add(rc_shape* shape, uint32_t duration_us);

/* The durations kept. */
unsigned rc_shape_count(const rc_shape* shape);

/* The code of the durations taken; never 0, which the tool reads as none. */
uint32_t rc_shape_code(const rc_shape* shape);

#endif
