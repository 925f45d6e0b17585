// Old name of DialogTemplate.h, for the dialog manager and the PE check;
// goes once they name the new one.
#include "DialogTemplate.h"
