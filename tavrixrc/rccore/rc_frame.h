/* What the tool is told about a key: its code and its extended code, worked
 * out from the protocol and the scancode the kernel decoded. */
#ifndef TAVRIXRC_RC_FRAME_H
#define TAVRIXRC_RC_FRAME_H

#include <stdint.h>

/* The answers when no key is held. */
#define RC_NO_CODE 255
#define RC_NO_CODE_EX 0u

/* The command, from where the protocol keeps it in the scancode; RC_NO_CODE
 * for protocols that have none. */
int rc_frame_code(uint16_t proto, uint64_t scancode);

/* An NEC frame in on-air byte order, first byte in the top; for the
 * protocols the kernel has no decoder for, the 32 bits rc_frame.c gives
 * them; for other protocols the low 32 bits of the scancode. */
uint32_t rc_frame_code_ex(uint16_t proto, uint64_t scancode);

#endif
