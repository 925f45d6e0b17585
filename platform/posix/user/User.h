// The user layer of our Win32 subset (window classes, windows, the default
// window procedure, focus, painting, per-thread queues and sends) as the
// other layers see it. Not part of the Win32 API.
//
// Error convention of the user layer: internal functions that can fail set
// the last error themselves, to the value the Win32 call they serve sets, and
// return that call's own failure value (FALSE, nullptr, 0, or -1 where
// GetMessageA's caller expects it). All others set nothing. The public entries
// add nothing on top. Functions named ...Locked need Lock() held.
#ifndef REMOTEMONITOR_USER_USER_H
#define REMOTEMONITOR_USER_USER_H

#include <windows.h>

#include "kernel/Kernel.h"
#include "user/Queue.h"
#include "user/Window.h"

namespace rmwin32 {

// SendMessageA without the termination point, for calls made inside the
// layer (creation, destruction, focus, painting).
LRESULT SendMessageImpl(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace rmwin32

#endif
