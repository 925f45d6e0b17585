# Our TavrixRC.dll builds must export the driver entries under their plain
# names, as the card maker's library does: a stdcall "@n" or a leading
# underscore would make the tool's GetProcAddress by name fail on Windows.
# Like the card maker's, they must also work alone, without the compiler's
# runtime DLLs beside them.
#
#   cmake -DOBJDUMP=<objdump> -DFULL="<dll>;..." -DPARTIAL="<dll>;..." -P check_exports.cmake
# FULL libraries must export all five entries, PARTIAL ones a subset.
cmake_minimum_required(VERSION 3.25)

set(entries GetCardCount OpenCard GetRemoteCode GetRemoteCodeEx UnInit)
set(failures "")

function(exported_names dll out imports_out)
  execute_process(COMMAND ${OBJDUMP} -p ${dll}
    OUTPUT_VARIABLE dump RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${dll} failed: ${err}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  set(${imports_out} "${imports}" PARENT_SCOPE)
  # The name table follows "[Ordinal/Name Pointer] Table", one "[ n] name" a line.
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
  if(at EQUAL -1)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  string(SUBSTRING "${dump}" ${at} -1 table)
  string(REGEX MATCHALL "\n[ \t]*\\[[ 0-9]+\\] [^\n]+" lines "${table}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n[ \t]*\\[[ 0-9]+\\] " "" name "${line}")
    string(STRIP "${name}" name)
    list(APPEND names "${name}")
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Empty lists would pass having checked nothing.
if(NOT FULL OR NOT PARTIAL)
  message(FATAL_ERROR "usage: cmake -DOBJDUMP=<objdump> -DFULL=<dlls> -DPARTIAL=<dlls> -P check_exports.cmake")
endif()

foreach(kind FULL PARTIAL)
  foreach(dll IN LISTS ${kind})
    if(NOT EXISTS ${dll})
      string(APPEND failures "${dll}: not built\n")
      continue()
    endif()
    exported_names(${dll} names imports)
    foreach(import IN LISTS imports)
      if(import MATCHES "^(libstdc|libgcc|libwinpthread)")
        string(APPEND failures "${dll}: needs ${import}\n")
      endif()
    endforeach()
    foreach(name IN LISTS names)
      if(name MATCHES "@|^_")
        string(APPEND failures "${dll}: decorated export ${name}\n")
      elseif(NOT name IN_LIST entries)
        string(APPEND failures "${dll}: unexpected export ${name}\n")
      endif()
    endforeach()
    if(kind STREQUAL "FULL")
      foreach(entry IN LISTS entries)
        if(NOT entry IN_LIST names)
          string(APPEND failures "${dll}: ${entry} not exported\n")
        endif()
      endforeach()
    endif()
    message(STATUS "${dll}: exports ${names}; imports ${imports}")
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
