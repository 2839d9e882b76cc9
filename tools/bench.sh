#!/usr/bin/env bash
# Runs the benches of a build (all of them, or those named) and writes their figures as one
# markdown table: each figure with its goal, "ok" or "over", and the baseline measured in the
# same run. A bench prints its figures as table rows (bench/BenchFigures.h); a bench that prints
# none yet gets a row that says so, and its whole output goes below the table.
#
#   bash tools/bench.sh [bench_viewer bench_handbook ...]
#
# BUILD_DIR (default build) holds the benches, built with the client (cmake --build build);
# BENCH_TABLE names the table (default $BUILD_DIR/bench/bench-table.md); each bench's output is
# kept beside it in logs/. The exit status is 1 when a figure is over its goal or a bench failed.
# Timings are wall-clock: run it on a quiet machine (the table notes the load at the start).
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
bench_dir=$BUILD_DIR/bench
table=${BENCH_TABLE:-$bench_dir/bench-table.md}
logs=$(dirname "$table")/logs
mkdir -p "$logs"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

if [ $# -gt 0 ]; then
  benches=("$@")
else
  mapfile -t benches < <(find "$bench_dir" -maxdepth 1 -type f -name 'bench_*' -perm -u+x \
    -printf '%f\n' | sort)
fi
[ ${#benches[@]} -gt 0 ] || { echo "no benches in $bench_dir: build first" >&2; exit 2; }

rows=$(mktemp)
notes=$(mktemp)
trap 'rm -f "$rows" "$notes"' EXIT
status=0
started=$(date '+%Y-%m-%d %H:%M')
load=$(cut -d' ' -f1-3 /proc/loadavg)

for bench in "${benches[@]}"; do
  program=$bench_dir/$bench
  log=$logs/$bench.log
  if [ ! -x "$program" ]; then
    echo "| $bench | not built | | | over | |" >>"$rows"
    status=1
    continue
  fi
  echo "== $bench" >&2
  t0=$(date +%s)
  timeout 1800 "$program" >"$log" 2>"$logs/$bench.err"
  code=$?
  echo "   $(( $(date +%s) - t0 )) s, exit $code" >&2
  # Figure rows: a first cell naming the bench, which leaves the heading and its rule out.
  found=$(grep -E "^\| $bench \|" "$log")
  if [ -n "$found" ]; then
    printf '%s\n' "$found" >>"$rows"
  else
    echo "| $bench | prints no figure rows yet: its output is below the table | | | | |" >>"$rows"
    { echo; echo "<details><summary>$bench</summary>"; echo; echo '```';
      cat "$log"; echo '```'; echo; echo "</details>"; } >>"$notes"
  fi
  if [ $code -ne 0 ]; then
    echo "| $bench | ended with exit status $code (see $log) | | | over | |" >>"$rows"
    status=1
  fi
done

over=$(grep -c '| over |' "$rows")
count=$(grep -cvE 'prints no figure rows' "$rows")
[ "$over" -eq 0 ] || status=1
{
  echo "# Bench figures"
  echo
  echo "$started on $(hostname), $(nproc) cores, load average at the start $load."
  echo "Each figure next to its goal and the baseline measured in the same run; $count rows, $over over."
  echo
  echo "| bench | figure | value | goal | verdict | baseline, same run |"
  echo "|---|---|---|---|---|---|"
  cat "$rows"
  cat "$notes"
} >"$table"
echo "table: $table ($count rows, $over over)" >&2
exit $status
