/* The shape of an IR frame no decoder took, as a 32-bit code: the same for
 * every press of a key whatever the remote's timing jitter, different for
 * two keys. Each duration is compared with the one two before it (a pulse
 * with a pulse, a space with a space): shorter, about equal or longer; that
 * sequence is hashed (FNV-1a). Pure, so that tests call it directly. */
#ifndef TAVRIXRC_RC_SHAPE_H
#define TAVRIXRC_RC_SHAPE_H

#include <stdint.h>

typedef struct
{
    uint32_t hash;
    uint32_t before[2]; /* the last two durations, the older first */
    unsigned count;     /* durations taken */
} rc_shape;

void rc_shape_start(rc_shape* shape);

/* The frame's next duration in microseconds: pulse, space, pulse, ... */
void rc_shape_add(rc_shape* shape, uint32_t duration_us);

/* The code of the durations taken; never 0, which the tool reads as none. */
uint32_t rc_shape_code(const rc_shape* shape);

#include <stddef.h>
size_t rc_shape_describe(const rc_shape* shape, char* out, size_t out_len);

#endif
