# What both mingw-w64 toolchain files share: Debian's toolchain for
# QORVEL_MINGW_CPU (POSIX threads flavour, which C++ threads and
# thread_local need) and a statically linked compiler runtime (libgcc,
# libstdc++, winpthread), so the DLL needs nothing but the system's own
# libraries. Precondition: the including file sets QORVEL_MINGW_CPU.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QORVEL_MINGW_CPU})

set(QORVEL_MINGW_TRIPLE ${QORVEL_MINGW_CPU}-w64-mingw32)
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
