/* A frame's shape: its durations in classes, hashed.
 *
 * A remote's durations are each off by up to 10-15%, and a receiver adds a
 * bias of its own: its demodulator lengthens every pulse, and shortens
 * every space, by up to about 150 us. Bias is the larger fault for short
 * units (a 444 us space less 150 us is a third short) and it works the two
 * kinds opposite ways, so the bias is taken out first and the kinds are
 * classed apart. */
#include "rc_shape.h"

#define RC_FNV_OFFSET 2166136261u
#define RC_FNV_PRIME 16777619u

enum
{
    RC_PULSE = 0,
    RC_SPACE = 1,
    RC_KINDS = 2
};

/* The bias a receiver may have, and what is taken off before it is known:
 * half of it, so that the error is at most 75 us either way. */
#define RC_BIAS_MAX_US 150u
#define RC_BIAS_GUESS_US 75u

/* A kind's durations, in order of length, fall into classes where one is
 * more than 1.4 times the one before. Durations of one length off by 15%
 * are at most 1.35 apart, so a class never breaks up however few it holds;
 * lengths 2:1 apart leave a gap of at least 1.7/1.15 = 1.48. Lengths nearer
 * than 1.4 make one class where the shorter are many (they fill their own
 * spread), as a leader's space 4:3 above the data's (Kaseikyo's) does. */
#define RC_GAP_NUM 7u
#define RC_GAP_DEN 5u

/* Bi-phase frames also hold three units (RC-6's double-width trailer bit
 * beside a data half), only 1.5 times two: too near for a gap to show when
 * the two are few. There the unit is known from many durations, and
 * lengths are read in units: one up to 1.40 units (between the 15% long of
 * one and the 15% short of two), two up to a gap from 2.1 to 2.8 units
 * (the 15% long of two is 2.3, the 15% short of three 2.55). */
#define RC_BIPHASE_ONE_PCT 140u
#define RC_BIPHASE_TWO_PCT 242u /* what tells a frame bi-phase: two units up to here */
#define RC_TWO_FROM_PCT 210u
#define RC_TWO_TO_PCT 280u

/* A leader's gap to the data's classes (see leader_class). */
#define RC_LEADER_GAP_NUM 29u
#define RC_LEADER_GAP_DEN 20u

/* Pulses' unit against spaces': longer past 1.15, shorter under 0.85. */
#define RC_LONGER_PCT 115u
#define RC_SHORTER_PCT 85u

/* More classes than lengths 1.4 apart make from 1 us to the kernel's
 * 24-bit longest; the last class takes whatever is left. */
#define RC_MAX_CLASSES 32u

#define RC_KIND_MAX (RC_SHAPE_MAX_DURATIONS / 2u)

typedef struct
{
    unsigned count;
    uint32_t us[RC_KIND_MAX]; /* shortest first */
} rc_sorted;

typedef struct
{
    unsigned classes;
    uint64_t low[RC_MAX_CLASSES]; /* a class's shortest duration */
    uint64_t top[RC_MAX_CLASSES]; /* its longest */
    uint64_t sum[RC_MAX_CLASSES];
    unsigned n[RC_MAX_CLASSES];
} rc_classes;

typedef struct
{
    rc_sorted sorted[RC_KINDS];
    uint32_t bias_us;
    int biphase;
    uint64_t unit;              /* of the shortest pulses and spaces both, 0 for none */
    uint64_t cuts[RC_KINDS][2]; /* the tops of one and two units (as bi-phase has them) */
    rc_classes kind[RC_KINDS];
} rc_reading;

void rc_shape_start(rc_shape* shape)
{
    shape->count = 0;
}

void rc_shape_add(rc_shape* shape, uint32_t duration_us)
{
    if (shape->count < RC_SHAPE_MAX_DURATIONS)
        shape->us[shape->count++] = duration_us;
}

unsigned rc_shape_count(const rc_shape* shape)
{
    return shape->count;
}

/* A duration with the receiver's bias taken out; never 0, so that ratios
 * hold. Taking it out keeps the order of a kind's durations. */
