#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the formatters' fuzzer for
# a bounded time (default 300 seconds). Installs clang and its runtime when
# they are missing. A finding is saved as crash-<hash> in the current folder.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-300}"
missing=()
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
scripts/install-deps.sh

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQORVEL_FUZZ=ON -DQORVEL_TESTS=OFF -DQORVEL_BENCH=OFF >/dev/null
cmake --build build-fuzz --target formatters_fuzz -j "$(nproc)"
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
build-fuzz/formatters_fuzz -dict=fuzz/formatters.dict -max_total_time="$seconds" "$corpus"
