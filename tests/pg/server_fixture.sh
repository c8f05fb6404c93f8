#!/usr/bin/env bash
# The PostgreSQL server of the back end's tests, as a CTest fixture.
#   server_fixture.sh start|stop DIR PG_SERVER_SCRIPT
# start makes a throwaway cluster (scripts/pg-server.sh) and writes its URI
# to DIR/uri, and the folder where tests may make clusters of their own to
# DIR/base; when no server can be started it writes the reason to
# DIR/skipped instead, and the tests skip. It never fails: a machine without
# PostgreSQL still passes the other tests. The cluster lives in DIR when the
# postgres user can reach it, else in a folder of its own under /tmp.
set -uo pipefail
command="$1"
dir="$2"
server="$3"

case "$command" in
  start)
    # A cluster an interrupted run left behind goes first.
    [ -f "$dir/base" ] && "$server" stop "$(cat "$dir/base")/cluster" >/dev/null 2>&1
    rm -rf "$dir"
    mkdir -p "$dir"
    base="$dir"
    if [ "$(id -u)" -eq 0 ] && ! runuser -u postgres -- test -x "$dir" 2>/dev/null; then
      base="$(mktemp -d /tmp/qorvel-pg.XXXXXX)"
      chmod 755 "$base"
    fi
    echo "$base" >"$dir/base"
    if uri="$("$server" start "$base/cluster" 2>"$dir/start.log")"; then
      echo "$uri" >"$dir/uri"
    else
      { echo "no PostgreSQL server could be started:"; cat "$dir/start.log"; } >"$dir/skipped"
      cat "$dir/skipped"
    fi
    ;;
  stop)
    if [ -f "$dir/base" ]; then
      base="$(cat "$dir/base")"
      "$server" stop "$base/cluster" || true
      [ "$base" = "$dir" ] || rm -rf "$base"
    fi
    rm -rf "$dir"
    ;;
esac
exit 0
