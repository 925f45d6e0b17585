/* The table of the decoder families, the kernel's and ours, walked for each
 * event. */
#include "rc_decoders.h"

#include <string.h>

#include "rc_record.h"
#include "rc_sysfs.h"

/* The kernel adds this to the longest least time-out of the decoders it
 * enables (rc-ir-raw.c), and waits its default with none enabled. */
#define RC_TIMEOUT_EXTRA_NS 10000000u
#define RC_KERNEL_DEFAULT_TIMEOUT_NS 125000000u
/* The kernel decoders not run here, for the time-out they add: xmp's
 * trailer space, rc-mm's longest pulse and a unit (not built in Debian's). */
#define RC_XMP_MIN_TIMEOUT_US 20000u
#define RC_RCMM_MIN_TIMEOUT_US 944u

#define RC_BIT RC_PROTO_BIT

typedef struct
{
    const char* name; /* the kernel's, in its protocols file; NULL: no kernel decoder */
    uint64_t protocols;
    uint32_t min_timeout_us;
    size_t offset; /* of the family's state in rc_decoders; SIZE_MAX: not run here */
    rc_ir_feed_fn feed;
    uint8_t resting; /* a state besides 0 that is in no frame, else 0 */
    uint8_t leader;  /* its frames begin with a leader of their own */
} rc_decoder;

#define RC_NOT_HERE ((size_t)-1)
#define RC_FAMILY(member, fn, resting, leader) offsetof(rc_decoders, member), fn, resting, leader

/* The kernel's families, then the kernel's others. One frame is one
 * protocol's, yet a loose decoder may take another's frame as well (Sony's
 * takes RC-6's leader for its own, RC-5's reads an RC-5-SZ key out of
 * JVC's and Sony's frames): of keys completed by one event the first
 * family's is taken, those with a leader of their own first, the most
 * particular leader first; the families without a kernel decoder
 * (name NULL) among them by their leaders. Those count as with a leader
 * of their own (a frame one follows to its end and does not take is one
 * of its protocol cut short) only where the kernel has the protocol: ours
 * are loose enough to follow many an unknown remote's frames. */
