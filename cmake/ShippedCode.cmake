# Compile options of the code that ships in RemoteMonitor.exe. The tool throws
# nothing and catches nothing, so in the Windows build its code needs no
# unwinding and no piece of the C++ runtime that brings the exception
# machinery (unwinder, terminate handler, demangler) into the executable.
# Test programs keep exceptions: GoogleTest reports a stray one as a failure.
add_library(rm_shipped INTERFACE)
if(MINGW)
  target_compile_options(rm_shipped INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
endif()
