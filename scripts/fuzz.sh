#!/usr/bin/env bash
# Builds the fuzz targets with clang (-fsanitize=fuzzer,address,undefined) in
# build-fuzz/ and runs one target, or all of them, for SECONDS each on top of the
# seed corpus in fuzz/corpus/:
#   scripts/fuzz.sh [TARGET|all] [SECONDS]      (defaults: all, 30)
# TARGET is a name from fuzz/CMakeLists.txt, with or without "fuzz_". Any finding
# (crash, sanitizer report, leak, time-out, memory limit) fails the run; its input
# is kept in build-fuzz/findings/TARGET/. Inputs that found new coverage collect
# in build-fuzz/corpus/TARGET/, never in the repository. One summary line per
# target: executions per second and libFuzzer's cov: and ft: at the end.
# Environment: TAMO_FUZZ_BUILD (build folder), TAMO_FUZZ_TIMEOUT (seconds one
# input may take, default 25).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

target=${1:-all}
seconds=${2:-30}
build=${TAMO_FUZZ_BUILD:-$here/build-fuzz}
per_input=${TAMO_FUZZ_TIMEOUT:-25}

if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "fuzz.sh: SECONDS must be a positive whole number, not '$seconds'" >&2
  exit 2
fi

started=$(date +%s)
# Only the fuzz targets and what they link are built; the tests are left out.
# Line tables are enough for symbolised reports and compile faster than full
# debug information.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" -DTAMO_FUZZ=ON -DTAMO_BUILD_TESTS=OFF >/dev/null
mapfile -t all < <(sed -n 's/^tamo_add_fuzzer(\(fuzz_[a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
if [ "$target" = all ]; then
  targets=("${all[@]}")
else
  name=fuzz_${target#fuzz_}
  if ! printf '%s\n' "${all[@]}" | grep -qx "$name"; then
    echo "fuzz.sh: no fuzz target '$target'; there are: ${all[*]#fuzz_} (or all)" >&2
    exit 2
  fi
  targets=("$name")
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
for t in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/$t" ]; then
    echo "fuzz.sh: $t was not built: the compiler cannot link libFuzzer targets (see the configure warning)" >&2
    exit 1
  fi
done
built=$(date +%s)

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen

failed=()
summary=()
for t in "${targets[@]}"; do
  short=${t#fuzz_}
  seeds=fuzz/corpus/$short
  found=$build/corpus/$short
  findings=$build/findings/$short
  log=$build/logs/$short.log
  mkdir -p "$found" "$findings" "$(dirname "$log")" "$seeds"
  options=(-max_total_time="$seconds" -timeout="$per_input" -print_final_stats=1
           -artifact_prefix="$findings/")
  if [ -f "fuzz/dict/$short.dict" ]; then
    options+=(-dict="fuzz/dict/$short.dict")
  fi
  # Inputs beyond libFuzzer's default (the longest seed, at least 4 KB) where
  # real inputs are larger, with memory limits: an input that costs many times
  # its size in memory is a finding, not a slow pass.
  # The cloud's answers: up to 256 KiB (a campaign of many items), no single
  # allocation of 4 MiB or more (Qt's document of such an answer needs 2 at
  # most), the whole process within 1 GB (AddressSanitizer keeps much more than
  # the product itself: a 256 KiB answer that needs 20 MB plainly takes 480 MB here).
  case $short in
    cloud_answers) options+=(-max_len=262144 -rss_limit_mb=1024 -malloc_limit_mb=4) ;;
    http_answers) options+=(-max_len=65536) ;;
  esac
  echo "== Fuzzing $short for ${seconds} s (log: $log)"
  if "$build/fuzz/$t" "${options[@]}" "$found" "$seeds" >"$log" 2>&1; then
    status=ok
  else
    status=FAILED
    failed+=("$short")
    grep -E '^(==[0-9]+==ERROR|SUMMARY|artifact_prefix|Test unit written)|runtime error|ALARM|out-of-memory|deadly signal' \
      "$log" | head -20 >&2 || true
  fi
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.*corp: \([0-9]*\).*/\1/p' <<<"$last")
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=("$short: $status exec/s=${execs:-?} runs=${units:-?} cov=${cov:-?} ft=${ft:-?} corpus=${corp:-?}")
done

echo "== Fuzz summary (${seconds} s each; build $((built - started)) s, whole step $(($(date +%s) - started)) s)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz.sh: findings in: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
