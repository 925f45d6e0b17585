/* NEC remotes, decoded as the kernel's NEC decoder (ir-nec-decoder) does:
 * 32 bits sent low bit first after a 9 ms header (or NEC-X's 4.5 ms one),
 * read as plain NEC, NEC-X or 32-bit NEC by which of its two bytes are the
 * inverse of the byte before; a 2.25 ms header space is the repeat code,
 * and after a NEC-X key its repeat is a header, one bit and a long space. */
#ifndef TAVRIXRC_RC_DEC_NEC_H
#define TAVRIXRC_RC_DEC_NEC_H

#include <stdint.h>

#include "rc_ir.h"

/* The shortest receiver time-out the kernel allows this decoder: a key ends
 * on its trailer space, which the time-out report must not cut short. */
#define RC_DEC_NEC_MIN_TIMEOUT_US 5630u

typedef struct
{
    uint8_t state;
    uint8_t necx;        /* the frame under way began with NEC-X's header */
    uint8_t necx_repeat; /* a NEC-X key came last, its short repeat may follow */
    unsigned count;      /* bits taken */
    uint32_t bits;       /* the first bit taken highest */
} rc_dec_nec;

int rc_dec_nec_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
