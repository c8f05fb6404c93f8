#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: a fresh cluster in a folder of
# its own, listening on a Unix socket in that folder only (no TCP port), run
# as the `postgres` user when started by root (initdb refuses root).
#   scripts/pg-server.sh start DIR   makes and starts the cluster in DIR (a new
#                                    or empty folder); prints its URI
#   scripts/pg-server.sh stop DIR    stops it and removes DIR
#   scripts/pg-server.sh down DIR    stops the server, keeping the cluster
#   scripts/pg-server.sh up DIR      starts the server of DIR again
#   scripts/pg-server.sh uri DIR     prints the URI of the cluster in DIR
# The server's superuser is `postgres` with trust authentication on the
# socket; the database is `postgres`. Members of the role `password_login`
# (which tests create) sign in with their password instead.
set -euo pipefail

command="${1:-}"
dir="${2:-}"
[ -n "$command" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|down|up|uri DIR" >&2; exit 2; }

bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
[ -x "$bin/initdb" ] || { echo "pg-server: no PostgreSQL server installed (Debian package postgresql)" >&2; exit 3; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

uri() { echo "postgresql:///postgres?host=$(cd "$1" && pwd)/socket&user=postgres"; }

server_up() {
  as_owner "$bin/pg_ctl" --pgdata="$1/data" --log="$1/server.log" --wait \
    --options="-c listen_addresses='' -c unix_socket_directories='$1/socket' -c fsync=off" \
    start >/dev/null || { cat "$1/server.log" >&2; exit 1; }
}

case "$command" in
  start)
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    if [ "$(id -u)" -eq 0 ]; then
      chown postgres: "$dir"
      runuser -u postgres -- test -w "$dir" ||
        { echo "pg-server: the postgres user cannot reach $dir (a parent folder is private)" >&2; exit 1; }
    fi
    as_owner mkdir -p "$dir/socket"
    as_owner "$bin/initdb" --pgdata="$dir/data" --username=postgres --auth=trust \
      --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    hba="$dir/data/pg_hba.conf"
    as_owner sh -c "{ echo 'local all +password_login scram-sha-256'; cat '$hba'; } >'$hba.new' && mv '$hba.new' '$hba'"
    server_up "$dir"
    uri "$dir"
    ;;
  down)
    as_owner "$bin/pg_ctl" --pgdata="$dir/data" --mode=fast --wait stop >/dev/null
    ;;
  up)
    server_up "$(cd "$dir" && pwd)"
    ;;
  stop)
    [ -d "$dir/data" ] && as_owner "$bin/pg_ctl" --pgdata="$dir/data" --mode=fast --wait stop >/dev/null || true
    rm -rf "$dir"
    ;;
  uri) uri "$dir" ;;
  *) echo "usage: $0 start|stop|down|up|uri DIR" >&2; exit 2 ;;
esac