static uint64_t unbiased(uint32_t us, unsigned kind, uint32_t bias_us)
{
    if (kind == RC_SPACE)
        return (uint64_t)us + bias_us;
    return us > bias_us ? us - bias_us : 1u;
}

/* A kind's data durations (the leader, the first pulse and space, aside),
 * by Shell sort (Ciura's gaps): bounded, in place, no allocation. */
static void sort_kind(const rc_shape* shape, unsigned kind, rc_sorted* out)
{
    static const unsigned gaps[] = {301u, 132u, 57u, 23u, 10u, 4u, 1u};
    unsigned g;
    unsigned at;
    out->count = 0;
    for (at = kind + 2u; at < shape->count; at += 2u)
        out->us[out->count++] = shape->us[at];
    for (g = 0; g < sizeof gaps / sizeof gaps[0]; ++g)
    {
        const unsigned gap = gaps[g];
        unsigned i;
        for (i = gap; i < out->count; ++i)
        {
            const uint32_t us = out->us[i];
            unsigned j = i;
            while (j >= gap && out->us[j - gap] > us)
            {
                out->us[j] = out->us[j - gap];
                j -= gap;
            }
            out->us[j] = us;
        }
    }
}

static unsigned class_of(const rc_classes* classes, uint64_t us)
{
    unsigned c = 0;
    while (c + 1u < classes->classes && us > classes->top[c])
        ++c;
    return c;
}

static uint64_t mean(const rc_classes* classes, unsigned c)
{
    return classes->n[c] != 0 ? classes->sum[c] / classes->n[c] : 0u;
}

/* A kind's classes, shortest first. Where there are cuts (ascending),
 * each ends a class, empty or not, and only the durations past the last are
 * classed by their gaps. */
static void class_kind(const rc_sorted* sorted, unsigned kind, uint32_t bias_us, const uint64_t* cuts, unsigned ncuts,
                       rc_classes* out)
{
    uint64_t before = 0;
    unsigned i;
    for (i = 0; i < ncuts; ++i)
    {
        out->low[i] = i == 0 ? 1u : cuts[i - 1u] + 1u;
        out->top[i] = cuts[i];
        out->sum[i] = 0;
        out->n[i] = 0;
    }
    out->classes = ncuts;
    for (i = 0; i < sorted->count; ++i)
    {
        const uint64_t us = unbiased(sorted->us[i], kind, bias_us);
        unsigned c;
        if (ncuts != 0 && us <= cuts[ncuts - 1u])
            c = class_of(out, us);
        else
        {
            const int starts = out->classes == ncuts || us * RC_GAP_DEN > before * RC_GAP_NUM;
            if (starts && out->classes < RC_MAX_CLASSES)
            {
                out->low[out->classes] = us;
                out->sum[out->classes] = 0;
                out->n[out->classes] = 0;
                ++out->classes;
            }
            c = out->classes - 1u;
            out->top[c] = us;
            before = us;
        }
        out->sum[c] += us;
        ++out->n[c];
    }
}

/* The receiver's bias, taken from the shortest pulses against the shortest
 * spaces: nearly every coding has them of one unit, so what parts them is
 * the bias twice. Where a coding has them apart, the bias is wrong by a
 * constant, the same for every press, and held to what a receiver does. */
static uint32_t bias_of(const rc_reading* reading)
{
    rc_classes guess[RC_KINDS];
    int64_t twice;
    unsigned kind;
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        if (reading->sorted[kind].count == 0)
            return RC_BIAS_GUESS_US;
        class_kind(&reading->sorted[kind], kind, RC_BIAS_GUESS_US, 0, 0, &guess[kind]);
    }
    twice = (int64_t)mean(&guess[RC_PULSE], 0) - (int64_t)mean(&guess[RC_SPACE], 0) + 2 * (int64_t)RC_BIAS_GUESS_US;
    if (twice <= 0)
        return 0;
    return twice >= 2 * (int64_t)RC_BIAS_MAX_US ? RC_BIAS_MAX_US : (uint32_t)(twice / 2);
}