static const rc_decoder g_decoders[] = {
    {"nec", RC_BIT(RC_PROTO_NEC) | RC_BIT(RC_PROTO_NECX) | RC_BIT(RC_PROTO_NEC32), RC_DEC_NEC_MIN_TIMEOUT_US,
     RC_FAMILY(nec, rc_dec_nec_feed, 0, 1)},
    {"rc-6",
     RC_BIT(RC_PROTO_RC6_0) | RC_BIT(RC_PROTO_RC6_6A_20) | RC_BIT(RC_PROTO_RC6_6A_24) | RC_BIT(RC_PROTO_RC6_6A_32) |
         RC_BIT(RC_PROTO_RC6_MCE),
     RC_DEC_RC6_MIN_TIMEOUT_US, RC_FAMILY(rc6, rc_dec_rc6_feed, 0, 1)},
    {"jvc", RC_BIT(RC_PROTO_JVC), RC_DEC_JVC_MIN_TIMEOUT_US,
     RC_FAMILY(jvc, rc_dec_jvc_feed, RC_DEC_JVC_STATE_AFTER_KEY, 1)},
    {"sanyo", RC_BIT(RC_PROTO_SANYO), RC_DEC_SANYO_MIN_TIMEOUT_US, RC_FAMILY(sanyo, rc_dec_sanyo_feed, 0, 1)},
    {"mce_kbd", RC_BIT(RC_PROTO_MCIR2_KBD) | RC_BIT(RC_PROTO_MCIR2_MSE), RC_DEC_MCE_KBD_MIN_TIMEOUT_US,
     RC_FAMILY(mce_kbd, rc_dec_mce_kbd_feed, 0, 1)},
    {NULL, RC_BIT(RC_PROTO_KASEIKYO), RC_DEC_KASEIKYO_MIN_TIMEOUT_US, RC_FAMILY(kaseikyo, rc_dec_kaseikyo_feed, 0, 0)},
    {NULL, RC_BIT(RC_PROTO_SAMSUNG36), RC_DEC_SAMSUNG36_MIN_TIMEOUT_US,
     RC_FAMILY(samsung36, rc_dec_samsung36_feed, 0, 0)},
    {NULL, RC_BIT(RC_PROTO_RCA), RC_DEC_RCA_MIN_TIMEOUT_US, RC_FAMILY(rca, rc_dec_rca_feed, 0, 0)},
    {"sony", RC_BIT(RC_PROTO_SONY12) | RC_BIT(RC_PROTO_SONY15) | RC_BIT(RC_PROTO_SONY20), RC_DEC_SONY_MIN_TIMEOUT_US,
     RC_FAMILY(sony, rc_dec_sony_feed, 0, 1)},
    {"rc-5", RC_BIT(RC_PROTO_RC5) | RC_BIT(RC_PROTO_RC5X_20) | RC_BIT(RC_PROTO_RC5_SZ), RC_DEC_RC5_MIN_TIMEOUT_US,
     RC_FAMILY(rc5, rc_dec_rc5_feed, 0, 0)},
    {"sharp", RC_BIT(RC_PROTO_SHARP), RC_DEC_SHARP_MIN_TIMEOUT_US, RC_FAMILY(sharp, rc_dec_sharp_feed, 0, 0)},
    {"imon", RC_BIT(RC_PROTO_IMON), RC_DEC_IMON_MIN_TIMEOUT_US,
     RC_FAMILY(imon, rc_dec_imon_feed, RC_DEC_IMON_STATE_LOST, 0)},
    {"xmp", RC_BIT(RC_PROTO_XMP), RC_XMP_MIN_TIMEOUT_US, RC_NOT_HERE, NULL, 0, 0},
    {"rc-mm", RC_BIT(RC_PROTO_RCMM12) | RC_BIT(RC_PROTO_RCMM24) | RC_BIT(RC_PROTO_RCMM32), RC_RCMM_MIN_TIMEOUT_US,
     RC_NOT_HERE, NULL, 0, 0},
};

#define RC_DECODER_COUNT (sizeof g_decoders / sizeof g_decoders[0])

/* Every family's state begins with its state machine's state, 0 waiting. */
static int busy(const rc_decoders* decoders, size_t i)
{
    const uint8_t state = *((const uint8_t*)decoders + g_decoders[i].offset);
    return state != 0 && state != g_decoders[i].resting;
}

int rc_decoders_feed(rc_decoders* decoders, rc_ir_event event, uint32_t skip, rc_ir_key* out)
{
    rc_ir_key other;
    int family = -1;
    size_t i;
    for (i = 0; i < RC_DECODER_FAMILIES; ++i)
    {
        if ((skip & (1u << i)) == 0 &&
            g_decoders[i].feed((unsigned char*)decoders + g_decoders[i].offset, event, family >= 0 ? &other : out) &&
            family < 0)
            family = (int)i;
    }
    return family;
}

uint64_t rc_decoders_family_protocols(int family)
{
    return family >= 0 && (size_t)family < RC_DECODER_FAMILIES ? g_decoders[family].protocols : 0u;
}

uint32_t rc_decoders_busy(const rc_decoders* decoders)
{
    uint32_t families = 0;
    size_t i;
    for (i = 0; i < RC_DECODER_FAMILIES; ++i)
        if (busy(decoders, i))
            families |= 1u << i;
    return families;
}

uint32_t rc_decoders_with_leader(void)
{
    uint32_t families = 0;
    size_t i;
    for (i = 0; i < RC_DECODER_FAMILIES; ++i)
        if (g_decoders[i].leader)
            families |= 1u << i;
    return families;
}

uint32_t rc_decoders_timed_out(uint64_t silence_ns)
{
    uint32_t families = 0;
    size_t i;
    for (i = 0; i < RC_DECODER_FAMILIES; ++i)
        if (silence_ns >= (uint64_t)g_decoders[i].min_timeout_us * 1000u + RC_TIMEOUT_EXTRA_NS)
            families |= 1u << i;
    return families;
}

