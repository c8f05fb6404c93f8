#!/usr/bin/env bash
# Builds the Debian package qorvel_1.03-1_<arch>.deb (the tool, the shared
# library, the SQLite extension, the development files and the manual
# page) with CPack, and prints its path. Its dependencies are found by
# dpkg-shlibdeps from the files it holds.
#   BUILD_DIR   build folder (default: build-deb; an existing Release build
#               such as CI's build/ is reused, only relinked)
#   OUT_DIR     where the .deb goes (default: BUILD_DIR/packages)
#   CMAKE_ARGS  extra arguments for cmake's configure step
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD"
scripts/install-deps.sh >&2
build="${BUILD_DIR:-build-deb}"
out="$(realpath -m "${OUT_DIR:-$build/packages}")"

# The library goes to Debian's multiarch folder (/usr/lib/x86_64-linux-gnu).
args=(-DCMAKE_INSTALL_LIBDIR="lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)")
if [ ! -f "$build/CMakeCache.txt" ]; then
  args+=(-DCMAKE_BUILD_TYPE=Release -DQORVEL_TESTS=OFF -DQORVEL_BENCH=OFF
         -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# shellcheck disable=SC2086
cmake -S . -B "$build" "${args[@]}" ${CMAKE_ARGS:-} >&2
cmake --build "$build" -j "$(nproc)" >&2
mkdir -p "$out"
# CPack warns that qorvel_sqlite.so has no soname: a module has none.
(cd "$build" && cpack -G DEB -B "$out" >&2)
ls "$out"/qorvel_*.deb
