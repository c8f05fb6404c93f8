#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer (clang, ccache, BUILD_DIR, default
# build-tsan) and runs the tests that put the library on several threads at
# once: eight threads, each with its own KX objects, calling every lookup
# and formatter on the same and different files; and the per-thread state
# of the module; and the process's shared copy of a file, loaded by many
# threads at once. Any report of the sanitizer fails the run.
#   scripts/tsan.sh
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths inside the checkout are hashed relative to it, so that a fresh clone
# in another folder (as CI makes) reuses the compiler cache.
export CCACHE_BASEDIR="$PWD"

build_dir="${BUILD_DIR:-build-tsan}"
scripts/install-deps.sh clang
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DQORVEL_TSAN=ON -DQORVEL_BENCH=OFF -DQORVEL_WERROR=ON \
  ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" --target kx_test mod_main_test jet_test -j "$(nproc)"

export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
"$build_dir/kx_test" --gtest_filter='ThreadsTest.*'
"$build_dir/mod_main_test" --gtest_filter='*Thread*'
"$build_dir/jet_test" --gtest_filter='LoadedFileTest.*'
