# Cross build for 32-bit Windows with mingw-w64, tested under Wine.
#
# The posix thread-model compilers are the ones GoogleTest builds with. Every
# executable and DLL is linked -static so that it needs only DLLs a Windows PC
# already has: a tool dropped beside the card maker's library must not drag
# libstdc++, libgcc or libwinpthread along.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(RM_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${RM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RM_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${RM_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${RM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test executables run under Wine, in a prefix and with an X server that
# belong to this build tree (see wine-run.sh).
set(RM_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(RM_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RM_WINE_RUN} ${RM_WINE_STATE})
