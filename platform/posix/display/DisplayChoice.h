// The displays a process can choose from. Each Open function returns nullptr
// when its display cannot be used here (no terminal, no server to talk to).
#ifndef REMOTEMONITOR_DISPLAY_CHOICE_H
#define REMOTEMONITOR_DISPLAY_CHOICE_H

#include "display/Display.h"

namespace rmwin32 {

CDisplay* OpenX11Display();
CDisplay* OpenTerminalDisplay();
CDisplay* OpenLineDisplay();

}  // namespace rmwin32

#endif