/* Whether a kind's data has durations of two units. */
static int has_two_units(const rc_sorted* sorted, unsigned kind, uint32_t bias_us, uint64_t unit)
{
    unsigned i;
    for (i = 0; i < sorted->count; ++i)
    {
        const uint64_t us = unbiased(sorted->us[i], kind, bias_us) * 100u;
        if (us > unit * RC_BIPHASE_ONE_PCT && us <= unit * RC_BIPHASE_TWO_PCT)
            return 1;
    }
    return 0;
}

/* The unit and the bias of a bi-phase frame, from all its durations of one
 * and two units rather than the short ones alone: the pulses' sum is their
 * units' times the unit plus their count times the bias, the spaces' the
 * same less it. */
static int refine_biphase(const rc_reading* reading, uint64_t* unit, uint32_t* bias_us)
{
    int64_t sum[RC_KINDS];
    int64_t n[RC_KINDS];
    int64_t units[RC_KINDS];
    int64_t bias;
    unsigned kind;
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        const rc_classes* classes = &reading->kind[kind];
        n[kind] = (int64_t)classes->n[0] + classes->n[1];
        units[kind] = (int64_t)classes->n[0] + 2 * (int64_t)classes->n[1];
        /* the sums are of durations with the bias taken out: put it back */
        sum[kind] =
            (int64_t)(classes->sum[0] + classes->sum[1]) + (kind == RC_PULSE ? 1 : -1) * (int64_t)*bias_us * n[kind];
        if (n[kind] == 0)
            return 0;
    }
    *unit = (uint64_t)((sum[RC_PULSE] * n[RC_SPACE] + sum[RC_SPACE] * n[RC_PULSE]) /
                       (units[RC_PULSE] * n[RC_SPACE] + units[RC_SPACE] * n[RC_PULSE]));
    bias = (sum[RC_PULSE] - (int64_t)*unit * units[RC_PULSE]) / n[RC_PULSE];
    *bias_us = bias <= 0 ? 0u : bias >= (int64_t)RC_BIAS_MAX_US ? RC_BIAS_MAX_US : (uint32_t)bias;
    return 1;
}

/* The widest gap so far between durations taken in order of length. */
typedef struct
{
    uint64_t before;
    uint64_t lo;
    uint64_t hi;
} rc_gap;

static void gap_take(rc_gap* gap, uint64_t us)
{
    if (us * gap->lo > gap->hi * gap->before)
    {
        gap->lo = gap->before;
        gap->hi = us;
    }
    gap->before = us;
}

/* Where two units end in a kind: in the widest gap between its durations
 * (its leader's with them: RC-6's leader space is of two units) from 2.1
 * to 2.8 units, its ends counted, so that a frame without three units
 * (RC-5) keeps its two units together however long they come. */
static uint64_t two_units_top(const rc_sorted* sorted, unsigned kind, uint32_t bias_us, uint64_t unit, uint64_t leader)
{
    const uint64_t lo = unit * RC_TWO_FROM_PCT / 100u;
    const uint64_t hi = unit * RC_TWO_TO_PCT / 100u;
    rc_gap gap;
    int leader_due = leader > lo && leader < hi;
    unsigned i;
    gap.before = lo;
    gap.lo = lo;
    gap.hi = lo;
    for (i = 0; i < sorted->count; ++i)
    {
        const uint64_t us = unbiased(sorted->us[i], kind, bias_us);
        if (us <= lo)
            continue;
        if (us >= hi)
            break;
        if (leader_due && leader <= us)
        {
            gap_take(&gap, leader);
            leader_due = 0;
        }
        gap_take(&gap, us);
    }
    if (leader_due)
        gap_take(&gap, leader);
    gap_take(&gap, hi);
    return gap.lo;
}

