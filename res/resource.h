// Resource identifiers, shared by the resource script and the C++ code of
// both targets. Plain #defines only: the resource compilers' preprocessors
// read this file as well.
#ifndef REMOTEMONITOR_RESOURCE_H
#define REMOTEMONITOR_RESOURCE_H

#define IDD_MAIN_DIALOG 102
#define IDI_MAIN 128
#define IDC_CODE 1001
#define IDC_CODE_EX 1002

// Both also come with the framework headers; keep whichever arrives first.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

#endif
