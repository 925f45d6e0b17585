/* The MCE remote keyboard's own protocol (MCIR-2: its keys and its mouse),
 * decoded as the kernel's ir-mce_kbd-decoder does. The kernel hands lirc
 * these frames' scancodes (RC_PROTO_MCIR2_KBD, RC_PROTO_MCIR2_MSE) without
 * a keydown, so never with a toggle or a repeat; the keys and mouse moves
 * it makes of them on the input device are not this decoder's. The
 * keyboard's media keys send RC-6, the RC-6 decoder's. */
#ifndef TAVRIXRC_RC_DEC_MCE_KBD_H
#define TAVRIXRC_RC_DEC_MCE_KBD_H

#include <stdint.h>

#include "rc_ir.h"

/* The kernel's handler asks for a time-out past the longest duration a
 * frame holds: three units of 333 us and half a unit more. */
#define RC_DEC_MCE_KBD_MIN_TIMEOUT_US 1165u

/* All zero: waiting for the leader's long pulse. */
typedef struct
{
    uint8_t state;
    uint8_t header;
    unsigned count;
    unsigned wanted_bits;
    uint32_t body;
} rc_dec_mce_kbd;

int rc_dec_mce_kbd_feed(void* state, rc_ir_event event, rc_ir_key* out);

#endif