static void cut_biphase(const rc_shape* shape, rc_reading* reading, uint64_t unit)
{
    unsigned kind;
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        uint64_t* cuts = reading->cuts[kind];
        const uint64_t leader = shape->count > kind ? unbiased(shape->us[kind], kind, reading->bias_us) : 0u;
        cuts[0] = unit * RC_BIPHASE_ONE_PCT / 100u;
        cuts[1] = two_units_top(&reading->sorted[kind], kind, reading->bias_us, unit, leader);
        class_kind(&reading->sorted[kind], kind, reading->bias_us, cuts, 2, &reading->kind[kind]);
    }
}

static void read_frame(const rc_shape* shape, rc_reading* reading)
{
    unsigned kind;
    for (kind = 0; kind < RC_KINDS; ++kind)
        sort_kind(shape, kind, &reading->sorted[kind]);
    reading->bias_us = bias_of(reading);
    reading->biphase = 0;
    reading->unit = 0;
    for (kind = 0; kind < RC_KINDS; ++kind)
        class_kind(&reading->sorted[kind], kind, reading->bias_us, 0, 0, &reading->kind[kind]);
    if (reading->kind[RC_PULSE].classes == 0 || reading->kind[RC_SPACE].classes == 0)
        return;
    /* bi-phase has pulses and spaces of one unit alike: the unit of both */
    reading->unit = (reading->kind[RC_PULSE].sum[0] + reading->kind[RC_SPACE].sum[0]) /
                    (reading->kind[RC_PULSE].n[0] + reading->kind[RC_SPACE].n[0]);
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        reading->cuts[kind][0] = reading->unit * RC_BIPHASE_ONE_PCT / 100u;
        reading->cuts[kind][1] = reading->unit * RC_BIPHASE_TWO_PCT / 100u;
    }
    for (kind = 0; kind < RC_KINDS; ++kind)
        if (!has_two_units(&reading->sorted[kind], kind, reading->bias_us, reading->unit))
            return;
    reading->biphase = 1;
    cut_biphase(shape, reading, reading->unit);
    if (refine_biphase(reading, &reading->unit, &reading->bias_us))
        cut_biphase(shape, reading, reading->unit);
}

/* A leader's class: the data's class it would join were its gap to them
 * 1.45 rather than 1.4 (and never one it would bridge), else one of its
 * own. A leader stands alone at the top of its kind, where the gap to the
 * data's longest depends on how long that came: a leader 4:3 above the
 * data's longest length (Kaseikyo's space) is one with them once any of
 * theirs came 1.2% long or more at 10% off; one 2:1 above (Sony's pulse,
 * RC-6's against three units) stays apart at 15%. */
static unsigned leader_class(const rc_reading* reading, unsigned kind, uint64_t us)
{
    const rc_classes* classes = &reading->kind[kind];
    unsigned first = 0;
    unsigned below = 0;
    unsigned c;
    if (reading->biphase)
    {
        if (us <= reading->cuts[kind][1])
            return class_of(classes, us);
        first = 2;
    }
    for (c = 0; c < classes->classes; ++c)
    {
        if (classes->n[c] == 0)
            continue;
        if (c >= first && us * RC_LEADER_GAP_NUM >= classes->low[c] * RC_LEADER_GAP_DEN &&
            us * RC_LEADER_GAP_DEN <= classes->top[c] * RC_LEADER_GAP_NUM)
            return c;
        if (classes->top[c] < us)
            ++below;
    }
    return RC_MAX_CLASSES + below;
}

static unsigned classes_held(const rc_classes* classes)
{
    unsigned held = 0;
    unsigned c;
    for (c = 0; c < classes->classes; ++c)
        if (classes->n[c] != 0)
            ++held;
    return held;
}

/* How the kinds' shortest classes compare: -1, 0 or 1 for pulses shorter,
 * about as long, longer. Classes alone do not part a frame whose data
 * durations of a kind are all of one length from its mirror image, all of
 * the other (Sony's 0/0 against 31/127); their unit against the other
 * kind's does. The bias taken out makes the two alike in most codings;
 * where it cannot (it is held to 150 us), pulse distance all long comes at
 * 0.76 at most (2:1, 500 us pulses, a receiver of 150 us), pulse width all
 * long at 1.4 at least (2:1 on a receiver without bias): the bounds sit
 * between those and 1. Only there: where a kind has two classes the
 * classes part the frames, and the comparison would add but its own
 * doubt. */
