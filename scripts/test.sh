#!/usr/bin/env bash
# Builds QORVEL (see build.sh) and runs every test.
#   BUILD_DIR, CMAKE_ARGS  as for build.sh
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/build.sh
build_dir="${BUILD_DIR:-build}"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
