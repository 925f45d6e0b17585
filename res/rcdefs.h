// The few Windows constants that RemoteMonitor.rc uses, for a resource
// compiler that brings no Windows headers of its own (llvm-rc on Linux
// preprocesses with a plain clang). Values as documented for winuser.h,
// winnt.h and winver.h.
#ifndef REMOTEMONITOR_RCDEFS_H
#define REMOTEMONITOR_RCDEFS_H

#define WS_POPUP 0x80000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_EX_APPWINDOW 0x00040000L

#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L

#define SS_SUNKEN 0x00001000L

#define IDOK 1

#define LANG_ENGLISH 0x09
#define LANG_RUSSIAN 0x19
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01

#define VS_VERSION_INFO 1
#define VS_FFI_FILEFLAGSMASK 0x0000003FL
#define VOS__WINDOWS32 0x00000004L
#define VFT_APP 0x00000001L
#define VFT2_UNKNOWN 0x00000000L

#endif
