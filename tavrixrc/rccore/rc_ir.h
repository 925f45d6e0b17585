/* Raw IR as the kernel's decoders take it, and what a decoder makes of it.
 * Each protocol family's decoder is a small state machine of its own
 * (rc_dec_<family>.c), fed one duration at a time exactly as the kernel
 * feeds its decoder of that family, with every variant of the family
 * enabled. Pure: no clock, no allocation, no I/O. */
#ifndef TAVRIXRC_RC_IR_H
#define TAVRIXRC_RC_IR_H

#include <stdint.h>

/* One duration, as the kernel's struct ir_raw_event carries it to a
 * decoder: a pulse or a space; the receiver's time-out report is a space
 * with timeout set; overflow (samples lost) has no duration, and every
 * decoder starts over on it. */
typedef struct
{
    uint32_t duration_us;
    uint8_t pulse;
    uint8_t timeout;
    uint8_t overflow;
} rc_ir_event;

/* A decoder's verdict, as the kernel's rc_keydown(proto, scancode, toggle)
 * or, with repeat set, its rc_repeat (the last key again: proto and
 * scancode are then not set). */
typedef struct
{
    uint16_t proto; /* RC_PROTO_* (rc_record.h) */
    uint8_t toggle;
    uint8_t repeat;
    uint64_t scancode;
} rc_ir_key;

/* Each family's feed: 1 when the event completes a key (out set), else 0. */
typedef int (*rc_ir_feed_fn)(void* state, rc_ir_event event, rc_ir_key* out);

/* The kernel's rc_proto as a bit of a protocol set (its RC_PROTO_BIT_*). */
#define RC_PROTO_BIT(proto) ((uint64_t)1u << (proto))

#endif
