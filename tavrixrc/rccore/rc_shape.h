/* The shape of an IR frame no decoder took, as a 32-bit code: the same for
 * every press of a key whatever the remote's timing jitter and the
 * receiver's bias, different for two keys. Pulses and spaces are each
 * sorted into classes of about one length (short, long, longer, ...), and
 * the sequence of (kind, class) is hashed (FNV-1a). Pure, so that tests
 * call it directly. */
#ifndef TAVRIXRC_RC_SHAPE_H
#define TAVRIXRC_RC_SHAPE_H

#include <stddef.h>
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

/* The frame's coding as far as it can be read, in one line for the user to
 * look the protocol up by, its figures with the receiver's bias taken out:
 *   "pulse distance, unit 560 us, leader 9000/4500 us, 32 bits 0x20DF10EF"
 *   (pulses of one class, spaces of two: a long space is 1),
 *   "pulse width, unit 600 us, leader 2400/600 us, 12 bits 0x095"
 *   (spaces of one class, pulses of two: a long pulse is 1),
 *   "bi-phase, unit 889 us, 14 bits 0x3175" (durations of one and two
 *   units; a space then a pulse is 1, as RC-5 has it; what does not read
 *   so ends the bits, ", then N durations unread"), else
 *   "unknown coding, 37 durations, pulses 600-1800 us, spaces 400-9000 us".
 * A leader is a first pulse of a class of its own, longer than the data's,
 * and the space after it; its figures and the ranges are rounded (10 us,
 * 100 us from 1000 us), the unit is the mean of the short class. Bits come
 * in the order received, the first the most significant. The line is cut
 * to out_len, NUL-terminated if out_len is not 0; gives its length. */
size_t rc_shape_describe(const rc_shape* shape, char* out, size_t out_len);

#endif
