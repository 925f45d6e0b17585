#include "sim_script.h"

#include <limits.h>

/* Hand-rolled rather than strtol and friends: those need a terminated string,
 * skip white space and signs where the format has none, and saturate or wrap
 * where a line must be refused. */

typedef struct
{
    const char* p;
    const char* end;
} cursor;

static int is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

static int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* Skips white space; true when any was there or the line ends, which is
 * what must follow every number. */
static int skip_blanks(cursor* c)
{
    const char* from = c->p;
    while (c->p < c->end && is_blank(*c->p))
        ++c->p;
    return c->p != from || c->p == c->end;
}

/* Decimal digits up to limit; 0 when there are none or the value exceeds it. */
static int read_decimal(cursor* c, unsigned long long limit, unsigned long long* value)
{
    const char* from = c->p;
    unsigned long long v = 0;
    for (; c->p < c->end && *c->p >= '0' && *c->p <= '9'; ++c->p)
    {
        const unsigned digit = (unsigned)(*c->p - '0');
        if (v > (limit - digit) / 10)
            return 0;
        v = v * 10 + digit;
    }
    *value = v;
    return c->p != from;
}

static int read_code(cursor* c, int* code)
{
    unsigned long long magnitude;
    int negative = 0;
    if (c->p < c->end && (*c->p == '-' || *c->p == '+'))
        negative = *c->p++ == '-';
    if (!read_decimal(c, negative ? (unsigned long long)INT_MAX + 1 : (unsigned long long)INT_MAX, &magnitude))
        return 0;
    *code = negative ? (int)(-(long long)magnitude) : (int)magnitude;
    return 1;
}

static int read_hex32(cursor* c, unsigned int* value)
{
    const char* from;
    unsigned long v = 0;
    if (c->end - c->p > 2 && c->p[0] == '0' && (c->p[1] == 'x' || c->p[1] == 'X') && hex_value(c->p[2]) >= 0)
        c->p += 2;
    from = c->p;
    for (; c->p < c->end && hex_value(*c->p) >= 0; ++c->p)
    {
        if (v > 0x0FFFFFFFul)
            return 0;
        v = (v << 4) | (unsigned long)hex_value(*c->p);
    }
    *value = (unsigned int)v;
    return c->p != from;
}

sim_script_result sim_script_parse_line(const char* text, size_t len, sim_script_line* line)
{
    cursor c;
    unsigned long long at;
    int code;
    unsigned int ex = 0;
    int has_ex = 0;
    size_t i;
    c.p = text;
    c.end = text + len;
    for (i = 0; i < len; ++i)
    {
        if (text[i] == '#')
        {
            c.end = text + i;
            break;
        }
    }

    skip_blanks(&c);
    if (c.p == c.end)
        return SIM_SCRIPT_BLANK;
    if (!read_decimal(&c, LLONG_MAX, &at) || !skip_blanks(&c) || c.p == c.end)
        return SIM_SCRIPT_MALFORMED;
    if (!read_code(&c, &code) || !skip_blanks(&c))
        return SIM_SCRIPT_MALFORMED;
    if (c.p != c.end)
    {
        if (!read_hex32(&c, &ex) || !skip_blanks(&c) || c.p != c.end)
            return SIM_SCRIPT_MALFORMED;
        has_ex = 1;
    }
    line->at_ms = (long long)at;
    line->code = code;
    line->has_ex = has_ex;
    line->ex = ex;
    return SIM_SCRIPT_LINE;
}
