#!/usr/bin/env bash
# Installs QORVEL from a build folder into a temporary prefix and builds and
# runs tests/consumer against it three ways: found through the CMake
# package and through pkg-config (both on the shared library), and as the
# static library through the package's `static` component. Also checks that
# the installed headers include nothing but each other and standard headers.
#   BUILD_DIR           the build folder to install from (default: build)
#   QORVEL_SHARED_DIR   the folder with fixtures/ (default: ../shared)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
shared="${QORVEL_SHARED_DIR:-$PWD/../shared}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --build "$build" -j "$(nproc)" >/dev/null
cmake --install "$build" --prefix "$prefix" >/dev/null
echo "installed into $prefix:"
(cd "$prefix" && find . -type f -o -type l | sort | sed 's/^/  /')

foreign="$(grep -h '^#include' "$prefix"/include/qorvel/*.h |
           grep -v -E '^#include ("qorvel/[a-z_]+\.h"|<[a-z_]+>)$' || true)"
if [ -n "$foreign" ]; then
  echo "FAIL: the installed headers include more than themselves and the standard library:" >&2
  echo "$foreign" >&2
  exit 1
fi

fixture=()
if [ -f "$shared/fixtures/billing.mdb" ]; then
  fixture=("$shared/fixtures/billing.mdb")
fi
pc_dir="$(dirname "$(find "$prefix" -name qorvel.pc)")"

for way in cmake pkg-config static; do
  echo "== the consumer, QORVEL found through: $way"
  PKG_CONFIG_PATH="$pc_dir" cmake -S tests/consumer -B "$work/$way" -DQORVEL_FIND="$way" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/$way" -j "$(nproc)" >/dev/null
  needs_shared="$(readelf -d "$work/$way/consumer" | grep -c 'Shared library: \[libqorvel\.so\.1\]' || true)"
  if [ "$way" = static ] && [ "$needs_shared" != 0 ]; then
    echo "FAIL: the static consumer needs libqorvel.so.1" >&2; exit 1
  fi
  if [ "$way" != static ] && [ "$needs_shared" != 1 ]; then
    echo "FAIL: the consumer does not link libqorvel.so.1" >&2; exit 1
  fi
  "$work/$way/consumer" "${fixture[@]}"
done
