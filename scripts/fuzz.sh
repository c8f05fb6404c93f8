#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (unless BUILD_DIR already holds a
# build configured with -DQORVEL_FUZZ=ON) and runs each for a bounded time
# (default 300 seconds). A finding is saved as crash-<hash> in the current
# folder.
#   scripts/fuzz.sh [SECONDS]
#   BUILD_DIR   build folder (default: build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-300}"
build_dir="${BUILD_DIR:-build-fuzz}"
if ! grep -q "QORVEL_FUZZ:BOOL=ON" "$build_dir/CMakeCache.txt" 2>/dev/null; then
  BUILD_DIR="$build_dir" CC=clang CXX=clang++ \
    CMAKE_ARGS="-DQORVEL_FUZZ=ON -DQORVEL_TESTS=OFF ${CMAKE_ARGS:-}" scripts/build.sh
fi
cmake --build "$build_dir" --target formatters_fuzz -j "$(nproc)"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
"$build_dir/formatters_fuzz" -dict=fuzz/formatters.dict -max_total_time="$seconds" "$corpus"
