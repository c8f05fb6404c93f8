# Cross build for x86_64 Windows with mingw-w64 (Debian's x86_64-w64-mingw32
# toolchain); the settings are mingw-w64-common.cmake's.
set(QORVEL_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
