#!/usr/bin/env bash
# Runs every benchmark of the build folder.
set -euo pipefail
build=${1:-build}
for b in "$build"/*_bench; do [ -x "$b" ] && "$b"; done
