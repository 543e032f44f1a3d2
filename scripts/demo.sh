#!/usr/bin/env bash
# Runs the service once in a fresh directory under the build folder.
set -uo pipefail
build=${1:-build}
demo="$build/demo"
rm -rf "$demo" && mkdir -p "$demo"
exe="$(cd "$build" && pwd)/zuninput"
(cd "$demo" && "$exe")
code=$?
echo "run ended with exit status $code"
echo "log: $(cd "$demo" && pwd)/zuninput.log"
