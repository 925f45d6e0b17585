/* Sharp remotes, decoded as the kernel's Sharp decoder (ir-sharp-decoder)
 * does: no header, 15 bits high first as the length of a pulse and its
 * space together (2 ms a 1, 1 ms a 0): 5 of address, 8 of command, an
 * expansion and a check bit; then 40 ms later the echo, the same with the
 * command and the last two bits inverted. The first frame's last two bits
 * must be 1,0 or Denon's 0,0; the key comes at the echo's end. */
#ifndef TAVRIXRC_RC_DEC_SHARP_H
#define TAVRIXRC_RC_DEC_SHARP_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's shortest time-out for Sharp: the longest gap before the
 * echo, which the time-out report must not cut. */
#define RC_DEC_SHARP_MIN_TIMEOUT_US 50000u

typedef struct
{
    uint8_t state;
    unsigned count;     /* bits taken, over both frames */
    uint32_t bits;      /* the first bit taken highest */
    uint32_t pulse_len; /* the pulse before the space under way */
} rc_dec_sharp;

int rc_dec_sharp_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
