#!/usr/bin/env bash
# Sets up, builds and runs every test twice: in a normal build and in an
# AddressSanitizer + UndefinedBehaviorSanitizer build, then runs every fuzz
# target for 30 s (scripts/fuzz.sh). Any failure fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
# A sanitizer finding must fail the test that met it.
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1:allow_user_segv_handler=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_suite() {
  local dir=$1
  shift
  echo "== Building $dir"
  scripts/build.sh "$dir" "$@"
  echo "== Testing $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 600
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DTAMO_SANITIZE=ON
echo "== All tests passed in both builds"
# Every parser of outside input, 30 s on top of its seed corpus (a regression
# run of every kept finding included).
scripts/fuzz.sh all 30
