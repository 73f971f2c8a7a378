# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads).
#
# KELMORA_MINGW_PREFIX names the folder the Windows libraries were installed into
# (scripts/build-windows-deps.sh makes it); it is searched before the toolchain's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

if(NOT KELMORA_MINGW_PREFIX AND DEFINED ENV{KELMORA_MINGW_PREFIX})
  set(KELMORA_MINGW_PREFIX $ENV{KELMORA_MINGW_PREFIX})
endif()
# Try-compile projects are configured afresh; hand them the prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KELMORA_MINGW_PREFIX)

set(CMAKE_FIND_ROOT_PATH ${KELMORA_MINGW_PREFIX} /usr/${triple})

# pkg-config reads only the Windows libraries' files, never the host's.
set(pc_dirs)
foreach(dir IN LISTS CMAKE_FIND_ROOT_PATH)
  list(APPEND pc_dirs ${dir}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" pc_dirs "${pc_dirs}")
set(ENV{PKG_CONFIG_LIBDIR} "${pc_dirs}")
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and generators that run what was built go through Wine.
find_program(KELMORA_WINE NAMES wine wine64)
if(KELMORA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KELMORA_WINE})
endif()
