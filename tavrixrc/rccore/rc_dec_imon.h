/* The protocol of SoundGraph's iMON remotes, decoded as the kernel's
 * ir-imon-decoder does, its stick's keyboard mode included: while that mode
 * is on, the stick's moves come as the arrow keys' scancodes. Nothing marks
 * a frame's end, so a frame cut short after a pulse reads, as in the
 * kernel, as one whose remaining low bits are all set. */
#ifndef TAVRIXRC_RC_DEC_IMON_H
#define TAVRIXRC_RC_DEC_IMON_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's handler asks for at least a whole frame's length (30 bits
 * of two units of 416 us) before a time-out. */
#define RC_DEC_IMON_MIN_TIMEOUT_US 24960u

/* All zero: waiting for a frame's first pulse, the stick in mouse mode. */
/* Its state after a frame it could not read, waiting for a long space:
 * in no frame. */
#define RC_DEC_IMON_STATE_LOST 4u

typedef struct
{
    uint8_t state;
    uint8_t last_check;     /* the pulse of the current bit's check unit */
    uint8_t stick_keyboard; /* the stick's keyboard mode, flipped by its key */
    int count;              /* the bit being read, from 30 down */
    uint32_t bits;
} rc_dec_imon;

int rc_dec_imon_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
