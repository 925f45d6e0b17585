/* TavrixRC.dll for Linux: the tuner cards are the kernel's rc devices, read
 * through their lirc nodes in scancode mode (or their input event nodes).
 *
 * Environment, the library's own:
 *   TAVRIXRC_RC_SYSFS  where the rc devices are listed (default /sys/class/rc)
 *   TAVRIXRC_RC_DEV    where their nodes are (default /dev)
 *   TAVRIXRC_RC_LOG    a file that gets one line per call, as the simulated
 *                      card writes it
 *   TAVRIXRC_RC_RULES  where the package's udev rule is looked for (default:
 *                      udev's rule directories)
 *
 * A card that cannot be read is refused with one line on standard error
 * saying why; a display that draws on that terminal shows such lines under
 * its dialog, and again once it is gone.
 * There are no threads here; calls are expected one at a time. */
#include "../tavrixrc_common.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include "rc_access.h"
#include "rc_frame.h"
#include "rc_node.h"

#define RC_DEFAULT_SYSFS "/sys/class/rc"
#define RC_DEFAULT_DEV "/dev"

typedef struct
{
    int rc_index;
    rc_node node;
    int told_raw;          /* the user knows of frames no decoder takes */
    uint64_t told_decoded; /* ... and of these protocols, decoded here */
} rc_open_card;

static int* g_devices; /* rc indexes of the cards, in card order */
static size_t g_device_count;
static rc_open_card* g_open; /* every node opened since the last UnInit */
static size_t g_open_count;
static size_t g_current; /* the one the codes are read from: the last to open */
static int g_have_current;
static int g_code_read;         /* the last call was GetRemoteCode ... */
static uint64_t g_code_read_at; /* ... made then (CLOCK_MONOTONIC) */
static uint64_t g_code_moment;  /* ... answering for this moment of the records' clock */

/* Within this of GetRemoteCode, GetRemoteCodeEx is taken as its pair. */
#define RC_PAIR_NS 15000000u

static const char* root(const char* name, const char* fallback)
{
    const char* value = getenv(name);
    return value != NULL && value[0] != '\0' ? value : fallback;
}

static const char* log_path(void)
{
    return getenv("TAVRIXRC_RC_LOG");
}

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
static void
tell_user(const char* format, ...)
{
    /* One write of the whole line, and only when standard error takes it at
     * once: a pipe nobody reads must not hold GetRemoteCode. */
    char line[1024]; /* within PIPE_BUF: a pipe that polls writable takes it whole */
    struct pollfd err;
    va_list args;
    int len = snprintf(line, sizeof line, "TavrixRC.dll: ");
    va_start(args, format);
    len += vsnprintf(line + len, sizeof line - (size_t)len - 1, format, args);
    va_end(args);
    if (len > (int)sizeof line - 2)
        len = (int)sizeof line - 2;
    line[len++] = '\n';
    err.fd = STDERR_FILENO;
    err.events = POLLOUT;
    err.revents = 0;
    if (poll(&err, 1, 0) == 1 && (err.revents & POLLOUT) != 0)
    {
        const ssize_t written = write(STDERR_FILENO, line, (size_t)len);
        (void)written; /* a line that cannot be written is lost, never waited for */
    }
}

static void enumerate(void)
{
    free(g_devices);
    g_devices = rc_list_devices(root("TAVRIXRC_RC_SYSFS", RC_DEFAULT_SYSFS), &g_device_count);
}

/* Device rcN's protocols file, its first line into text, its path into
 * path; the parse of the decoders it enables (rc_parse_decoders), or -2
 * when it cannot be read. */
static int read_protocols(int rc_index, char* path, size_t path_len, char* text, size_t text_len)
{
    long len;
    snprintf(path, path_len, "%s/rc%d/protocols", root("TAVRIXRC_RC_SYSFS", RC_DEFAULT_SYSFS), rc_index);
    len = rc_read_text(path, text, text_len);
    if (len < 0)
        return -2;
    text[strcspn(text, "\n")] = '\0';
    return rc_parse_decoders(text, strlen(text));
}

/* A receiver with no decoder enabled and no raw IR reads nothing at all.
 * Said only then: a card that decodes some protocol may well be decoding
 * the user's remote, and one with raw IR is decoded here. The command adds
 * NEC and keeps what is enabled. */
static void check_protocols(int rc_index, const rc_node* node)
{
    char path[RC_PATH_MAX];
    char text[1024];
    if (node->raw_fd < 0 && read_protocols(rc_index, path, sizeof path, text, sizeof text) == 0)
        tell_user("rc%d: no IR decoder is enabled (protocols: %s), so no key is decoded; to add NEC, keeping the "
                  "others: echo +nec | sudo tee %s (or your remote's protocol from the list instead of nec)",
                  rc_index, text, path);
}

