# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (packages
# gcc-mingw-w64-i686, g++-mingw-w64-i686, binutils-mingw-w64-i686):
#   cmake -S windows -B build-windows --toolchain cmake/i686-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(BREVANTO_MINGW_PREFIX i686-w64-mingw32)

set(CMAKE_C_COMPILER ${BREVANTO_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${BREVANTO_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${BREVANTO_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${BREVANTO_MINGW_PREFIX}-objdump CACHE FILEPATH "")

# Headers and libraries come from mingw's own tree only, never the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${BREVANTO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
