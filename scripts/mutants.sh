#!/usr/bin/env bash
# Planted faults: applies each one-line fault of a list, one at a time, to a
# scratch copy of the tree, rebuilds it incrementally, runs the suites the entry
# names and reverts. A fault that fails them is killed; one that passes is a
# survivor, a test the suite is missing. The last line is `killed=K planted=N`.
#
# Usage: scripts/mutants.sh [--list FILE] [--only REGEX] [--no-baseline]
#   --list FILE    the faults (default tests/mutants.txt; its head explains the format)
#   --only REGEX   plant only the entries whose name matches
#   --no-baseline  skip the run of every named suite on the unchanged copy
# TAMO_MUTANTS_DIR names the scratch folder (default build-mutants/ in the
# checkout): tree/ is the copy and tree/build/ its build folder, both kept for
# the next run (a build folder inside the copy lets ccache reuse the checkout's
# compilations).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
list=$here/tests/mutants.txt
only=
baseline=1
while [ $# -gt 0 ]; do
  case $1 in
    --list) list=$(realpath "$2"); shift 2 ;;
    --only) only=$2; shift 2 ;;
    --no-baseline) baseline=0; shift ;;
    *) echo "usage: $0 [--list FILE] [--only REGEX] [--no-baseline]" >&2; exit 2 ;;
  esac
done

work=$(realpath -m "${TAMO_MUTANTS_DIR:-$here/build-mutants}")
tree=$work/tree
build=$tree/build
logs=$work/logs
mkdir -p "$tree" "$logs"
export QT_QPA_PLATFORM=offscreen
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi

# The file operations, in Python for exact, literal text: the list's entries as
# NUL-separated fields, the copy of the checkout, and planting or reverting.
helper() {
  python3 - "$@" <<'PY'
import os, shutil, subprocess, sys

def entries(path):
    block, out = {}, []
    for line in open(path, encoding="utf-8").read().split("\n") + [""]:
        if line.startswith("#"):
            continue
        if not line.strip():
            if block:
                out.append(block)
            block = {}
            continue
        key, sep, value = line.partition(":")
        if not sep or key.strip() not in ("name", "file", "from", "to", "tests"):
            sys.exit(f"{path}: cannot read the line: {line}")
        block[key.strip()] = value.strip()
    for e in out:
        missing = [k for k in ("name", "file", "from", "to", "tests") if k not in e]
        if missing:
            sys.exit(f"{path}: entry {e.get('name', '?')} lacks {', '.join(missing)}")
    return out

cmd = sys.argv[1]
if cmd == "entries":
    for e in entries(sys.argv[2]):
        sys.stdout.write("\0".join([e["name"], e["file"], e["from"], e["to"], e["tests"]]) + "\0")
elif cmd == "sync":
    # Only files whose bytes differ are copied, so the build stays incremental.
    source, target = sys.argv[2], sys.argv[3]
    names = subprocess.run(["git", "-C", source, "ls-files", "-co", "--exclude-standard", "-z"],
                           check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {n for n in names if n and os.path.isfile(os.path.join(source, n))}
    for name in wanted:
        src, dst = os.path.join(source, name), os.path.join(target, name)
        data = open(src, "rb").read()
        if not os.path.exists(dst) or open(dst, "rb").read() != data:
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            # A fresh time stamp: the copy must look newer than what was built from it.
            shutil.copyfile(src, dst)
            shutil.copymode(src, dst)
    for root, dirs, files in os.walk(target):
        if root == target and "build" in dirs:
            dirs.remove("build")
        for f in files:
            rel = os.path.relpath(os.path.join(root, f), target)
            if rel not in wanted:
                os.remove(os.path.join(root, f))
elif cmd == "plant":
    path, old, new = sys.argv[2], sys.argv[3], sys.argv[4]
    if not os.path.isfile(path):
        sys.exit("the file is gone")
    text = open(path, encoding="utf-8").read()
    found = text.count(old)
    if found != 1:
        sys.exit("the original text is not in the file" if found == 0 else f"the original text is there {found} times")
    shutil.copy2(path, path + ".orig")
    open(path, "w", encoding="utf-8").write(text.replace(old, new))
elif cmd == "revert":
    # Touched after the move: the build must see the original as newer than the fault's objects.
    os.replace(sys.argv[2] + ".orig", sys.argv[2])
    os.utime(sys.argv[2])
PY
}

# Test names that a regex selects (a test's name is its target's name).
suites_of() {
  ctest --test-dir "$build" -N -R "$1" | sed -n 's/^ *Test *#[0-9]*: \([^ ]*\).*/\1/p'
}

build_for() {
  local targets
  targets=$(suites_of "$1")
  [ -n "$targets" ] || return 1
  # shellcheck disable=SC2086
  cmake --build "$build" -j "$(nproc)" --target $targets
}

run_suites() {
  ctest --test-dir "$build" -R "$1" -j "$(nproc)" --output-on-failure
}

echo "== Copying the checkout to $tree"
helper sync "$here" "$tree"
# Configured at every run: the test list that selects the targets must be the copy's.
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

names=() files=() froms=() tos=() regexes=()
while IFS= read -r -d '' name && IFS= read -r -d '' file && IFS= read -r -d '' from \
      && IFS= read -r -d '' to && IFS= read -r -d '' tests; do
  if [ -n "$only" ] && ! [[ $name =~ $only ]]; then
    continue
  fi
  names+=("$name") files+=("$file") froms+=("$from") tos+=("$to") regexes+=("$tests")
done < <(helper entries "$list")
planted=${#names[@]}

if [ "$baseline" = 1 ] && [ "$planted" -gt 0 ]; then
  all=$(IFS='|'; echo "${regexes[*]}")
  echo "== Baseline: every named suite on the unchanged copy"
  if ! build_for "$all" >"$logs/baseline.log" 2>&1 || ! run_suites "$all" >>"$logs/baseline.log" 2>&1; then
    echo "The suites fail without any planted fault (see $logs/baseline.log); nothing to measure." >&2
    exit 1
  fi
fi

killed=0
survivors=() stale=() broken=()
for i in "${!names[@]}"; do
  name=${names[$i]} file=${files[$i]} regex=${regexes[$i]}
  log=$logs/$(printf %s "$name" | tr -c 'A-Za-z0-9_.-' '_').log
  if ! why=$(helper plant "$tree/$file" "${froms[$i]}" "${tos[$i]}" 2>&1); then
    echo "STALE     $name: $file: $why"
    stale+=("$name")
    continue
  fi
  if ! build_for "$regex" >"$log" 2>&1; then
    echo "NO BUILD  $name (see $log)"
    broken+=("$name")
  elif run_suites "$regex" >>"$log" 2>&1; then
    echo "SURVIVED  $name: $file, suites '$regex' (see $log)"
    survivors+=("$name")
  else
    echo "killed    $name"
    killed=$((killed + 1))
  fi
  helper revert "$tree/$file"
done

# The copy is left as the checkout is, so that the next run starts from there.
[ ${#survivors[@]} -eq 0 ] || echo "survivors: ${survivors[*]}"
[ ${#broken[@]} -eq 0 ] || echo "not building: ${broken[*]}"
[ ${#stale[@]} -eq 0 ] || echo "stale: ${stale[*]}"
if [ ${#stale[@]} -gt 0 ]; then
  echo "Entries whose original text no longer matches count as not killed: update $list."
fi
echo "killed=$killed planted=$planted"
