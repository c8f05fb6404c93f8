#!/usr/bin/env bash
# Installs the Debian package with dpkg, uses what it installed (the tool,
# its manual page, the SQLite extension by name, the pkg-config file), then
# removes it and checks that none of its files remains. The package is
# removed (and purged) at the end whatever happens, since this machine is
# someone's.
#   scripts/deb-test.sh [PACKAGE.deb]    (default: scripts/package-deb.sh builds one)
# Runs as root, or through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."
deb="${1:-$(scripts/package-deb.sh | tail -1)}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

if dpkg-query -W -f='${Status}' qorvel 2>/dev/null | grep -q "install ok installed"; then
  echo "FAIL: a qorvel package is installed already; remove it first (dpkg -r qorvel)" >&2
  exit 1
fi
tmp="$(mktemp -d)"
trap '$sudo dpkg --purge qorvel >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT

$sudo dpkg -i "$deb" >/dev/null
# The files (not folders) the package owns, to look for after removal.
dpkg -L qorvel | while IFS= read -r f; do
  if [ -f "$f" ] || [ -L "$f" ]; then echo "$f"; fi
done > "$tmp/files"

passed=0 failed=0
check() {
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1)); echo "ok   $1"
  else
    failed=$((failed + 1)); printf 'FAIL %s\n  expected: %s\n  actual:   %s\n' "$1" "$2" "$3"
  fi
}
check "qorvel --version" "qorvel 1.03" "$(/usr/bin/qorvel --version)"
check "qorvel statement" "ACCOUNT STATEMENT" "$(cd "$tmp" && /usr/bin/qorvel statement 2>/dev/null | head -1 | cut -c1-17)"
check "man qorvel" "/usr/share/man/man1/qorvel.1" "$(man -w qorvel)"
check "the SQLite extension by name" "12345-6789" \
  "$(sqlite3 :memory: ".load qorvel_sqlite" "select FormatZip('123456789');")"
check "pkg-config" "1.3.0" "$(pkg-config --modversion qorvel)"
check "dependencies found, not typed: SQLite, libpq, and no libmdb" "libpq5 libsqlite3-0" \
  "$(dpkg-query -W -f='${Depends}' qorvel | grep -o -E 'libmdb[0-9]*|libsqlite3-0|libpq5' | sort | xargs)"

$sudo dpkg -r qorvel >/dev/null
left="$(while IFS= read -r f; do if [ -e "$f" ] || [ -L "$f" ]; then echo "$f"; fi; done < "$tmp/files")"
check "dpkg -r leaves none of the $(wc -l < "$tmp/files") files" "" "$left"
# The package had no configuration files; purging drops dpkg's record of it.
$sudo dpkg --purge qorvel >/dev/null
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
