/* The kernel's decoders, run here: the frames a receiver hands out raw go
 * through every family's decoder as the kernel's raw event thread would put
 * them (with each family enabled), so that a protocol the kernel is not
 * decoding still shows the scancode its decoder would give. After them, in
 * the same way, decoders of common protocols the kernel has none for
 * (Kaseikyo, Samsung36, RCA), numbered by us (rc_record.h). Pure. */
#ifndef TAVRIXRC_RC_DECODERS_H
#define TAVRIXRC_RC_DECODERS_H

#include <stddef.h>
#include <stdint.h>

#include "rc_dec_imon.h"
#include "rc_dec_jvc.h"
#include "rc_dec_kaseikyo.h"
#include "rc_dec_mce_kbd.h"
#include "rc_dec_nec.h"
#include "rc_dec_rc5.h"
#include "rc_dec_rc6.h"
#include "rc_dec_rca.h"
#include "rc_dec_samsung36.h"
#include "rc_dec_sanyo.h"
#include "rc_dec_sharp.h"
#include "rc_dec_sony.h"
#include "rc_ir.h"

/* Every family's state; all zero is every decoder waiting for a frame. */
typedef struct
{
    rc_dec_nec nec;
    rc_dec_rc5 rc5;
    rc_dec_rc6 rc6;
    rc_dec_jvc jvc;
    rc_dec_sony sony;
    rc_dec_sanyo sanyo;
    rc_dec_sharp sharp;
    rc_dec_mce_kbd mce_kbd;
    rc_dec_imon imon;
    rc_dec_kaseikyo kaseikyo;
    rc_dec_samsung36 samsung36;
    rc_dec_rca rca;
} rc_decoders;

/* How many families there are: bit i of a family set is the i-th. */
#define RC_DECODER_FAMILIES 12u

/* Feeds the event to every family not in skip. The family that completed a
 * key (the first, when several did; families are in order of precedence,
 * the most particular first), its key in *out; -1 when none did. */
int rc_decoders_feed(rc_decoders* decoders, rc_ir_event event, uint32_t skip, rc_ir_key* out);

/* The protocols family i gives (RC_PROTO_BIT()s). */
uint64_t rc_decoders_family_protocols(int family);

/* The families in the middle of a frame. */
uint32_t rc_decoders_busy(const rc_decoders* decoders);

/* The families whose frames begin with a leader of their own (a frame that
 * one of them follows from its first pulse is of its protocol); RC-5's,
 * Sharp's and iMON's begin with their bits, which many a frame resembles,
 * and those the kernel has no decoder for are left out too. */
uint32_t rc_decoders_with_leader(void);

/* The families the kernel would have told of a silence this long: its
 * time-out with only that family enabled (its least plus 10 ms) has passed. */
uint32_t rc_decoders_timed_out(uint64_t silence_ns);

/* The receiver's time-out the kernel sets with the protocols of the set
 * enabled (RC_PROTO_BIT()s), as it sets it when they change; its default
 * with none. */
uint64_t rc_decoders_timeout_ns(uint64_t protocols);

/* The protocols file's name of the kernel decoder that gives proto
 * ("nec", "rc-5-sz"), NULL for one the kernel has no decoder for; and the
 * protocol's own name ("NEC-X"), NULL for a protocol no decoder here
 * gives. */
const char* rc_decoder_name(uint16_t proto);
const char* rc_protocol_name(uint16_t proto);

/* The protocols a protocols file's text enables ("rc-5 [nec] [rc-6]"), as a
 * set of RC_PROTO_BIT()s. */
uint64_t rc_parse_enabled_protocols(const char* text, size_t len);

#endif
