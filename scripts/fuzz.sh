#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the address and undefined-
# behaviour sanitizers in their own build folder, then runs each for a while.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-${FUZZ_SECONDS:-60}}
build=build-fuzz
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZUN_BUILD_FUZZERS=ON -DZUN_WERROR=ON -DZUN_BUILD_TESTS=OFF -DZUN_BUILD_BENCHMARKS=OFF \
  -DCMAKE_C_FLAGS="$san -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="$san" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target imp_main_fuzz
corpus="$build/corpus/imp_main"
mkdir -p "$corpus"
# Seeds: a few well-formed files so the fuzzer starts inside the grammar.
printf '\001# c\n*A 1 x\n*E\na\n\nEND\n*F 12 m\n*B\n' >"$corpus/seed1"
printf '\003*OCOLOCA\r\n*REQGBOL\r*QT A B\n\n*G\n' >"$corpus/seed2"
printf '\005*A 2 d\n*A 3 e\n;x\n  // y\n\t#z\n*D a b\n' >"$corpus/seed3"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$build/imp_main_fuzz" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus"
