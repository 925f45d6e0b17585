# Compile options of the code that ships in RemoteMonitor.exe. The tool throws
# nothing and catches nothing, so in the Windows build its code needs no
# unwinding tables and no piece of the C++ runtime that brings the exception
# machinery (unwinder, terminate handler, demangler) into the executable; a
# debugger unwinds from the debug information. Test programs keep exceptions:
# GoogleTest reports a stray one as a failure.
add_library(rm_shipped INTERFACE)
if(MINGW)
  target_compile_options(rm_shipped INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()

# A release as it ships: the debug information goes to <file>.debug beside
# the binary, which keeps a link to it for debuggers, and the binary itself
# is stripped.
option(RM_STRIP_SHIPPED "Strip shipped Windows binaries, keeping their debug information apart" OFF)

function(rm_strip_shipped target)
  if(NOT (MINGW AND RM_STRIP_SHIPPED))
    return()
  endif()
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${file}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