static int kinds_compared(const rc_reading* reading)
{
    uint64_t pulse;
    uint64_t space;
    if (reading->biphase || reading->sorted[RC_PULSE].count == 0 || reading->sorted[RC_SPACE].count == 0)
        return 0;
    if (classes_held(&reading->kind[RC_PULSE]) > 1u || classes_held(&reading->kind[RC_SPACE]) > 1u)
        return 0;
    pulse = mean(&reading->kind[RC_PULSE], 0);
    space = mean(&reading->kind[RC_SPACE], 0);
    if (pulse * 100u > space * RC_LONGER_PCT)
        return 1;
    if (pulse * 100u < space * RC_SHORTER_PCT)
        return -1;
    return 0;
}

/* The class of the frame's duration at. */
static unsigned class_at(const rc_shape* shape, const rc_reading* reading, unsigned at)
{
    const unsigned kind = at % 2u;
    const uint64_t us = unbiased(shape->us[at], kind, reading->bias_us);
    return at < 2u ? leader_class(reading, kind, us) : class_of(&reading->kind[kind], us);
}

static uint32_t mix(uint32_t hash, unsigned byte)
{
    return (hash ^ (byte & 0xFFu)) * RC_FNV_PRIME;
}

uint32_t rc_shape_code(const rc_shape* shape)
{
    rc_reading reading;
    uint32_t hash = RC_FNV_OFFSET;
    unsigned at;
    read_frame(shape, &reading);
    hash = mix(hash, (unsigned)(kinds_compared(&reading) + 1));
    for (at = 0; at < shape->count; ++at)
        hash = mix(hash, (at % 2u) << 7 | class_at(shape, &reading, at));
    return hash != 0 ? hash : 1u;
}

/* The line, cut to its room and NUL-terminated whatever was put. */
typedef struct
{
    char* out;
    size_t room;
    size_t len;
} rc_line;

static void put_char(rc_line* line, char c)
{
    if (line->len + 1u < line->room)
    {
        line->out[line->len++] = c;
        line->out[line->len] = '\0';
    }
}

static void put_text(rc_line* line, const char* text)
{
    for (; *text != '\0'; ++text)
        put_char(line, *text);
}

static void put_number(rc_line* line, uint64_t value)
{
    char digits[20];
    unsigned n = 0;
    do
    {
        digits[n++] = (char)('0' + value % 10u);
        value /= 10u;
    } while (value != 0);
    while (n != 0)
        put_char(line, digits[--n]);
}

/* A duration measured once: two figures are what it holds 10% off. */
static uint64_t rounded(uint64_t us)
{
    const uint64_t step = us >= 1000u ? 100u : 10u;
    return (us + step / 2u) / step * step;
}

/* A frame's bits, in the order received. Bi-phase gives at most one a
 * duration, and one more for the idle line around it. */
#define RC_BITS_MAX (RC_SHAPE_MAX_DURATIONS + 1u)

typedef struct
{
    unsigned count;
    unsigned char bit[(RC_BITS_MAX + 7u) / 8u];
} rc_bits;

static void add_bit(rc_bits* bits, int one)
{
    const unsigned char mask = (unsigned char)(0x80u >> bits->count % 8u);
    if (bits->count >= RC_BITS_MAX)
        return;
    if (one)
        bits->bit[bits->count / 8u] |= mask;
    else
        bits->bit[bits->count / 8u] &= (unsigned char)~mask;
    ++bits->count;
}

