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
    uint64_t cuts[RC_KINDS][2]; /* where bi-phase, the tops of one and two units */
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
 * and two units rather than the short ones alone: pulses are k units plus
 * the bias, spaces k units less it. */
static int refine_biphase(const rc_reading* reading, uint64_t* unit, uint32_t* bias_us)
{
    int64_t mean_us[RC_KINDS];
    int64_t units[RC_KINDS]; /* in hundredths */
    int64_t bias;
    unsigned kind;
    for (kind = 0; kind < RC_KINDS; ++kind)
    {
        const rc_classes* classes = &reading->kind[kind];
        const unsigned n = classes->n[0] + classes->n[1];
        const uint64_t sum = classes->sum[0] + classes->sum[1];
        if (n == 0)
            return 0;
        /* the sums are of durations with the bias taken out: put it back */
        mean_us[kind] = (int64_t)(sum / n) + (kind == RC_PULSE ? (int64_t)*bias_us : -(int64_t)*bias_us);
        units[kind] = (int64_t)(100u * (classes->n[0] + 2u * classes->n[1]) / n);
    }
    *unit = (uint64_t)((mean_us[RC_PULSE] + mean_us[RC_SPACE]) * 100 / (units[RC_PULSE] + units[RC_SPACE]));
    bias = mean_us[RC_PULSE] - (int64_t)*unit * units[RC_PULSE] / 100;
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
    uint64_t unit;
    for (kind = 0; kind < RC_KINDS; ++kind)
        sort_kind(shape, kind, &reading->sorted[kind]);
    reading->bias_us = bias_of(reading);
    reading->biphase = 0;
    for (kind = 0; kind < RC_KINDS; ++kind)
        class_kind(&reading->sorted[kind], kind, reading->bias_us, 0, 0, &reading->kind[kind]);
    if (reading->kind[RC_PULSE].classes == 0 || reading->kind[RC_SPACE].classes == 0)
        return;
    /* bi-phase has pulses and spaces of one unit alike: the unit of both */
    unit = (reading->kind[RC_PULSE].sum[0] + reading->kind[RC_SPACE].sum[0]) /
           (reading->kind[RC_PULSE].n[0] + reading->kind[RC_SPACE].n[0]);
    for (kind = 0; kind < RC_KINDS; ++kind)
        if (!has_two_units(&reading->sorted[kind], kind, reading->bias_us, unit))
            return;
    reading->biphase = 1;
    cut_biphase(shape, reading, unit);
    if (refine_biphase(reading, &unit, &reading->bias_us))
        cut_biphase(shape, reading, unit);
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
    unsigned c = 0;
    unsigned below = 0;
    if (reading->biphase)
    {
        if (us <= reading->cuts[kind][1])
            return class_of(classes, us);
        c = 2;
    }
    for (; c < classes->classes; ++c)
    {
        if (classes->n[c] == 0)
            continue;
        if (us * RC_LEADER_GAP_NUM >= classes->low[c] * RC_LEADER_GAP_DEN &&
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
    {
        const unsigned kind = at % 2u;
        const uint64_t us = unbiased(shape->us[at], kind, reading.bias_us);
        const unsigned c = at < 2u ? leader_class(&reading, kind, us) : class_of(&reading.kind[kind], us);
        hash = mix(hash, kind << 7 | c);
    }
    return hash != 0 ? hash : 1u;
}
