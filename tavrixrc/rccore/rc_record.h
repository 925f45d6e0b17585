/* The records the receiver library reads: the kernel's decoded scancodes
 * (LIRC_MODE_SCANCODE) and, from an input event node, its scancode events.
 * Decoding is pure: bytes in, records out, so that tests and the fuzz target
 * call it directly. */
#ifndef TAVRIXRC_RC_RECORD_H
#define TAVRIXRC_RC_RECORD_H

#include <stddef.h>
#include <stdint.h>

/* One scancode record of a lirc node, in host byte order:
 *   u64 timestamp (CLOCK_MONOTONIC, ns), u16 flags, u16 rc_proto,
 *   u32 keycode, u64 scancode. */
#define RC_RECORD_SIZE 24u
#define RC_FLAG_TOGGLE 1u
#define RC_FLAG_REPEAT 2u
/* Ours, from an input event node: its key (keycode) went down or up. */
#define RC_FLAG_KEY_DOWN 0x100u
#define RC_FLAG_KEY_UP 0x200u

/* The kernel's rc_proto values (its lirc uapi header numbers them). */
enum
{
    RC_PROTO_UNKNOWN = 0,
    RC_PROTO_OTHER = 1,
    RC_PROTO_RC5 = 2,
    RC_PROTO_RC5X_20 = 3,
    RC_PROTO_RC5_SZ = 4,
    RC_PROTO_JVC = 5,
    RC_PROTO_SONY12 = 6,
    RC_PROTO_SONY15 = 7,
    RC_PROTO_SONY20 = 8,
    RC_PROTO_NEC = 9,
    RC_PROTO_NECX = 10,
    RC_PROTO_NEC32 = 11,
    RC_PROTO_SANYO = 12,
    RC_PROTO_MCIR2_KBD = 13,
    RC_PROTO_MCIR2_MSE = 14,
    RC_PROTO_RC6_0 = 15,
    RC_PROTO_RC6_6A_20 = 16,
    RC_PROTO_RC6_6A_24 = 17,
    RC_PROTO_RC6_6A_32 = 18,
    RC_PROTO_RC6_MCE = 19,
    RC_PROTO_SHARP = 20,
    RC_PROTO_XMP = 21,
    RC_PROTO_CEC = 22,
    RC_PROTO_IMON = 23,
    RC_PROTO_RCMM12 = 24,
    RC_PROTO_RCMM24 = 25,
    RC_PROTO_RCMM32 = 26,
    RC_PROTO_XBOX_DVD = 27
};

/* Protocols decoded here that no kernel decoder gives, numbered by us, never
 * by the kernel: far above its last so that a new one of its own cannot
 * meet them, and under 64 so that each is a bit of a protocol set. */
enum
{
    RC_PROTO_KASEIKYO = 60,
    RC_PROTO_SAMSUNG36 = 61,
    RC_PROTO_RCA = 62
};

/* An input event: struct timeval (two longs), u16 type, u16 code, s32 value.
 * EV_MSC / MSC_SCAN events carry a scancode; EV_KEY events the kernel's own
 * press (1), autorepeat (2) and release (0) of the key it is mapped to. */
#define RC_EVENT_SIZE (2u * sizeof(long) + 8u)
#define RC_EV_KEY 0x01u
#define RC_EV_MSC 0x04u
#define RC_MSC_SCAN 0x04u

typedef struct
{
    uint64_t timestamp_ns;
    uint16_t flags;
    uint16_t proto;
    uint32_t keycode;
    uint64_t scancode;
} rc_record;

/* Decodes the whole records at the start of bytes, at most max of them, and
 * returns how many. Bytes past the last whole record are never decoded. */
size_t rc_decode_scancodes(const unsigned char* bytes, size_t len, rc_record* out, size_t max);

/* The same for input events: each scancode event gives a record without a
 * protocol (RC_PROTO_UNKNOWN) or flags, each key event one with its keycode
 * and RC_FLAG_KEY_DOWN or RC_FLAG_KEY_UP; other events are passed over. */
size_t rc_decode_events(const unsigned char* bytes, size_t len, rc_record* out, size_t max);

#endif
