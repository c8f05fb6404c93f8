#!/usr/bin/env bash
# Renders the demo client's HTML statement in headless Chromium and saves a
# screenshot, to look at the page (and its ageing chart) as a browser draws
# it. Installs Debian's chromium when it is missing.
#   scripts/screenshot-statement.sh [OUT.png]     (default: build/statement.png)
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-build/statement.png}"
[ -x build/qorvel ] || scripts/build.sh
if ! command -v chromium >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq chromium >/dev/null
fi

page="$(mktemp --suffix=.html)"
profile="$(mktemp -d)"
trap 'rm -rf "$page" "$profile"' EXIT
build/qorvel statement --format html --output "$page"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --window-size=900,1400 \
  --screenshot="$(realpath -m "$out")" "file://$page" 2>/dev/null
echo "wrote $out"
