#!/usr/bin/env bash
# The web pages on the demo database: builds the demo (scripts/demo.sh) when
# build/demo has none, then serves build/demo/ZunInput.db until Ctrl-C,
# with the demo's service login for the checks. It prints the address and
# the demo's users.
set -uo pipefail
build=${1:-build}
port=${PORT:-8080}
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$build" && pwd)"
if [ ! -f "$build/demo/ZunInput.db" ]; then
  bash "$root/scripts/demo.sh" "$build" >/dev/null || exit 1
fi
cd "$build/demo" || exit 1
echo "Log in as ana.lima (password demo-owner-pw), an owner, or zunsvc (demo-service-pw), an operator."
# The demo's configuration file has no settings: the build's defaults hold.
ZUNINPUT_PASSWORD=demo-service-pw exec "$build/zuninput-web" --listen "127.0.0.1:$port" \
  -provider:SQLite -user:zunsvc -Config:"$build/demo/zuninput.conf"
