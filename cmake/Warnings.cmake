# Warnings on for all of our own code; clean under g++ and clang.
add_library(rm_warnings INTERFACE)
target_compile_options(rm_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>)
