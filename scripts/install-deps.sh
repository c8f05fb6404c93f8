#!/usr/bin/env bash
# Installs the Debian packages that building and testing QORVEL needs.
# Idempotent: installs only what is missing. Runs as root, or through sudo.
set -euo pipefail

packages=(
  cmake g++ make pkg-config          # the build
  libsqlite3-dev                     # the engine's mirror and SQLite files
  mdbtools-dev mdbtools              # reading .mdb files; mdb-export for the tests
  libgtest-dev libbenchmark-dev      # tests and benchmarks
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "installing: ${missing[*]}"
if ! $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; then
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi
