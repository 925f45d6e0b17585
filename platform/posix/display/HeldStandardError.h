// What is written to standard error while a display draws on the terminal
// it goes to: kept in a file of its own instead of being drawn over (or
// drawing over the dialog), and written out once the screen is given back.
// So every layer, and the driver library, simply writes its line.
#ifndef REMOTEMONITOR_HELD_STANDARD_ERROR_H
#define REMOTEMONITOR_HELD_STANDARD_ERROR_H

namespace rmwin32 {

// From now on, standard error goes to the holding file, when it is the
// terminal standard output draws on; elsewhere (a file, a pipe, another
// terminal) it stays as it is.
void HoldStandardError();

// Standard error back where it was, and what it held written to it. Also
// called from a signal handler: async-signal-safe calls only.
void ReleaseStandardError();

}  // namespace rmwin32

#endif
