# Cross build for i686 Windows with mingw-w64 (Debian's i686-w64-mingw32
# toolchain); the settings are mingw-w64-common.cmake's.
set(QORVEL_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
