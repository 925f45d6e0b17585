// The kernel layer of our Win32 subset (clock, last error, libraries, threads
// and their handles, termination) as the other layers and the process entry
// see it. Not part of the Win32 API.
//
// Error convention of the kernel layer: internal functions that can fail set
// the last error themselves, to the value the Win32 call they serve sets, and
// return that call's own failure value (nullptr, FALSE, WAIT_FAILED). All
// others set nothing. The public entries add nothing on top.
#ifndef REMOTEMONITOR_KERNEL_KERNEL_H
#define REMOTEMONITOR_KERNEL_KERNEL_H

#include "kernel/LayerScope.h"
#include "kernel/Waker.h"

namespace rmwin32 {

// A seam for tests of code that must survive a failing system: the next
// nCount calls of CreateThread fail as if no further thread could be made.
void FailNextThreadCreations(int nCount);

}  // namespace rmwin32

#endif
