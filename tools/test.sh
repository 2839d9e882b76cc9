#!/usr/bin/env bash
# Installs what is missing, checks the format of the C++ sources, builds with warnings as
# errors and runs every test headless, in the C locale and again in ru_RU.UTF-8. Then builds the
# same suite with clang under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan,
# together with the fuzz targets), runs it there, failing on any report, and lets each fuzz
# target run briefly from its seeds.
# Tests labelled no_sanitizer are left out of that pass. VARNEL_SANITIZERS=0 stops after the
# first pass; VARNEL_FUZZ_SECONDS sets the fuzz time per target (default 8), FUZZ_SEED its seed
# (default 1: the same inputs on every run, see tools/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
stamp() { printf '== %s: %s\n' "$(date +%T)" "$*"; }

stamp "format"
# Every C++ file as the repository's .clang-format wants it.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

stamp "build"
# -O2 without debug information: the tests need none, and the build is quicker without.
BUILD_DIR=${BUILD_DIR:-build} bash tools/build.sh -DVARNEL_WERROR=ON \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
stamp "tests"
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --parallel "$(nproc)"

# Once more in the users' own locale (decimal comma, Russian names), every golden output the
# same. The locale is a configure setting of the tests only: nothing is rebuilt for it.
stamp "tests in ru_RU.UTF-8"
locale_pass() {
  cmake -S . -B "${BUILD_DIR:-build}" -DVARNEL_TEST_LOCALE="$1" >/dev/null
  [ "$1" = C.UTF-8 ] || ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --parallel "$(nproc)"
}
status=0
locale_pass ru_RU.UTF-8 || status=$?
locale_pass C.UTF-8
[ "$status" = 0 ] || exit "$status"

[ "${VARNEL_SANITIZERS:-1}" = 0 ] && exit 0
ASAN_DIR=${ASAN_BUILD_DIR:-build-asan}
stamp "sanitizer build"
# Warnings are the first pass's business; clang's own do not stop this one. -O1 and line
# tables only: what the sanitizers' reports need, built in a good deal less time than -O2 -g.
sanitizer_flags="-O1 -gline-tables-only -DNDEBUG"
CC=clang CXX=clang++ BUILD_DIR="$ASAN_DIR" bash tools/build.sh -DVARNEL_FUZZ=ON \
  -DVARNEL_WERROR=OFF -DVARNEL_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="$sanitizer_flags" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$sanitizer_flags"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tools/sanitizers.supp:print_suppressions=0
stamp "sanitizer tests"
ctest --test-dir "$ASAN_DIR" --output-on-failure --parallel "$(nproc)" --label-exclude no_sanitizer
stamp "fuzzing"
FUZZ_SEED=${FUZZ_SEED:-1} FUZZ_BUILD_DIR="$ASAN_DIR" FUZZ_NO_BUILD=1 bash tools/fuzz.sh "${VARNEL_FUZZ_SECONDS:-8}"
stamp "done"
