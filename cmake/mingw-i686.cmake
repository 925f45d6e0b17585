# Cross build for 32-bit Windows with mingw-w64, tested under Wine.
#
# The posix thread-model compilers, named explicitly whatever the system's
# alternatives say: GoogleTest needs std::mutex, which the win32 model of
# GCC 12 lacks. The model's runtime is built on winpthreads, which imports
# calls that Windows XP lacks (GetTickCount64); the shipped code therefore
# uses no part of the C++ runtime that needs threads or exceptions (see
# ShippedCode.cmake), and its executable links the same under either model.
# The import check of the tests holds it to that. Every executable and DLL is
# linked -static so that it needs only DLLs a Windows PC already has: a tool
# dropped beside the card maker's library must not drag libstdc++, libgcc or
# libwinpthread along.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(RM_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${RM_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RM_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RM_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${RM_MINGW_TRIPLET}-objdump CACHE FILEPATH "objdump for PE files")
set(CMAKE_OBJCOPY ${RM_MINGW_TRIPLET}-objcopy CACHE FILEPATH "objcopy for PE files")
set(CMAKE_STRIP ${RM_MINGW_TRIPLET}-strip CACHE FILEPATH "strip for PE files")

set(CMAKE_FIND_ROOT_PATH /usr/${RM_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows XP SP3 is the oldest system the tool and our driver libraries run
# on: a call it lacks must fail to compile, and the headers must say 5.1, the
# version the loader of every later Windows accepts as well. Unused functions
# and data are dropped at link time.
set(RM_WINDOWS_MIN_DEFINES "-D_WIN32_WINNT=0x0501 -DWINVER=0x0501")
set(CMAKE_C_FLAGS_INIT "${RM_WINDOWS_MIN_DEFINES} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${RM_WINDOWS_MIN_DEFINES} -ffunction-sections -fdata-sections")
set(RM_WINDOWS_LINK_INIT "-static -Wl,--gc-sections -Wl,--major-os-version,5 -Wl,--minor-os-version,1 \
-Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${RM_WINDOWS_LINK_INIT}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${RM_WINDOWS_LINK_INIT}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${RM_WINDOWS_LINK_INIT}")

# Test executables run under Wine, in a prefix and with an X server that
# belong to this build tree (see wine-run.sh).
set(RM_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
set(RM_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RM_WINE_RUN} ${RM_WINE_STATE})
