#!/usr/bin/env bash
# Installs what is missing, then configures and builds QORVEL.
#   BUILD_DIR   build folder (default: build)
#   CMAKE_ARGS  extra arguments for cmake's configure step
#   CXX         the compiler (clang++ installs clang first)
# Compilations are cached with ccache.
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths inside the checkout are hashed relative to it, so that a fresh clone
# in another folder (as CI makes) reuses the compiler cache.
export CCACHE_BASEDIR="$PWD"

# The PostgreSQL server that the back end's tests start.
groups=(postgresql)
case "${CXX:-}" in *clang*) groups+=(clang) ;; esac
scripts/install-deps.sh "${groups[@]}"
build_dir="${BUILD_DIR:-build}"
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
