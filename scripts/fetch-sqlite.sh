#!/usr/bin/env bash
# Provides SQLite's amalgamation (sqlite3.c, sqlite3.h) to the Windows builds,
# which compile SQLite themselves: Debian has no mingw-w64 build of it. The
# source is SQLite's own release tarball sqlite-autoconf-*.tar.gz, unmodified,
# as the npm package sqlite3 carries it in deps/. The package is fetched with
# npm; the package, the tarball inside it and the two files taken from it are
# each checked against the SHA-256 pinned below. The two files are kept in a
# cache outside the checkout, which later runs, other build folders and fresh
# clones reuse without the network:
#   ${XDG_CACHE_HOME:-$HOME/.cache}/qorvel/sqlite-<version>/
# Prints that folder. Idempotent and safe to run concurrently; a checksum
# mismatch stops it with an error and leaves the cache as it was.
set -euo pipefail

sqlite_version=3.52.0
npm_name=sqlite3
npm_version=6.0.1
npm_sha256=ab8d044a93e05bd031d7ea75547c7fa60387cdc259d27f93c0e3e2832c4b1df9
autoconf=sqlite-autoconf-3520000
autoconf_sha256=f6b50b0c103392af32a8be15b2b9d25959de9a00a70c3979128aafeaa5338b3f
sqlite3_c_sha256=a503acc9fe98f628eed36eb2aa2116a26f2541270d757f9b7cdbc2f19eb72b8f
sqlite3_h_sha256=37537d6131c1d2e507b34a6cee5590e27cedb7d82f543f257afbc72c0cbbcc22

cache="${XDG_CACHE_HOME:-${HOME:?}/.cache}/qorvel"
dest="$cache/sqlite-$sqlite_version"

# check FILE SHA256 WHAT: succeeds only when FILE has that checksum.
check() {
  local actual
  actual=$(sha256sum "$1" 2>/dev/null | cut -d' ' -f1) || true
  [ "$actual" = "$2" ] && return 0
  echo "fetch-sqlite: CHECKSUM MISMATCH for $3 ($1)" >&2
  echo "  expected ${2}" >&2
  echo "  found    ${actual:-no file}" >&2
  return 1
}

# checked_cache: succeeds when the cache holds both files intact; fails the
# script when it holds them damaged.
checked_cache() {
  [ -d "$dest" ] || return 1
  if ! check "$dest/sqlite3.c" "$sqlite3_c_sha256" "cached sqlite3.c" ||
     ! check "$dest/sqlite3.h" "$sqlite3_h_sha256" "cached sqlite3.h"; then
    echo "fetch-sqlite: the cache $dest is damaged; remove it and run again" >&2
    exit 1
  fi
}

if checked_cache; then
  echo "$dest"
  exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.sqlite.lock"
flock 9
if checked_cache; then  # another run filled it meanwhile
  echo "$dest"
  exit 0
fi

command -v npm >/dev/null ||
  { echo "fetch-sqlite: npm is needed to fetch $npm_name@$npm_version (scripts/install-deps.sh windows)" >&2; exit 1; }
work=$(mktemp -d "$cache/.fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "fetch-sqlite: fetching SQLite $sqlite_version ($npm_name@$npm_version from npm)" >&2
(cd "$work" && npm pack "$npm_name@$npm_version" --ignore-scripts --silent >/dev/null)
check "$work/$npm_name-$npm_version.tgz" "$npm_sha256" "npm package $npm_name@$npm_version"
tar -xzf "$work/$npm_name-$npm_version.tgz" -C "$work" --no-same-owner "package/deps/$autoconf.tar.gz"
check "$work/package/deps/$autoconf.tar.gz" "$autoconf_sha256" "$autoconf.tar.gz"
tar -xzf "$work/package/deps/$autoconf.tar.gz" -C "$work" --no-same-owner "$autoconf/sqlite3.c" "$autoconf/sqlite3.h"
check "$work/$autoconf/sqlite3.c" "$sqlite3_c_sha256" "sqlite3.c"
check "$work/$autoconf/sqlite3.h" "$sqlite3_h_sha256" "sqlite3.h"

mkdir "$work/out"
mv "$work/$autoconf/sqlite3.c" "$work/$autoconf/sqlite3.h" "$work/out/"
mv -T "$work/out" "$dest"
echo "$dest"