/* Said once a protocol: its keys are shown, decoded here, and the one step
 * that has the kernel decode them (keeping what it decodes); for a protocol
 * the kernel has no decoder for, that there is no such step, so that the
 * user does not look for one. */
static void tell_decoded(rc_open_card* card, uint16_t proto)
{
    char path[RC_PATH_MAX];
    char text[1024];
    if (rc_decoder_name(proto) == NULL)
    {
        tell_user("rc%d: %s frames come, which the kernel has no decoder for; their codes are decoded here",
                  card->rc_index, rc_protocol_name(proto));
        return;
    }
    if (read_protocols(card->rc_index, path, sizeof path, text, sizeof text) < -1)
        text[0] = '\0';
    tell_user("rc%d: %s frames come, which the kernel is not decoding (protocols: %s); their codes are decoded "
              "here as the kernel's %s decoder would. For the kernel to decode them: echo +%s | sudo tee %s",
              card->rc_index, rc_protocol_name(proto), text, rc_decoder_name(proto), rc_decoder_name(proto), path);
}

/* Said once, when frames of no protocol known here or to the kernel have
 * been shown (one could be noise), with their coding as far as it can be
 * read, to look the protocol up by. */
static void tell_unknown(rc_open_card* card)
{
    char coding[512];
    rc_shape_describe(&card->node.raw.shown_shape, coding, sizeof coding);
    tell_user("rc%d: IR frames come of a protocol that no decoder here or in the kernel knows; each shows as a code "
              "of its own shape, without an RC Code. Their coding: %s",
              card->rc_index, coding);
}

static void tell_untaken(rc_open_card* card)
{
    const uint64_t fresh = card->node.raw.decoded_here & ~card->told_decoded;
    uint16_t proto;
    for (proto = 0; fresh != 0 && proto < 64; ++proto)
        if ((fresh & RC_PROTO_BIT(proto)) != 0)
            tell_decoded(card, proto);
    card->told_decoded |= fresh;
    if (!card->told_raw && card->node.raw.shown >= RC_RAW_SHOWN_TO_TELL)
    {
        card->told_raw = 1;
        tell_unknown(card);
    }
}

static rc_open_card* slot_for(int rc_index)
{
    size_t i;
    rc_open_card* grown;
    for (i = 0; i < g_open_count; ++i)
    {
        if (g_open[i].rc_index == rc_index)
        {
            rc_node_close(&g_open[i].node);
            return &g_open[i];
        }
    }
    grown = (rc_open_card*)realloc(g_open, (g_open_count + 1) * sizeof *g_open);
    if (grown == NULL)
        return NULL;
    g_open = grown;
    g_open[g_open_count].rc_index = rc_index;
    g_open[g_open_count].node.fd = -1;
    g_open[g_open_count].node.raw_fd = -1;
    g_open[g_open_count].told_raw = 0;
    g_open[g_open_count].told_decoded = 0;
    return &g_open[g_open_count++];
}

/* After a node is refused: the one step that gives the user a node refused
 * for permissions, as "; <fix>", else nothing. */
static void permission_fix(const char* path, rc_node_kind kind, int error, char* fix, size_t fix_len)
{
    char sentence[RC_PATH_MAX + 256];
    fix[0] = '\0';
    if (error != EACCES && error != EPERM)
        return;
    rc_access_fix(path, kind, getenv("TAVRIXRC_RC_RULES"), sentence, sizeof sentence);
    snprintf(fix, fix_len, "; %s", sentence);
}

/* The lirc node, or else the input event node: also when the lirc node is
 * there but cannot be opened (a user in "input" but not in "video"). */
