#!/usr/bin/env bash
# Installs the Debian packages that building and testing QORVEL needs.
# Idempotent: installs only what is missing. Runs as root, or through sudo.
#   scripts/install-deps.sh [clang] [coverage] [postgresql] [windows]
#     clang     also clang and its sanitizer and fuzzer runtimes
#     coverage  also gcovr, which sums gcov's line counts
#     postgresql  also the PostgreSQL server (tests start their own)
#     windows   also the mingw-w64 cross compilers, widl, Wine, zip, and npm
#               (which fetches SQLite's source for the Windows builds)
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache   # the build
  libsqlite3-dev                     # the engine's mirror and SQLite files
  libpq-dev                          # the PostgreSQL back end
  mdbtools                           # mdb-export, the tests' independent reader of .mdb files
  sqlite3 groff-base man-db bsdextrautils  # the SQLite extension's and the manual page's tests
  dpkg-dev                           # the Debian package (dpkg-shlibdeps)
  libgtest-dev libbenchmark-dev      # tests and benchmarks
)
for extra in "$@"; do
  case "$extra" in
    clang) packages+=(clang libclang-rt-14-dev) ;;
    coverage) packages+=(gcovr) ;;
    postgresql) packages+=(postgresql) ;;
    windows)
      packages+=(mingw-w64 mingw-w64-tools libwine-dev wine64 zip)
      # Debian's npm only where there is none: a Node.js installed from
      # elsewhere brings its own, which Debian's would conflict with.
      command -v npm >/dev/null || packages+=(npm)
      ;;
    *) echo "install-deps: unknown group '$extra'" >&2; exit 2 ;;
  esac
done

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
