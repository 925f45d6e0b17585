/* Raw IR: the decoders fed, the frames cut, and the two keys they give. */
#include "rc_raw.h"

#include <string.h>

#include "rc_record.h"

/* Fewer pulses than any protocol's frame are no key of their own (a repeat
 * code has two, a flash of light a few): they keep a held key held but
 * press none. */
#define RC_RAW_MIN_PULSES 6u
/* The longest a reading is taken to come after the one before (a poll). */
#define RC_RAW_POLL_NS 20000000u
/* The shortest gap between frames: shorter than any remote's (Sony's
 * longest frames leave 6 ms), longer than a space in any frame but its
 * leader's; a longer leader or data space makes the gap longer (below). */
#define RC_RAW_MIN_GAP_US 5000u
/* How long after its end a sample may come: the kernel hands an
 * edge-driven receiver's samples out in batches 15 ms apart, a USB receiver
 * in packets a few ms apart, and a busy machine's raw thread may stall
 * longer. A silence is only taken as known this much after the last
 * sample's reading; should the space still turn out shorter, the decoders
 * are taken back to where they were before they were told of it. */
#define RC_RAW_LATENCY_NS 40000000u
/* No remote's frame is longer (NEC's, the longest, takes 68 ms): a longer
 * run of pulses is noise, and no key. */
#define RC_RAW_MAX_FRAME_US 250000u

void rc_raw_start(rc_raw* raw)
{
    memset(raw, 0, sizeof *raw);
    raw->keyed_family = -1;
    raw->offered_family = -1;
}

static uint64_t later(uint64_t a, uint64_t b)
{
    return a > b ? a : b;
}

/* When a sample read at read_ns is taken to have come. */
static uint64_t came(const rc_raw* raw, uint64_t read_ns)
{
    uint64_t since;
    if (raw->polled_ns == 0 || raw->polled_ns > read_ns)
        return read_ns;
    since = read_ns - raw->polled_ns;
    return read_ns - (since < RC_RAW_POLL_NS ? since : RC_RAW_POLL_NS) / 2u;
}

void rc_raw_polled(rc_raw* raw, uint64_t read_ns)
{
    raw->polled_ns = read_ns;
}

/* A space this long ends the frame coming in: three times its longest
 * space, three quarters of its longest pulse (a leader's), or the least. */
static uint64_t gap_us(const rc_raw* raw)
{
    uint64_t gap = RC_RAW_MIN_GAP_US;
    gap = later(gap, 3u * (uint64_t)raw->longest_space_us);
    return later(gap, (uint64_t)raw->longest_pulse_us * 3u / 4u);
}

/* The frame's end as its samples tell it. */
static uint64_t frame_end(const rc_raw* raw)
{
    return later(raw->last_ns, raw->first_ns + raw->rest_us * 1000u);
}

/* ---- the key of the scancodes decoded here ---- */

static void took(rc_raw* raw)
{
    raw->decoded = raw->in_frame || raw->decoded;
    raw->ended.decoded = 1;
    raw->pressed = 0;
}

/* A decoder's key, its frame done at moment_ns (told of a silence, when
 * the kernel would have told it: its time-out after the silence began).
 * The kernel's repeat is of the last key decoded; one with none before
 * presses nothing. A protocol the kernel decodes is its to show. */
static void key_came(rc_raw* raw, const rc_ir_key* key, uint64_t moment_ns)
{
    rc_record record;
    took(raw);
    if (key->repeat)
    {
        if (!raw->have_last)
            return;
        record.flags = RC_FLAG_REPEAT | (raw->last_toggle ? RC_FLAG_TOGGLE : 0u);
    }
    else
    {
        raw->have_last = 1;
        raw->last_proto = key->proto;
        raw->last_scancode = key->scancode;
        raw->last_toggle = key->toggle;
        record.flags = key->toggle ? RC_FLAG_TOGGLE : 0u;
    }
    record.proto = raw->last_proto;
    record.timestamp_ns = moment_ns;
    record.keycode = 0;
    record.scancode = raw->last_scancode;
    if ((raw->kernel_protocols & RC_PROTO_BIT(record.proto)) != 0)
        return;
    /* Up as the kernel's key would be with this decoder added to those
     * enabled: its time-out is the kernel's for that set. */
    rc_key_feed(&raw->key, &record, rc_decoders_timeout_ns(raw->kernel_protocols | RC_PROTO_BIT(record.proto)));
    if (rc_key_is_down(&raw->key, moment_ns))
        raw->decoded_here |= RC_PROTO_BIT(record.proto);
}

/* A key of a family waits while one that takes precedence is still in
 * the frame: a loose decoder may read a key of another protocol's frame
 * before that protocol's own decoder, told of the silence later, reads the
 * true one. Once one family has given the frame's key, one with less
 * precedence gives none. */
static void offer(rc_raw* raw, const rc_ir_key* key, int family, uint64_t moment_ns)
{
    if ((raw->keyed_family >= 0 && raw->keyed_family < family) ||
        (raw->offered_family >= 0 && raw->offered_family < family))
        return;
    raw->offered = *key;
    raw->offered_family = family;
    raw->offered_ns = moment_ns;
}

static void take_offered(rc_raw* raw)
{
    if (raw->offered_family < 0 || (rc_decoders_busy(&raw->decoders) & ((1u << raw->offered_family) - 1u)) != 0)
        return;
    raw->keyed_family = raw->offered_family;
    raw->offered_family = -1;
    key_came(raw, &raw->offered, raw->offered_ns);
}

static void feed(rc_raw* raw, rc_ir_event event, uint32_t skip, uint64_t moment_ns, int silence)
{
    rc_ir_key key;
    const int family = rc_decoders_feed(&raw->decoders, event, skip, &key);
    if (family >= 0)
        offer(raw, &key, family,
              moment_ns + (silence ? rc_decoders_timeout_ns(rc_decoders_family_protocols(family)) : 0u));
    take_offered(raw);
}

/* Tells the families due, not yet told, of the silence under way (event);
 * the decoders as they were before are kept, should it turn out shorter. */
static void tell_silence(rc_raw* raw, rc_ir_event event, uint32_t due, uint64_t moment_ns, int silence)
{
    due &= ~raw->told_silence;
    if (due == 0)
        return;
    if (raw->told_silence == 0)
    {
        raw->before_silence = raw->decoders;
        raw->told_us = 0;
    }
    raw->told_silence |= due;
    if (event.duration_us > raw->told_us)
        raw->told_us = event.duration_us;
    feed(raw, event, ~due, moment_ns, silence);
}

/* A sample came: the silence the decoders were told of is over. A space
 * shorter than they were told was no silence: they take it afresh. */
static void heard(rc_raw* raw, rc_ir_event event, uint64_t came_ns)
{
    uint32_t told = event.pulse ? 0u : raw->told_silence;
    if (told != 0 && !event.timeout && !event.overflow && event.duration_us < raw->told_us)
    {
        raw->decoders = raw->before_silence;
        told = 0;
    }
    feed(raw, event, told, came_ns, 0);
    raw->told_silence = 0;
    raw->quiet = 0;
}

/* ---- frames of no known protocol ---- */

static int same_leader(const rc_raw_kind* a, const rc_raw_kind* b)
{
    const uint32_t p = a->pulse_us > b->pulse_us ? a->pulse_us : b->pulse_us;
    const uint32_t s = a->space_us > b->space_us ? a->space_us : b->space_us;
    const uint32_t dp = a->pulse_us > b->pulse_us ? a->pulse_us - b->pulse_us : b->pulse_us - a->pulse_us;
    const uint32_t ds = a->space_us > b->space_us ? a->space_us - b->space_us : b->space_us - a->space_us;
    return p > 0 && (uint64_t)dp * 4u <= p && (uint64_t)ds * 4u <= s;
}

/* A frame of a kind seen whole before, with fewer durations and shorter:
 * cut off (a pulse-distance frame's length, a bi-phase frame's count of
 * durations vary with its bits, never both). Else it is remembered. */
static int cut_off(rc_raw* raw, const rc_raw_kind* frame)
{
    rc_raw_kind* kind;
    unsigned i;
    for (i = 0; i < RC_RAW_KINDS; ++i)
    {
        kind = &raw->kinds[i];
        if (kind->count == 0 || !same_leader(kind, frame))
            continue;
        if (frame->count < kind->count && frame->length_us * 10u < kind->length_us * 9u)
            return 1;
        kind->count = frame->count > kind->count ? frame->count : kind->count;
        kind->length_us = later(kind->length_us, frame->length_us);
        return 0;
    }
    raw->kinds[raw->next_kind] = *frame;
    raw->next_kind = (raw->next_kind + 1u) % RC_RAW_KINDS;
    return 0;
}

