#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (unless BUILD_DIR already holds a
# build configured with -DQORVEL_FUZZ=ON) and runs each for a bounded time
# (default 300 seconds each), with its dictionary from fuzz/ and a seed
# corpus made here. A finding is saved as crash-<hash> (or leak-, timeout-)
# in the current folder; the script stops at the first fuzzer that finds
# one.
#   scripts/fuzz.sh [SECONDS]
#   BUILD_DIR   build folder (default: build-fuzz)
#   FUZZERS     the targets to run (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-300}"
build_dir="${BUILD_DIR:-build-fuzz}"
fuzzers="${FUZZERS:-formatters_fuzz dialect_fuzz loader_fuzz late_binding_fuzz}"
if ! grep -q "QORVEL_FUZZ:BOOL=ON" "$build_dir/CMakeCache.txt" 2>/dev/null; then
  BUILD_DIR="$build_dir" CC=clang CXX=clang++ \
    CMAKE_ARGS="-DQORVEL_FUZZ=ON -DQORVEL_BENCH=OFF ${CMAKE_ARGS:-}" scripts/build.sh
fi
# shellcheck disable=SC2086
cmake --build "$build_dir" --target $fuzzers -j "$(nproc)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Seeds. The dialect: the lookups' kind of statement. The loader: an input
# is a list of edits to a fixture (the fuzzer reads ../shared/fixtures
# itself), so its seeds are one edit into each region of each fixture.
# Late binding: a byte per method choice.
mkdir -p "$work/formatters_fuzz" "$work/dialect_fuzz" "$work/loader_fuzz" "$work/late_binding_fuzz"
printf '\x01SELECT Sum(Balance) FROM Credit WHERE PeopleID = 417 AND Active = 1' >"$work/dialect_fuzz/sum"
printf '\x01SELECT Max(Payment.DateEntered) FROM Payment INNER JOIN ActivityLog ON Payment.GUID = ActivityLog.GUID WHERE Payment.PeopleID=417 AND #3/31/2011# >= DateValue(Payment.DateEntered)' \
  >"$work/dialect_fuzz/join"
for lookup in 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15; do
  printf "\\x00\\x$(printf %02x "$lookup")AAAAAAAABBBBBBBB" >"$work/dialect_fuzz/lookup$lookup"
done
for fixture in 0 1 2 3 4 5 6 7; do
  for region in 0 1 2 3 4 5; do
    for at in 12 45 55; do
      printf "\\x$(printf %02x "$fixture")\\x01\\x$(printf %02x "$region")\\x00\\x01\\x$(printf %02x "$at")\\x02\\x00\\x80" \
        >"$work/loader_fuzz/f${fixture}r${region}a${at}"
    done
  done
done
for method in $(seq 0 23); do
  printf "\\x$(printf %02x "$method")\\x00\\x01\\x0bbilling.mdb" >"$work/late_binding_fuzz/m$method"
done

for fuzzer in $fuzzers; do
  dict="fuzz/${fuzzer%_fuzz}.dict"
  echo "== $fuzzer, $seconds s"
  "$build_dir/$fuzzer" -dict="$dict" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    "$work/$fuzzer"
done
