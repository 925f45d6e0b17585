// Old name of resource/Resource.h, for the dialog manager; goes once it
// names the new one.
#include "resource/Resource.h"
