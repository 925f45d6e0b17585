/* Key state from the record timestamps. */
#include "rc_key.h"

#include "rc_frame.h"

unsigned rc_repeat_period_ms(uint16_t proto)
{
    switch (proto)
    {
    case RC_PROTO_NEC:
    case RC_PROTO_NECX:
    case RC_PROTO_NEC32:
        return 110;
    case RC_PROTO_RC5:
    case RC_PROTO_RC5X_20:
    case RC_PROTO_RC5_SZ:
    case RC_PROTO_RC6_0:
    case RC_PROTO_RC6_6A_20:
    case RC_PROTO_RC6_6A_24:
    case RC_PROTO_RC6_6A_32:
    case RC_PROTO_RC6_MCE:
    case RC_PROTO_IMON:
    case RC_PROTO_RCMM12:
    case RC_PROTO_RCMM24:
    case RC_PROTO_RCMM32:
        return 114;
    case RC_PROTO_SONY12:
    case RC_PROTO_SONY15:
    case RC_PROTO_SONY20:
    case RC_PROTO_MCIR2_KBD:
    case RC_PROTO_MCIR2_MSE:
        return 100;
    case RC_PROTO_XBOX_DVD:
        return 64;
    /* Ours, the kernel having no decoder for them: the longest frame's
     * period (a frame of 1s), and a tenth more for a slow remote. */
    case RC_PROTO_KASEIKYO: /* 378 units of 432 us */
        return 180;
    case RC_PROTO_SAMSUNG36: /* 108 ms */
        return 120;
    case RC_PROTO_RCA: /* 153 units of 460 us */
        return 78;
    default:
        /* jvc, sanyo, sharp, xmp; and, for protocols whose period we do not
         * know, the longest, so a key is never dropped between repeats */
        return 125;
    }
}

static uint64_t keyup_at(const rc_key* key)
{
    const uint64_t at = key->last_ns + key->keyup_ns;
    return at < key->last_ns ? UINT64_MAX : at;
}

/* A mapped key whose release was lost (an input node that overflowed drops
 * events) is let go this long past the time its scancodes allow. */
#define RC_LOST_RELEASE_NS 1000000000u

int rc_key_is_down(const rc_key* key, uint64_t now_ns)
{
    const uint64_t at = keyup_at(key);
    if (!key->pressed)
        return 0;
    if (key->by_keycode)
        return at > UINT64_MAX - RC_LOST_RELEASE_NS || now_ns < at + RC_LOST_RELEASE_NS;
    return now_ns < at;
}

static void feed_key_event(rc_key* key, const rc_record* record)
{
    if ((record->flags & RC_FLAG_KEY_UP) != 0)
    {
        if (key->by_keycode && record->keycode == key->keycode)
            key->pressed = 0;
        return;
    }
    if (key->pressed && !key->by_keycode && record->timestamp_ns == key->last_ns)
    {
        key->by_keycode = 1;
        key->keycode = record->keycode;
    }
}

/* The key's latest record: it is up a repeat period and the time-out after. */
static void stamp(rc_key* key, const rc_record* record, uint64_t timeout_ns)
{
    key->last_ns = record->timestamp_ns;
    key->keyup_ns = (uint64_t)rc_repeat_period_ms(record->proto) * 1000000u + timeout_ns;
}

void rc_key_feed(rc_key* key, const rc_record* record, uint64_t timeout_ns)
{
    const int same = key->pressed && record->proto == key->proto && record->scancode == key->scancode;
    if ((record->flags & (RC_FLAG_KEY_DOWN | RC_FLAG_KEY_UP)) != 0)
    {
        feed_key_event(key, record);
        return;
    }
    if ((record->flags & RC_FLAG_REPEAT) != 0)
    {
        /* A repeat only keeps a key that is still down; like the kernel,
         * a late one does not press it again. The kernel counts the key-up
         * from it with the time-out as it is then. Its scancode is the last
         * the kernel decoded, which may be another key's, or none (0) when
         * a decoder was enabled during a hold: such a repeat presses
         * nothing. */
        if (same && rc_key_is_down(key, record->timestamp_ns) && record->timestamp_ns > key->last_ns)
            stamp(key, record, timeout_ns);
        return;
    }
    /* The kernel's scancode events of a mapped key held down come without
     * a key event: the key stays its to release. */
    key->by_keycode = same && key->by_keycode;
    key->pressed = 1;
    key->proto = record->proto;
    key->scancode = record->scancode;
    stamp(key, record, timeout_ns);
}

int rc_key_code(const rc_key* key, uint64_t now_ns)
{
    return rc_key_is_down(key, now_ns) ? rc_frame_code(key->proto, key->scancode) : RC_NO_CODE;
}

uint32_t rc_key_code_ex(const rc_key* key, uint64_t now_ns)
{
    return rc_key_is_down(key, now_ns) ? rc_frame_code_ex(key->proto, key->scancode) : RC_NO_CODE_EX;
}
