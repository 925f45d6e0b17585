// The one lock over every window and every queue of the user layer.
#ifndef REMOTEMONITOR_USER_LOCK_H
#define REMOTEMONITOR_USER_LOCK_H

#include <mutex>

namespace rmwin32 {

// Never held across a call into application code (window procedures, the
// idle hook).
std::mutex& Lock();

}  // namespace rmwin32

#endif
