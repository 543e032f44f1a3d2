#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and the address and undefined-
# behaviour sanitizers in their own build folder, then runs each for a while:
# imp_main_fuzz (the frame and the keyword dispatch with test importers) and
# import_fuzz (the real importers, both passes, on a seeded embedded database).
# Usage: scripts/fuzz.sh [seconds in all, default 60, split between them]
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
cmake --build "$build" -j "${JOBS:-2}" --target imp_main_fuzz import_fuzz
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The frame gets a third of the time, the real importers the rest.
frame_secs=$((secs / 3))
import_secs=$((secs - frame_secs))

corpus="$build/corpus/imp_main"
mkdir -p "$corpus"
# Seeds: a few well-formed files so the fuzzer starts inside the grammar.
printf '\001# c\n*A 1 x\n*E\na\n\nEND\n*F 12 m\n*B\n' >"$corpus/seed1"
printf '\003*OCOLOCA\r\n*REQGBOL\r*QT A B\n\n*G\n' >"$corpus/seed2"
printf '\005*A 2 d\n*A 3 e\n;x\n  // y\n\t#z\n*D a b\n' >"$corpus/seed3"
"$build/imp_main_fuzz" -max_total_time="$frame_secs" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$corpus"

# Seeds: every example file, and a news block holding a line over the
# frame's limit (longer inputs than libFuzzer's default are allowed for it).
# (An absolute path: the target works in a directory of its own.)
corpus="$PWD/$build/corpus/import"
mkdir -p "$corpus"
cp examples/*.txt "$corpus/"
{
  printf '*NW PETR 0 2024-05-10 -\r\nText\r\n'
  head -c 65600 /dev/zero | tr '\0' x
  printf '\r\nEND\r\n'
} >"$corpus/long_line"
"$build/import_fuzz" -max_total_time="$import_secs" -timeout=20 -rss_limit_mb=2048 \
  -max_len=70000 -print_final_stats=1 "$corpus"
