/* One line of the simulated card's script, parsed on its own: no file, no
 * clock and no global state, so that a test or a fuzzer can feed it any
 * bytes. The format is tavrixrc/README.md's:
 *   <ms> <code> [<extended code, hex>]   # comment
 * with <ms> a decimal from 0, <code> a signed decimal that fits an int and
 * the extended code up to eight hex digits (an 0x in front is allowed).
 * Anything else on the line, or a number out of its range, makes the line
 * malformed. */
#ifndef TAVRIXRC_SIM_SCRIPT_H
#define TAVRIXRC_SIM_SCRIPT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The longest line read, without its end of line; a longer one is
 * malformed as a whole. */
#define SIM_SCRIPT_LINE_MAX 255

typedef struct
{
    long long at_ms;
    int code;
    int has_ex;
    unsigned int ex;
} sim_script_line;

typedef enum
{
    SIM_SCRIPT_MALFORMED = -1,
    SIM_SCRIPT_BLANK = 0, /* nothing but white space and a comment */
    SIM_SCRIPT_LINE = 1
} sim_script_result;

/* Parses the len bytes at text, which need no terminator and may hold any
 * byte; an end of line may be among them. *line is written only for
 * SIM_SCRIPT_LINE. */
sim_script_result sim_script_parse_line(const char* text, size_t len, sim_script_line* line);

#ifdef __cplusplus
}
#endif

#endif
