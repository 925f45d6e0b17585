// What is written to standard error while a display draws on the terminal
// it goes to: kept in a file of its own instead of being drawn over (or
// drawing over the dialog), for the display to show where it has room, and
// written out once the screen is given back. So every layer, and the driver
// library, simply writes its line, and a write never waits for a reader.
#ifndef REMOTEMONITOR_HELD_STANDARD_ERROR_H
#define REMOTEMONITOR_HELD_STANDARD_ERROR_H

#include <string>

namespace rmwin32 {

// From now on, standard error goes to the holding file, when it is the
// terminal standard output draws on; elsewhere (a file, a pipe, another
// terminal) it stays as it is.
void HoldStandardError();

// Standard error back where it was, and what it held written to it. Also
// called from a signal handler: async-signal-safe calls only.
void ReleaseStandardError();

// For the drawing thread's wait: readable when more has been held since the
// last TakeNewlyHeld; -1 when nothing is held, or when the system cannot
// watch the file (more is then found at the next wake-up of any kind).
int NewlyHeldFd();

// Appends to *pText what was held since the last call; false when nothing
// was. When nothing was, it costs a look at the file's size and the drain
// of the watch: two calls of the system.
bool TakeNewlyHeld(std::string* pText);

}  // namespace rmwin32

#endif
