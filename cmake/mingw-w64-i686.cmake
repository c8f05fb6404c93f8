# Cross build for i686 Windows with mingw-w64 (Debian's i686-w64-mingw32
# toolchain, POSIX threads flavour, which C++ threads and thread_local need).
# The compiler runtime (libgcc, libstdc++, winpthread) is linked statically,
# so the DLL needs nothing but the system's own libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QORVEL_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   ${QORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QORVEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static pulls in the static winpthread too (it has no flag of its own).
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
