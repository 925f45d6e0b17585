/* A simulated tuner card with an NEC infrared remote, in the form of the
 * card maker's TavrixRC.dll: the default driver library for demos and tests.
 *
 * With no script it plays a demo for ever: a key is held for 100 to 600 ms,
 * then released (code 255) for 0.3 to 1.5 s, then another key follows, drawn
 * from digits, volume, channel, mute and power; the first key comes within
 * 0.65 s of the start. The demo is the same on every run.
 *
 * Environment, read at the first call after loading and after UnInit:
 *   TAVRIXRC_SIM_CARDS   number of cards (default 1; 0: no card). Cards 0 to
 *                        count - 1 open, others do not.
 *   TAVRIXRC_SIM_SCRIPT  a script file that replaces the demo. One line per
 *                        change:  <ms> <code> [<extended code, hex>]
 *                        <ms> counts from the last OpenCard that succeeded
 *                        (from loading, before that). A code holds from its
 *                        time until the next line's; before the first line
 *                        there is no key (255, extended 0) and the last line
 *                        holds for ever. Without an extended code, a code
 *                        from 0 to 254 gets this remote's own (address
 *                        0x38C7) and any other code gets 0. '#' starts a
 *                        comment; malformed lines are skipped: a line
 *                        longer than 255 characters, anything after the
 *                        numbers, a number out of its range. A script that
 *                        cannot be read leaves the card silent (no key).
 *   TAVRIXRC_SIM_ORIGIN  a moment of the system's monotonic clock, in ms
 *                        (QueryPerformanceCounter on Windows, CLOCK_MONOTONIC
 *                        elsewhere), from which <ms> counts instead: a
 *                        process watching the tool from outside then knows
 *                        when each change happens.
 *   TAVRIXRC_SIM_LOG     file to which one line per call is appended, as:
 *                          GetCardCount -> 1
 *                          OpenCard(0) -> 1
 *                          GetRemoteCode -> 21
 *                          GetRemoteCodeEx -> 38C715EA
 *                          UnInit
 *
 * There are no threads here: each answer is worked out from the time of the
 * call. Calls are expected one at a time, as the tool makes them. */
#include "tavrixrc_common.h"

#include "sim_script.h"

#define SIM_NO_CODE 255
/* This remote's 16-bit NEC address: 0x38 and its complement. */
#define SIM_ADDRESS 0x38C7u

enum
{
    KEY_0 = 0x00, /* digits 0 to 9 are 0x00 to 0x09 */
    KEY_POWER = 0x0C,
    KEY_MUTE = 0x0D,
    KEY_VOLUME_UP = 0x10,
    KEY_VOLUME_DOWN = 0x11,
    KEY_CHANNEL_UP = 0x20,
    KEY_CHANNEL_DOWN = 0x21
};

/* Someone zapping: the volume and channel keys come up most often. */
static const unsigned char kDemoKeys[] = {KEY_0,
                                          1,
                                          2,
                                          3,
                                          4,
                                          5,
                                          6,
                                          7,
                                          8,
                                          9,
                                          KEY_VOLUME_UP,
                                          KEY_VOLUME_UP,
                                          KEY_VOLUME_UP,
                                          KEY_VOLUME_DOWN,
                                          KEY_VOLUME_DOWN,
                                          KEY_VOLUME_DOWN,
                                          KEY_CHANNEL_UP,
                                          KEY_CHANNEL_UP,
                                          KEY_CHANNEL_UP,
                                          KEY_CHANNEL_DOWN,
                                          KEY_CHANNEL_DOWN,
                                          KEY_CHANNEL_DOWN,
                                          KEY_MUTE,
                                          KEY_MUTE,
                                          KEY_POWER};

typedef struct
{
    unsigned int rng;
    long long down_ms; /* the current or last key went down at ... */
    long long up_ms;   /* ... and up at ... */
    long long next_ms; /* ... and the next one goes down at */
    int key;
} demo_state;

static int g_configured;
static int g_card_count;
static char* g_log_path;
static int g_scripted;
static sim_script_line* g_script;
static size_t g_script_len;
static long long g_origin_ms;
static int g_origin_set;
static demo_state g_demo;

/* An NEC frame: address high and low byte, command, inverted command. */
static unsigned int nec_frame(int code)
{
    unsigned int command;
    if (code < 0 || code >= SIM_NO_CODE)
        return 0;
    command = (unsigned int)code;
    return (SIM_ADDRESS << 16) | (command << 8) | (0xFFu - command);
}

static unsigned int demo_random(unsigned int bound)
{
    /* xorshift32: small, and the same sequence on every platform */
    unsigned int x = g_demo.rng;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    g_demo.rng = x;
    return x % bound;
}

static void demo_reset(void)
{
    g_demo.rng = 0x2545F491u;
    g_demo.down_ms = 0;
    g_demo.up_ms = 0;
    g_demo.next_ms = 150 + (long long)demo_random(501);
    g_demo.key = SIM_NO_CODE;
}

static int demo_code_at(long long t)
{
    while (t >= g_demo.next_ms)
    {
        g_demo.down_ms = g_demo.next_ms;
        g_demo.up_ms = g_demo.down_ms + 100 + (long long)demo_random(501);
        g_demo.next_ms = g_demo.up_ms + 300 + (long long)demo_random(1201);
        g_demo.key = kDemoKeys[demo_random((unsigned int)sizeof kDemoKeys)];
    }
    return (t >= g_demo.down_ms && t < g_demo.up_ms) ? g_demo.key : SIM_NO_CODE;
}

