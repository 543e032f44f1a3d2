#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the ODBC provider's tests.
#   pg-cluster.sh start STATEFILE   initdb + start; writes the socket
#                                   directory to STATEFILE
#   pg-cluster.sh stop STATEFILE    stops the cluster and removes it
# The cluster runs as an unprivileged user (nobody when started by root),
# in a fresh temporary directory, listening only on a Unix socket there.
# Without PostgreSQL, start writes nothing and says so; the tests then skip
# (or fail under CI).
set -euo pipefail
cmd=${1:?start or stop}
state=${2:?state file}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(runuser -u nobody --)

case "$cmd" in
  start)
    rm -f "$state"
    if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
      echo "PostgreSQL is not installed: the PostgreSQL tier will not run"
      exit 0
    fi
    dir=$(mktemp -d /tmp/zun-pg.XXXXXX)
    chmod 700 "$dir"
    [ "$(id -u)" -eq 0 ] && chown nobody "$dir"
    cd "$dir"
    "${as_user[@]}" "$bin/initdb" -D "$dir/data" -U zun --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log"; exit 1; }
    "${as_user[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
      -o "-k $dir -c listen_addresses='' -c fsync=off" start >/dev/null ||
      { cat "$dir/server.log"; exit 1; }
    echo "$dir" >"$state"
    echo "PostgreSQL cluster on socket directory $dir"
    ;;
  stop)
    [ -f "$state" ] || exit 0
    dir=$(cat "$state")
    (cd "$dir" && "${as_user[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null) || true
    rm -rf "$dir" "$state"
    ;;
  *)
    echo "usage: $0 start|stop STATEFILE" >&2
    exit 2
    ;;
esac