uint64_t rc_decoders_timeout_ns(uint64_t protocols)
{
    uint32_t longest = 0;
    size_t i;
    for (i = 0; i < RC_DECODER_COUNT; ++i)
        if ((g_decoders[i].protocols & protocols) != 0 && g_decoders[i].min_timeout_us > longest)
            longest = g_decoders[i].min_timeout_us;
    return longest == 0 ? RC_KERNEL_DEFAULT_TIMEOUT_NS : (uint64_t)longest * 1000u + RC_TIMEOUT_EXTRA_NS;
}

const char* rc_decoder_name(uint16_t proto)
{
    size_t i;
    if (proto == RC_PROTO_RC5_SZ)
        return "rc-5-sz"; /* a decoder of its own in the protocols file */
    for (i = 0; i < RC_DECODER_FAMILIES; ++i)
        if ((g_decoders[i].protocols & RC_BIT(proto)) != 0)
            return g_decoders[i].name;
    return NULL;
}

const char* rc_protocol_name(uint16_t proto)
{
    switch (proto)
    {
    case RC_PROTO_NEC:
        return "NEC";
    case RC_PROTO_NECX:
        return "NEC-X";
    case RC_PROTO_NEC32:
        return "32-bit NEC";
    case RC_PROTO_RC5:
        return "RC-5";
    case RC_PROTO_RC5X_20:
        return "RC-5X-20";
    case RC_PROTO_RC5_SZ:
        return "RC-5-SZ";
    case RC_PROTO_RC6_0:
        return "RC-6 mode 0";
    case RC_PROTO_RC6_6A_20:
        return "RC-6 6A-20";
    case RC_PROTO_RC6_6A_24:
        return "RC-6 6A-24";
    case RC_PROTO_RC6_6A_32:
        return "RC-6 6A-32";
    case RC_PROTO_RC6_MCE:
        return "RC-6 MCE";
    case RC_PROTO_JVC:
        return "JVC";
    case RC_PROTO_SONY12:
        return "Sony 12-bit";
    case RC_PROTO_SONY15:
        return "Sony 15-bit";
    case RC_PROTO_SONY20:
        return "Sony 20-bit";
    case RC_PROTO_SANYO:
        return "Sanyo";
    case RC_PROTO_SHARP:
        return "Sharp";
    case RC_PROTO_MCIR2_KBD:
        return "MCE keyboard";
    case RC_PROTO_MCIR2_MSE:
        return "MCE mouse";
    case RC_PROTO_IMON:
        return "iMON";
    case RC_PROTO_KASEIKYO:
        return "Kaseikyo";
    case RC_PROTO_SAMSUNG36:
        return "Samsung36";
    case RC_PROTO_RCA:
        return "RCA";
    default:
        return NULL;
    }
}

/* The protocols of one enabled name of the file; rc-5 is the kernel's name
 * for RC-5 and RC-5X-20, rc-5-sz a decoder name of its own. */
static uint64_t protocols_of(const char* name, size_t len)
{
    size_t i;
    if (len == 7 && memcmp(name, "rc-5-sz", 7) == 0)
        return RC_BIT(RC_PROTO_RC5_SZ);
    for (i = 0; i < RC_DECODER_COUNT; ++i)
    {
        if (g_decoders[i].name != NULL && strlen(g_decoders[i].name) == len &&
            memcmp(g_decoders[i].name, name, len) == 0)
            return g_decoders[i].protocols & ~RC_BIT(RC_PROTO_RC5_SZ);
    }
    return 0;
}

uint64_t rc_parse_enabled_protocols(const char* text, size_t len)
{
    uint64_t protocols = 0;
    size_t at = 0;
    const char* word;
    size_t word_len;
    int enabled;
    while (rc_next_decoder(text, len, &at, &word, &word_len, &enabled))
        if (enabled)
            protocols |= protocols_of(word, word_len);
    return protocols;
}
