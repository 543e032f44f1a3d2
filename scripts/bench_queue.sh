#!/usr/bin/env bash
# The import queue benchmark. A scratch directory under the build folder with
# an embedded database: the service user, owners without e-mail (so no mail
# is sent) and FILES queued files of LINES lines each (comments and
# placement records). One run of the service imports them under its
# 600-second budget; files per second come from the run's wall time and the
# count of its end line. Then the in-process benchmark (queue_bench) runs the
# same queue RUNS times and splits the time of the steps into the log, the
# database, the import engine and the local file.
#
# Usage: scripts/bench_queue.sh [BUILD]   (FILES=1000 LINES=10 OWNERS=4 RUNS=3
# GOAL=200 HISTORY=0 in the environment change the defaults; HISTORY entries
# imported a day earlier stay in the queue table, as a service that has run
# for a while leaves them). Exit status 1 when the run fails, imports fewer
# than FILES files or stays below GOAL files/s.
set -euo pipefail
build=${1:-build}
build="$(cd "$build" && pwd)"
files=${FILES:-1000}
lines=${LINES:-10}
owners=${OWNERS:-4}
runs=${RUNS:-3}
goal=${GOAL:-200}
history=${HISTORY:-0}
db="$build/zuninput-db"
dir="$build/bench-queue"
rm -rf "$dir" && mkdir -p "$dir"
cd "$dir"

"$db" init >/dev/null
printf 'bench-service-pw\n' | "$db" user add zunsvc --password-stdin --admin >/dev/null
for ((k = 1; k <= owners; k++)); do
  printf 'owner-pw\n' | "$db" user add "owner$k" --password-stdin >/dev/null
done
{
  printf '; queue benchmark file\r\n'
  for ((i = 2; i < lines; i++)); do printf '*OCOLOCA\r\n'; done
  if ((lines > 1)); then printf '; end\r\n'; fi
} >bench.txt
# One entry per owner through the tool; the tool opens the database for each
# entry (some 30 ms), so the others are copies of these made in one
# statement, the owners taken in turn.
first=$((files < owners ? files : owners))
for ((k = 1; k <= first; k++)); do "$db" enqueue bench.txt --user "owner$k" >/dev/null; done
if ((files > first)); then
  "$db" sql "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo)
    WITH RECURSIVE n(i) AS (SELECT $((first + 1)) UNION ALL SELECT i + 1 FROM n WHERE i < $files)
    SELECT f.uid, f.prioridade, f.mom, f.filename, f.conteudo
    FROM n JOIN import_files f ON f.id = (n.i - 1) % $owners + 1 ORDER BY n.i" >/dev/null 2>sql.txt
fi
if ((history > 0 && first > 0)); then
  "$db" sql "INSERT INTO import_files (uid, prioridade, mom, filename, conteudo, importtries,
      result, result_mom, done)
    WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $history)
    SELECT f.uid, 5, datetime(f.mom, '-1 day'), 'old' || n.i || '.txt', f.conteudo, 1, 0,
      datetime(f.mom, '-1 day'), 1
    FROM n JOIN import_files f ON f.id = (n.i - 1) % $first + 1 ORDER BY n.i" >/dev/null 2>>sql.txt
fi
queued=$("$db" sql "SELECT count(*) FROM import_files WHERE done = 0" | tail -n 1)
echo "queue benchmark: $queued files of $lines lines, $owners owners without e-mail," \
  "$history earlier entries, in $dir"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"

TIMEFORMAT='%3R %3U %3S'
status=0
{ time "$build/zuninput" -provider:SQLite -user:zunsvc -password:bench-service-pw \
  -MailGateway:http://127.0.0.1:9/ >console.txt 2>stderr.txt || status=$?; } 2>time.txt
read -r wall user sys <time.txt
count=$(grep -o 'QuantosImportou(ou tentou):[0-9]*' zuninput.log | tail -n 1 | cut -d: -f2)
count=${count:-0}
done_ok=$("$db" sql "SELECT count(*) FROM import_files WHERE done <> 0 AND result = 0
  AND filename NOT LIKE 'old%'" | tail -n 1)
fps=$(awk -v n="$count" -v t="$wall" 'BEGIN { printf "%.0f", (t > 0 ? n / t : 0) }')
cpu=$(awk -v u="$user" -v s="$sys" -v t="$wall" 'BEGIN { printf "%.2f", (t > 0 ? (u + s) / t : 0) }')
echo "service run: exit status $status, wall ${wall} s, cpu ${user} s user + ${sys} s sys" \
  "(cpu/wall $cpu), load average $(cut -d' ' -f1-3 /proc/loadavg) after"
echo "imported (end line): $count, done in the queue: $done_ok"
verdict=met
if ((fps < goal)); then verdict=MISSED; fi
echo "files per second: $fps (goal $goal: $verdict)"

if [ -x "$build/queue_bench" ]; then
  # The first run shows its database calls too; the others their figures.
  for ((r = 1; r <= runs; r++)); do
    echo "--- in-process run $r of $runs"
    "$build/queue_bench" --files "$files" --lines "$lines" --owners "$owners" \
      --history "$history" --dir "$dir/in-process" >in-process.txt || status=1
    if ((r == 1)); then cat in-process.txt; else grep -E '^(run:|wall |shares |per file:|machine:)' in-process.txt; fi
  done
else
  echo "(no $build/queue_bench: no shares)"
fi

if ((status != 0 || count != files || done_ok != files)) || [ "$verdict" != met ]; then exit 1; fi
