#!/usr/bin/env bash
# Coverage of the whole suite: builds into build-coverage (or DIR) with GCC's
# coverage counters, runs every test, then prints line and branch coverage of
# src/ and of tools/ (HTML reports in DIR/coverage/) and the tests' share of
# the code's lines. Usage: scripts/coverage.sh [DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$here/build-coverage}")
cd "$here"

scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
echo "== Building $dir"
scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=Debug -DTAMO_COVERAGE=ON

# Counters of an earlier run would add to this one's.
find "$dir" -name '*.gcda' -delete
echo "== Testing $dir"
tests_status=0
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 900 || tests_status=$?

# A tree configured without TAMO_COVERAGE (or one whose CMakeLists lacks it) writes no counters.
if [ -z "$(find "$dir" -name '*.gcda' -print -quit)" ]; then
  echo "== No coverage counters under $dir: was it configured with TAMO_COVERAGE=ON?" >&2
  exit 1
fi
mkdir -p "$dir/coverage"
# Branches that only exceptions or the compiler's own bookkeeping take are left
# out: they say nothing about what the tests exercise.
report() {
  local name=$1
  echo "== Coverage of $name/ (report: $dir/coverage/$name.html)"
  gcovr --root "$here" --object-directory "$dir" --filter "$here/$name/" \
    --exclude-throw-branches --exclude-unreachable-branches --gcov-ignore-parse-errors \
    -j "$(nproc)" --html-details "$dir/coverage/$name.html" --print-summary | grep -E '^(lines|branches):'
}
report src
report tools

# Non-blank lines that are not only a comment, in the languages of the code.
count_lines() {
  git ls-files -co --exclude-standard -- "$@" | grep -E '\.(cpp|h|hpp|cc|c|py|sh)$' \
    | xargs -d '\n' cat | grep -c -v -E '^\s*(//.*)?$' || true
}
tests=$(count_lines tests)
all=$(count_lines src tools bench tests)
echo "== Test share: $(awk -v t="$tests" -v a="$all" 'BEGIN { printf "%.1f", 100 * t / a }')% ($tests of $all non-blank, non-comment lines are tests)"

if [ "$tests_status" -ne 0 ]; then
  echo "== Some tests failed: the figures above are incomplete" >&2
fi
exit "$tests_status"
