// Old name of VersionInfo.h, for the PE check; goes once it names the new one.
#include "VersionInfo.h"
