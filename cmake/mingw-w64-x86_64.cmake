# Cross build for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64-posix for
# std::thread, binutils-mingw-w64-x86-64 for windres). The executables carry libgcc, libstdc++
# and winpthread inside them, so nothing has to sit beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Header-only libraries of the build machine (libdivide) are found outside the root too.
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools built here run under Wine on the build machine.
find_program(TARVEX_WINE NAMES wine wine64)
if(TARVEX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TARVEX_WINE})
endif()

# libdivide is header only; take just its header from the build machine, not all of /usr/include.
if(NOT LIBDIVIDE_INCLUDE_DIR AND EXISTS /usr/include/libdivide.h AND CMAKE_BINARY_DIR)
  file(COPY /usr/include/libdivide.h DESTINATION ${CMAKE_BINARY_DIR}/host-include)
  set(LIBDIVIDE_INCLUDE_DIR ${CMAKE_BINARY_DIR}/host-include CACHE PATH "libdivide.h")
endif()