/* A frame that presses nothing keeps a held key held. */
static void keep(rc_raw* raw, uint64_t end_ns)
{
    if (raw->pressed && raw->keyup_ns > end_ns)
        raw->keyup_ns = later(raw->keyup_ns, end_ns + RC_RAW_HOLD_NS);
}

static void show(rc_raw* raw, const rc_raw_ended* frame)
{
    /* A frame of another kind while a key is held is its repeat frame (a
     * remote may repeat with frames of their own): the key stays as it is. */
    if (raw->pressed && raw->keyup_ns > frame->end_ns && raw->code != frame->code &&
        !same_leader(&raw->code_kind, &frame->kind))
    {
        keep(raw, frame->end_ns);
        return;
    }
    raw->pressed = 1;
    raw->code = frame->code;
    raw->code_kind = frame->kind;
    raw->keyup_ns = frame->end_ns + RC_RAW_HOLD_NS;
    if (raw->shown < RC_RAW_SHOWN_TO_TELL)
        ++raw->shown;
}

/* The waiting frame, once no decoder that was in its middle still is. */
static void decide(rc_raw* raw, uint64_t now_ns, int force)
{
    rc_raw_ended* frame = &raw->ended;
    if (!frame->waiting)
        return;
    if (!force && (frame->busy != 0 || now_ns < frame->ended_ns + RC_RAW_DECODER_WAIT_NS))
        return;
    frame->waiting = 0;
    /* One that a decoder followed to its end and then did not take is a
     * frame of its protocol cut short or spoilt: no key either. */
    if (!frame->decoded && !frame->followed)
        show(raw, frame);
}

static void end_frame(rc_raw* raw, uint64_t end_ns, uint64_t now_ns)
{
    rc_raw_kind kind;
    raw->in_frame = 0;
    kind.pulse_us = raw->first_pulse_us;
    kind.space_us = raw->first_space_us;
    kind.count = raw->shape.count;
    kind.length_us = raw->rest_us;
    if (raw->decoded)
    {
        (void)cut_off(raw, &kind);
        return;
    }
    if (raw->rest_us > RC_RAW_MAX_FRAME_US || raw->shape.count >= RC_SHAPE_MAX_DURATIONS)
        return;
    if (raw->pulses < RC_RAW_MIN_PULSES || cut_off(raw, &kind))
    {
        keep(raw, end_ns);
        return;
    }
    decide(raw, now_ns, 1);
    raw->ended.waiting = 1;
    raw->ended.decoded = 0;
    raw->ended.code = rc_shape_code(&raw->shape);
    raw->ended.end_ns = end_ns;
    raw->ended.ended_ns = now_ns;
    raw->ended.kind = kind;
    raw->ended.busy = rc_decoders_busy(&raw->decoders);
    raw->ended.followed = raw->following != 0;
    if (raw->shown < RC_RAW_SHOWN_TO_TELL)
        raw->shown_shape = raw->shape;
}

static void frame_pulse(rc_raw* raw, uint32_t us, uint64_t came_ns)
{
    if (raw->skipping)
        return;
    if (!raw->in_frame)
    {
        raw->in_frame = 1;
        raw->decoded = 0;
        raw->pulses = 0;
        raw->space_us = 0;
        raw->longest_space_us = 0;
        raw->longest_pulse_us = 0;
        raw->first_pulse_us = us;
        raw->first_space_us = 0;
        raw->first_ns = came_ns;
        raw->rest_us = 0;
        rc_shape_start(&raw->shape);
        rc_shape_add(&raw->shape, us);
        raw->keyed_family = -1;
        raw->following = rc_decoders_busy(&raw->decoders) & rc_decoders_with_leader();
    }
    else
    {
        if (raw->first_space_us == 0)
            raw->first_space_us = raw->space_us;
        rc_shape_add(&raw->shape, raw->space_us);
        rc_shape_add(&raw->shape, us);
        raw->rest_us += (uint64_t)raw->space_us + us;
        if (raw->space_us > raw->longest_space_us)
            raw->longest_space_us = raw->space_us;
        raw->space_us = 0;
        raw->following &= rc_decoders_busy(&raw->decoders);
    }
    if (us > raw->longest_pulse_us)
        raw->longest_pulse_us = us;
    raw->last_ns = came_ns;
    ++raw->pulses;
}