static int open_node(int rc_index, rc_node* node)
{
    static const char how[] = "scancodes without protocol, up when the kernel releases their key (one not in its "
                              "keymap once none has come for 250 ms)";
    const char* sysfs = root("TAVRIXRC_RC_SYSFS", RC_DEFAULT_SYSFS);
    const char* dev = root("TAVRIXRC_RC_DEV", RC_DEFAULT_DEV);
    char lirc[RC_PATH_MAX];
    char event[RC_PATH_MAX];
    char why[RC_PATH_MAX + 128];
    char event_why[RC_PATH_MAX + 128];
    char fix[RC_PATH_MAX + 260];
    char event_fix[RC_PATH_MAX + 260];
    char protocols[RC_PATH_MAX];
    const int have_lirc = rc_find_node(sysfs, dev, rc_index, RC_NODE_LIRC, lirc, sizeof lirc);
    const int have_event = rc_find_node(sysfs, dev, rc_index, RC_NODE_EVENT, event, sizeof event);
    if (!have_lirc && !have_event)
    {
        tell_user("rc%d: refused: %s/rc%d has no lirc node (no lirc support in this kernel or driver) and no "
                  "input event node",
                  rc_index, sysfs, rc_index);
        return 0;
    }
    snprintf(protocols, sizeof protocols, "%s/rc%d/protocols", sysfs, rc_index);
    if (have_lirc)
    {
        if (rc_node_open(node, lirc, RC_NODE_LIRC, protocols, why, sizeof why))
        {
            check_protocols(rc_index, node);
            return 1;
        }
        permission_fix(lirc, RC_NODE_LIRC, errno, fix, sizeof fix);
    }
    if (have_event)
    {
        if (rc_node_open(node, event, RC_NODE_EVENT, protocols, event_why, sizeof event_why))
        {
            if (have_lirc)
                tell_user("rc%d: %s; reading %s instead: %s%s", rc_index, why, event, how, fix);
            else
                tell_user("rc%d: no lirc node, reading %s: %s", rc_index, event, how);
            return 1;
        }
        permission_fix(event, RC_NODE_EVENT, errno, event_fix, sizeof event_fix);
    }
    if (have_lirc && have_event)
        tell_user("rc%d: refused: %s%s; and %s", rc_index, why, fix, event_why);
    else if (have_lirc)
        tell_user("rc%d: refused: %s%s", rc_index, why, fix);
    else
        tell_user("rc%d: refused: %s%s", rc_index, event_why, event_fix);
    return 0;
}

static int open_card(int index)
{
    rc_open_card* card;
    int rc_index;
    if (g_devices == NULL)
        enumerate();
    if (index < 0 || (size_t)index >= g_device_count)
        return 0;
    rc_index = g_devices[index];
    card = slot_for(rc_index);
    if (card == NULL || !open_node(rc_index, &card->node))
        return 0;
    g_current = (size_t)(card - g_open);
    g_have_current = 1;
    return 1;
}

/* Every answer first takes in what the node has queued. */
static const rc_node* current_node(void)
{
    rc_open_card* card;
    if (!g_have_current)
        return NULL;
    card = &g_open[g_current];
    if (!rc_node_drain(&card->node))
        tell_user("rc%d: the receiver is gone", card->rc_index);
    tell_untaken(card);
    return &card->node;
}

TAVRIXRC_API int TAVRIXRC_CALL GetCardCount(void)
{
    g_code_read = 0;
    enumerate();
    tavrixrc_log(log_path(), "GetCardCount -> %d", (int)g_device_count);
    return (int)g_device_count;
}

TAVRIXRC_API int TAVRIXRC_CALL OpenCard(int index)
{
    int opened;
    g_code_read = 0;
    opened = open_card(index);
    tavrixrc_log(log_path(), "OpenCard(%d) -> %d", index, opened);
    return opened;
}

TAVRIXRC_API int TAVRIXRC_CALL GetRemoteCode(void)
{
    const rc_node* node = current_node();
    const uint64_t now = node != NULL ? rc_node_now(node) : 0;
    const int code = node != NULL ? rc_node_code(node, now) : RC_NO_CODE;
    g_code_read = 1;
    g_code_read_at = rc_now_ns();
    g_code_moment = now;
    tavrixrc_log(log_path(), "GetRemoteCode -> %d", code);
    return code;
}

/* Right after GetRemoteCode (as the tool polls: the code, then the
 * extended code) the answer is of the same moment, so that a record coming
 * between the two calls changes both fields in the next poll, not one in
 * each. */
TAVRIXRC_API unsigned int TAVRIXRC_CALL GetRemoteCodeEx(void)
{
    const int paired = g_code_read && g_have_current && rc_now_ns() - g_code_read_at < RC_PAIR_NS;
    const rc_node* node = paired ? &g_open[g_current].node : current_node();
    const uint64_t now = paired ? g_code_moment : node != NULL ? rc_node_now(node) : 0;
    const unsigned int code_ex = node != NULL ? rc_node_code_ex(node, now) : RC_NO_CODE_EX;
    g_code_read = 0;
    tavrixrc_log(log_path(), "GetRemoteCodeEx -> %08X", code_ex);
    return code_ex;
}

TAVRIXRC_API int TAVRIXRC_CALL UnInit(void)
{
    size_t i;
    for (i = 0; i < g_open_count; ++i)
        rc_node_close(&g_open[i].node);
    free(g_open);
    g_open = NULL;
    g_open_count = 0;
    g_have_current = 0;
    g_code_read = 0;
    free(g_devices);
    g_devices = NULL;
    g_device_count = 0;
    tavrixrc_log(log_path(), "UnInit");
    return 0;
}
