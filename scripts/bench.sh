#!/usr/bin/env bash
# Runs every benchmark of the build folder, then the import queue benchmark
# (which runs queue_bench itself, after its run of the service). The quote
# import benchmark (quote_import_bench) is one of the former.
set -euo pipefail
build=${1:-build}
for b in "$build"/*_bench; do
  if [ "$(basename "$b")" = queue_bench ] || [ ! -x "$b" ]; then continue; fi
  "$b"
done
bash "$(dirname "$0")/bench_queue.sh" "$build"