/* "N bits 0x...", the first bit the most significant. */
static void put_bits(rc_line* line, const rc_bits* bits)
{
    static const char hex[] = "0123456789ABCDEF";
    unsigned group = bits->count % 4u != 0 ? bits->count % 4u : 4u;
    unsigned nibble = 0;
    unsigned in_nibble = 0;
    unsigned i;
    put_number(line, bits->count);
    put_text(line, bits->count == 1 ? " bit" : " bits");
    if (bits->count != 0)
        put_text(line, " 0x");
    for (i = 0; i < bits->count; ++i)
    {
        nibble = nibble << 1 | ((bits->bit[i / 8u] >> (7u - i % 8u)) & 1u);
        if (++in_nibble == group)
        {
            put_char(line, hex[nibble]);
            nibble = 0;
            in_nibble = 0;
            group = 4;
        }
    }
}

/* Whether the frame's first pulse is a leader: of a class of its own,
 * longer than the data's. */
static int has_leader(const rc_shape* shape, const rc_reading* reading)
{
    unsigned c;
    if (shape->count < 2u || reading->sorted[RC_PULSE].count == 0)
        return 0;
    c = class_at(shape, reading, 0);
    return c >= RC_MAX_CLASSES && c - RC_MAX_CLASSES == classes_held(&reading->kind[RC_PULSE]);
}

/* The data classes of a kind from first on: how many (3 standing for more,
 * or for a class of its own among them), the shortest and the longest. */
static unsigned data_classes(const rc_shape* shape, const rc_reading* reading, unsigned first, unsigned kind,
                             unsigned* shortest, unsigned* longest)
{
    unsigned held = 0;
    unsigned at;
    for (at = first + kind; at < shape->count; at += 2u)
    {
        const unsigned c = class_at(shape, reading, at);
        if (c >= RC_MAX_CLASSES)
            return 3;
        if (held == 0)
        {
            *shortest = c;
            *longest = c;
            held = 1;
        }
        else if (c != *shortest && c != *longest)
        {
            if (held == 2)
                return 3;
            if (c < *shortest)
                *shortest = c;
            else
                *longest = c;
            held = 2;
        }
    }
    return held;
}

/* How many units a duration is, as bi-phase has them: 1, 2, or 0 for
 * neither. */
static unsigned units_at(const rc_shape* shape, const rc_reading* reading, unsigned at)
{
    const unsigned kind = at % 2u;
    const uint64_t us = unbiased(shape->us[at], kind, reading->bias_us);
    if (us <= reading->cuts[kind][0])
        return 1;
    return us <= reading->cuts[kind][1] ? 2u : 0u;
}

/* A bi-phase frame's bits from first on, its half-bits paired: a space
 * then a pulse is 1 and a pulse then a space 0, as RC-5 has them (RC-6
 * has them the other way). The frame may start mid-bit, the bit's first
 * half being the idle line (RC-5's start bit does), and it may end so.
 * Gives where the reading stopped: the frame's count if it read it all. */
static unsigned read_biphase(const rc_shape* shape, const rc_reading* reading, unsigned first, int idle_before,
                             rc_bits* bits)
{
    int half_due = idle_before; /* a pair's first half, waiting for its second */
    int half_pulse = 0;
    unsigned at;
    bits->count = 0;
    for (at = first; at < shape->count; ++at)
    {
        const int pulse = at % 2u == RC_PULSE;
        unsigned halves = units_at(shape, reading, at);
        if (halves == 0)
            return at;
        for (; halves != 0; --halves)
        {
            if (!half_due)
            {
                half_due = 1;
                half_pulse = pulse;
            }
            else if (half_pulse == pulse)
                return at;
            else
            {
                add_bit(bits, !half_pulse);
                half_due = 0;
            }
        }
    }
    if (half_due && !half_pulse)
        return shape->count - 1u;
    if (half_due)
        add_bit(bits, 0);
    return at;
}

/* The reading of the two (with an idle half before the first or not) that
 * reads the frame to its end, or the further: one without a leader first
 * taken to start mid-bit, as RC-5 does. */
static unsigned read_biphase_best(const rc_shape* shape, const rc_reading* reading, unsigned first, int leader,
                                  rc_bits* bits)
{
    rc_bits other;
    const unsigned read = read_biphase(shape, reading, first, !leader, bits);
    unsigned other_read;
    if (read == shape->count)
        return read;
    other_read = read_biphase(shape, reading, first, leader, &other);
    if (other_read <= read)
        return read;
    *bits = other;
    return other_read;
}

