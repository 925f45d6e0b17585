// Old name of the seams the dialog manager and the terminal include; goes
// once they name kernel/Kernel.h and user/Queue.h themselves.
#include "kernel/Kernel.h"
#include "user/Queue.h"