/* A space, ending at came_ns: inside the frame, or the gap after it. */
static void frame_space(rc_raw* raw, uint32_t us, uint64_t came_ns)
{
    const uint64_t us_ns = (uint64_t)us * 1000u;
    if (raw->skipping)
    {
        raw->skipping = us >= RC_RAW_MIN_GAP_US ? 0 : 1;
        return;
    }
    if (!raw->in_frame)
        return;
    if ((uint64_t)raw->space_us + us >= gap_us(raw))
    {
        end_frame(raw, later(came_ns > us_ns ? came_ns - us_ns : 0, frame_end(raw)), came_ns);
        return;
    }
    raw->space_us += us;
}

/* ---- samples ---- */

void rc_raw_sample(rc_raw* raw, uint32_t sample, uint64_t read_ns)
{
    const uint32_t us = RC_RAW_VALUE(sample);
    const uint64_t came_ns = came(raw, read_ns);
    const uint64_t us_ns = (uint64_t)us * 1000u;
    rc_ir_event event = {0, 0, 0, 0};
    event.duration_us = us;
    switch (RC_RAW_KIND(sample))
    {
    case RC_RAW_PULSE:
        event.pulse = 1;
        raw->after_timeout = 0;
        heard(raw, event, came_ns);
        frame_pulse(raw, us, came_ns);
        raw->quiet = 1;
        raw->quiet_from_ns = later(raw->in_frame ? frame_end(raw) : came_ns, read_ns + RC_RAW_LATENCY_NS);
        break;
    case RC_RAW_SPACE:
        if (raw->after_timeout)
        {
            /* lirc's own gap after a time-out report, the rest of the
             * silence: the decoders not yet told of it hear it whole */
            const uint64_t whole = (uint64_t)raw->timeout_us + us;
            event.duration_us = whole > RC_RAW_VALUE(~0u) ? RC_RAW_VALUE(~0u) : (uint32_t)whole;
            raw->after_timeout = 0;
        }
        heard(raw, event, came_ns);
        frame_space(raw, us, came_ns);
        break;
    case RC_RAW_TIMEOUT:
        /* Told to the decoders whose own kernel time-out it covers: the
         * kernel, had it enabled one, would have waited that long. A
         * shorter one (the receiver's, cut short by other decoders) would
         * split a frame from its echo (Sharp's comes 40 ms after it). */
        event.timeout = 1;
        tell_silence(raw, event, rc_decoders_timed_out((uint64_t)us * 1000u), came_ns, 0);
        raw->after_timeout = 1;
        raw->timeout_us = us;
        raw->skipping = 0;
        if (raw->in_frame)
            end_frame(raw, later(came_ns > us_ns ? came_ns - us_ns : 0, frame_end(raw)), came_ns);
        break;
    case RC_RAW_OVERFLOW:
        /* samples were lost: what came of the frame, and what comes of it
         * up to its gap, is no frame */
        event.overflow = 1;
        heard(raw, event, came_ns);
        raw->in_frame = 0;
        raw->skipping = 1;
        break;
    default:
        break;
    }
    raw->ended.busy &= rc_decoders_busy(&raw->decoders);
}

void rc_raw_decoded(rc_raw* raw)
{
    took(raw);
}

void rc_raw_settle(rc_raw* raw, uint64_t now_ns)
{
    /* A silence under way since the last pulse, no sample of it yet: each
     * decoder is told once its time-out has passed, the frame ends at its
     * gap. */
    if (raw->quiet && now_ns > raw->quiet_from_ns)
    {
        const uint64_t silence = now_ns - raw->quiet_from_ns;
        rc_ir_event event = {0, 0, 1, 0};
        event.duration_us = silence / 1000u > RC_RAW_VALUE(~0u) ? RC_RAW_VALUE(~0u) : (uint32_t)(silence / 1000u);
        tell_silence(raw, event, rc_decoders_timed_out(silence), raw->quiet_from_ns, 1);
        if (raw->in_frame && silence >= gap_us(raw) * 1000u)
            end_frame(raw, raw->quiet_from_ns, now_ns);
    }
    raw->ended.busy &= rc_decoders_busy(&raw->decoders);
    decide(raw, now_ns, 0);
}

uint32_t rc_raw_code_ex(const rc_raw* raw, uint64_t now_ns)
{
    return raw->pressed && now_ns < raw->keyup_ns ? raw->code : 0u;
}
