#!/usr/bin/env bash
# Builds QORVEL.dll for 64-bit and 32-bit Windows with mingw-w64 and runs
# its tests under Wine in a fresh, temporary Wine prefix:
#   build-win32/   the 32-bit DLL (checked as data: it cannot run here) and
#                  the SQLite test program (compiled only)
#   build-win64/   the 64-bit DLL and the test programs, run through CTest
# then checks that the DLL builds byte-identical in a second folder
# (build-win64-repro/, without the compiler cache).
# Installs what is missing first (idempotent, like install-deps.sh).
#   JOBS   parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths inside the checkout are hashed relative to it, so that a fresh clone
# in another folder (as CI makes) reuses the compiler cache.
export CCACHE_BASEDIR="$PWD"
jobs="${JOBS:-2}"
wine=/usr/lib/wine/wine64

# The cross compilers and widl, Wine (64-bit only; the kernel here runs no
# 32-bit programs), Wine's IDL files, zip for the release package, npm for
# SQLite's source (scripts/fetch-sqlite.sh, run when CMake configures).
scripts/install-deps.sh windows

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# The Wine tests read message boxes from standard error: the test builds
# record them instead of showing them (never a shipped build; see
# scripts/package-windows.sh).
configure() {  # configure DIR TOOLCHAIN EXTRA-ARGS...
  local dir=$1 toolchain=$2
  shift 2
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DQORVEL_WERROR=ON -DQORVEL_RECORD_MESSAGE_BOXES=ON "$@" >/dev/null
}

echo "== 32-bit DLL and SQLite test program, built only (build-win32)"
configure build-win32 mingw-w64-i686.cmake -DQORVEL_TESTS=ON "${launcher[@]}"
cmake --build build-win32 -j "$jobs" --target qorvel_server windows_sqlite_test

echo "== 64-bit DLL and tests (build-win64)"
configure build-win64 mingw-w64-x86_64.cmake -DQORVEL_TESTS=ON "${launcher[@]}" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$wine" -DQORVEL_PEER_DLL="$PWD/build-win32/QORVEL.dll"
cmake --build build-win64 -j "$jobs"

echo "== reproducible build (build-win64-repro, from scratch, no compiler cache)"
rm -rf build-win64-repro
configure build-win64-repro mingw-w64-x86_64.cmake -DQORVEL_TESTS=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER= -DCMAKE_C_COMPILER_LAUNCHER=
cmake --build build-win64-repro -j "$jobs" --target qorvel_server
if ! cmp build-win64/QORVEL.dll build-win64-repro/QORVEL.dll; then
  echo "FAIL: two builds of QORVEL.dll differ"
  exit 1
fi
echo "ok: two builds of QORVEL.dll are byte-identical"

echo "== tests under Wine"
prefix=$(mktemp -d /tmp/qorvel-wine.XXXXXX)
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
"$wine" wineboot -i >/dev/null 2>&1
wineserver -w
# One server for the whole run: with the default, each test's server exits a
# few seconds after its last program, and a program started just as it exits
# fails to start at all (an empty, failed test). Wine's own services start
# here, outside CTest, so that they do not hold a test's output open.
wineserver -p
"$wine" cmd /c exit >/dev/null 2>&1 </dev/null
ctest --test-dir build-win64 --output-on-failure -j "$jobs"

# The release zip as a user gets it: unpacked, registered and used in a
# fresh prefix of its own, with no database provider (scripts/release-test.sh).
echo "== the release package in a fresh prefix of its own"
scripts/release-test.sh
