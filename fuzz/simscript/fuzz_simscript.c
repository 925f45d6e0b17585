/* The simulated card's script line parser on arbitrary bytes. Besides the
 * sanitizers' word, a line it takes must read the same again from its own
 * plain text: a number it took in part or wrapped would not. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "sim_script.h"

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim_script_line line;
    sim_script_line again;
    char text[96];
    int len;
    /* An exact-size copy, so that any read past the end is caught. */
    char* copy = (char*)malloc(size > 0 ? size : 1);
    if (copy == NULL)
        return 0;
    if (size > 0)
        memcpy(copy, data, size);
    if (sim_script_parse_line(copy, size, &line) != SIM_SCRIPT_LINE)
    {
        free(copy);
        return 0;
    }
    free(copy);
    if (line.has_ex)
        len = snprintf(text, sizeof text, "%lld %d %08X", line.at_ms, line.code, line.ex);
    else
        len = snprintf(text, sizeof text, "%lld %d", line.at_ms, line.code);
    if (len <= 0 || sim_script_parse_line(text, (size_t)len, &again) != SIM_SCRIPT_LINE || again.at_ms != line.at_ms ||
        again.code != line.code || again.has_ex != line.has_ex || again.ex != line.ex)
        abort();
    return 0;
}
