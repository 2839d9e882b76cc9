#!/usr/bin/env bash
# Runs every libFuzzer target of tests/fuzz (or those named) for a while, starting from its
# committed seeds, and prints how many inputs each one ran.
#
#   bash tools/fuzz.sh [seconds per target, default 300] [name...]
#
# CI lets each target run 8 seconds (tools/test.sh) from a fixed seed (FUZZ_SEED), so that one
# commit fuzzes the same way on every run and a red run can be replayed; a faster machine only
# goes further along the same inputs. Without FUZZ_SEED each run draws its own. A nightly run
# gives each target a quarter of an hour, about five hours for all of them, and finds what the
# fixed seed does not reach:
#
#   bash tools/fuzz.sh 900
#
# The targets are built with clang, AddressSanitizer and UndefinedBehaviorSanitizer in
# $FUZZ_BUILD_DIR (default build-asan, the build of the sanitizer test pass; FUZZ_NO_BUILD=1
# uses it as it is). Inputs that reach new code go to $FUZZ_BUILD_DIR/fuzz-corpus/<name>, kept
# between runs but not committed: copy the telling ones into tests/fuzz/corpus/<name>. A crash
# or a failed property stops that target, keeps its input in $FUZZ_BUILD_DIR/fuzz-artifacts
# and makes the script fail after the other targets have run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
[ $# -gt 0 ] && shift
BUILD_DIR=${FUZZ_BUILD_DIR:-build-asan}

if [ "${FUZZ_NO_BUILD:-0}" != 1 ]; then
  CC=clang CXX=clang++ BUILD_DIR="$BUILD_DIR" bash tools/build.sh -DVARNEL_FUZZ=ON \
    -DVARNEL_WERROR=OFF -DVARNEL_BUILD_BENCH=OFF
fi

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for target in "$BUILD_DIR"/fuzz/fuzz_*; do
    names+=("$(basename "$target" | sed 's/^fuzz_//')")
  done
fi

# A small quarantine: freed memory is reused sooner, which makes the targets several times
# faster and still finds a use after free in the input that causes it.
export ASAN_OPTIONS=${FUZZ_ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:quarantine_size_mb=16}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tools/sanitizers.supp:print_suppressions=0}
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8

failed=()
mkdir -p "$BUILD_DIR/fuzz-artifacts" "$BUILD_DIR/fuzz-logs"
printf '%-16s %12s %10s %8s  %s\n' target executions "exec/s" corpus result
for name in "${names[@]}"; do
  corpus="$BUILD_DIR/fuzz-corpus/$name"
  log="$BUILD_DIR/fuzz-logs/$name.log"
  mkdir -p "$corpus"
  status=ok
  if ! "$BUILD_DIR/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      ${FUZZ_SEED:+-seed="$FUZZ_SEED"} -timeout=20 -rss_limit_mb=2048 -artifact_prefix="$BUILD_DIR/fuzz-artifacts/$name-" \
      "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    status="FAILED (see $log)"
    failed+=("$name")
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(ls "$corpus" | wc -l)
  printf '%-16s %12s %10s %8s  %s\n' "$name" "${runs:-?}" "${speed:-?}" "$units" "$status"
done
if [ ${#failed[@]} -gt 0 ]; then
  for name in "${failed[@]}"; do
    echo "---- $name"
    grep -E -A30 'ERROR|property failed|runtime error|SUMMARY' "$BUILD_DIR/fuzz-logs/$name.log" | head -60
  done
  exit 1
fi