static void put_leader(rc_line* line, const rc_shape* shape, const rc_reading* reading)
{
    put_text(line, ", leader ");
    put_number(line, rounded(unbiased(shape->us[RC_PULSE], RC_PULSE, reading->bias_us)));
    put_char(line, '/');
    put_number(line, rounded(unbiased(shape->us[RC_SPACE], RC_SPACE, reading->bias_us)));
    put_text(line, " us");
}

static void put_unit(rc_line* line, const char* coding, uint64_t unit)
{
    put_text(line, coding);
    put_text(line, ", unit ");
    put_number(line, unit);
    put_text(line, " us");
}

static void put_range(rc_line* line, const rc_shape* shape, const rc_reading* reading, unsigned kind)
{
    uint64_t lo = UINT64_MAX;
    uint64_t hi = 0;
    unsigned at;
    for (at = kind; at < shape->count; at += 2u)
    {
        const uint64_t us = unbiased(shape->us[at], kind, reading->bias_us);
        lo = us < lo ? us : lo;
        hi = us > hi ? us : hi;
    }
    if (hi == 0)
        return;
    put_text(line, kind == RC_PULSE ? ", pulses " : ", spaces ");
    put_number(line, rounded(lo));
    if (rounded(hi) != rounded(lo))
    {
        put_char(line, '-');
        put_number(line, rounded(hi));
    }
    put_text(line, " us");
}

size_t rc_shape_describe(const rc_shape* shape, char* out, size_t out_len)
{
    rc_reading reading;
    rc_bits bits;
    rc_line line;
    int leader;
    unsigned first;
    unsigned held[RC_KINDS];
    unsigned shortest[RC_KINDS] = {0, 0};
    unsigned longest[RC_KINDS] = {0, 0};
    unsigned kind;
    unsigned at;
    line.out = out;
    line.room = out_len;
    line.len = 0;
    if (out_len == 0)
        return 0;
    out[0] = '\0';
    read_frame(shape, &reading);
    leader = has_leader(shape, &reading);
    first = leader ? 2u : 0u;
    bits.count = 0;
    if (reading.unit != 0 &&
        (reading.biphase || (!leader && read_biphase_best(shape, &reading, first, leader, &bits) == shape->count)))
    {
        const unsigned read = read_biphase_best(shape, &reading, first, leader, &bits);
        put_unit(&line, "bi-phase", reading.unit);
        if (leader)
            put_leader(&line, shape, &reading);
        put_text(&line, ", ");
        put_bits(&line, &bits);
        if (read < shape->count)
        {
            put_text(&line, ", then ");
            put_number(&line, shape->count - read);
            put_text(&line, " durations unread");
        }
        return line.len;
    }
    bits.count = 0;
    for (kind = 0; kind < RC_KINDS; ++kind)
        held[kind] = data_classes(shape, &reading, first, kind, &shortest[kind], &longest[kind]);
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        /* the bits in the kind of two classes, the other of one */
        const unsigned other = kind ^ 1u;
        if (held[kind] != 2 || held[other] != 1)
            continue;
        for (at = first + kind; at < shape->count; at += 2u)
            add_bit(&bits, class_at(shape, &reading, at) == longest[kind]);
        put_unit(&line, kind == RC_SPACE ? "pulse distance" : "pulse width", mean(&reading.kind[kind], shortest[kind]));
        if (leader)
            put_leader(&line, shape, &reading);
        put_text(&line, ", ");
        put_bits(&line, &bits);
        return line.len;
    }
    put_text(&line, "unknown coding, ");
    put_number(&line, shape->count);
    put_text(&line, shape->count == 1 ? " duration" : " durations");
    put_range(&line, shape, &reading, RC_PULSE);
    put_range(&line, shape, &reading, RC_SPACE);
    return line.len;
}