/* The line in force at t: the latest to start at or before t, the later
 * one in the file on a tie. NULL before the first. */
static const sim_script_line* script_line_at(long long t)
{
    const sim_script_line* found = NULL;
    size_t i;
    for (i = 0; i < g_script_len; ++i)
        if (g_script[i].at_ms <= t && (found == NULL || g_script[i].at_ms >= found->at_ms))
            found = &g_script[i];
    return found;
}

/* Reads one line into text, without its end of line; false at the end of the
 * file. A line longer than the buffer is read to its end and reported as
 * too long, so that its tail is never taken for a line of its own. */
static int script_read_line(FILE* file, char* text, size_t* len, int* too_long)
{
    int c;
    *len = 0;
    *too_long = 0;
    while ((c = getc(file)) != EOF && c != '\n')
    {
        if (*len < SIM_SCRIPT_LINE_MAX)
            text[(*len)++] = (char)c;
        else
            *too_long = 1;
    }
    return c != EOF || *len > 0 || *too_long;
}

static void script_load(const char* path)
{
    FILE* file = fopen(path, "r");
    char text[SIM_SCRIPT_LINE_MAX];
    size_t len;
    int too_long;
    size_t capacity = 0;
    if (file == NULL)
        return;
    while (script_read_line(file, text, &len, &too_long))
    {
        sim_script_line line;
        if (too_long || sim_script_parse_line(text, len, &line) != SIM_SCRIPT_LINE)
            continue;
        if (g_script_len == capacity)
        {
            size_t grown = capacity == 0 ? 64 : capacity * 2;
            sim_script_line* lines = (sim_script_line*)realloc(g_script, grown * sizeof(sim_script_line));
            if (lines == NULL)
                break;
            g_script = lines;
            capacity = grown;
        }
        g_script[g_script_len++] = line;
    }
    fclose(file);
}

static void unconfigure(void)
{
    free(g_script);
    g_script = NULL;
    g_script_len = 0;
    free(g_log_path);
    g_log_path = NULL;
    g_configured = 0;
}

static void restart_clock(void)
{
    const char* origin = getenv("TAVRIXRC_SIM_ORIGIN");
    g_origin_ms = origin != NULL && origin[0] != '\0' ? strtoll(origin, NULL, 10) : tavrixrc_now_ms();
    g_origin_set = 1;
    demo_reset();
}

static void configure(void)
{
    const char* text;
    if (g_configured)
        return;
    if (!g_origin_set)
        restart_clock();
    text = getenv("TAVRIXRC_SIM_CARDS");
    g_card_count = text != NULL ? (int)strtol(text, NULL, 10) : 1;
    text = getenv("TAVRIXRC_SIM_SCRIPT");
    g_scripted = text != NULL && text[0] != '\0';
    if (g_scripted)
        script_load(text);
    g_log_path = tavrixrc_getenv_copy("TAVRIXRC_SIM_LOG");
    g_configured = 1;
}

static int code_now(unsigned int* ex)
{
    const long long t = tavrixrc_now_ms() - g_origin_ms;
    int code;
    if (g_scripted)
    {
        const sim_script_line* line = script_line_at(t);
        if (line == NULL)
        {
            *ex = 0;
            return SIM_NO_CODE;
        }
        *ex = line->has_ex ? line->ex : nec_frame(line->code);
        return line->code;
    }
    code = demo_code_at(t);
    *ex = nec_frame(code);
    return code;
}

TAVRIXRC_API int TAVRIXRC_CALL GetCardCount(void)
{
    configure();
    tavrixrc_log(g_log_path, "GetCardCount -> %d", g_card_count);
    return g_card_count;
}

TAVRIXRC_API int TAVRIXRC_CALL OpenCard(int index)
{
    int opened;
    configure();
    opened = index >= 0 && index < g_card_count;
    if (opened)
        restart_clock();
    tavrixrc_log(g_log_path, "OpenCard(%d) -> %d", index, opened);
    return opened;
}

TAVRIXRC_API int TAVRIXRC_CALL GetRemoteCode(void)
{
    unsigned int ex;
    int code;
    configure();
    code = code_now(&ex);
    tavrixrc_log(g_log_path, "GetRemoteCode -> %d", code);
    return code;
}

#ifndef TAVRIXRC_SIM_OMIT_GetRemoteCodeEx
TAVRIXRC_API unsigned int TAVRIXRC_CALL GetRemoteCodeEx(void)
{
    unsigned int ex;
    configure();
    code_now(&ex);
    tavrixrc_log(g_log_path, "GetRemoteCodeEx -> %08X", ex);
    return ex;
}
#endif

TAVRIXRC_API int TAVRIXRC_CALL UnInit(void)
{
    configure();
    tavrixrc_log(g_log_path, "UnInit");
    unconfigure();
    return 0;
}

/* The clock starts when the library is loaded. */
#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    if (reason == DLL_PROCESS_ATTACH)
        restart_clock();
    else if (reason == DLL_PROCESS_DETACH && reserved == NULL)
        unconfigure();
    return TRUE;
}
#else
__attribute__((constructor)) static void sim_load(void)
{
    restart_clock();
}

__attribute__((destructor)) static void sim_unload(void)
{
    unconfigure();
}
#endif
