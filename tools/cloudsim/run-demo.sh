#!/usr/bin/env bash
# Builds the cloud simulator and the demo's files, then serves the demo fixture:
#   tools/cloudsim/run-demo.sh [BUILD_DIR] [tamo-cloudsim options...]
# The first output line is the API base URL (for TAMO_API_URL).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build}
shift || true
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tamo-cloudsim cloudsim_demo_files >&2
exec "$build/tools/cloudsim/tamo-cloudsim" \
  --fixture "$here/tools/cloudsim/fixtures/demo.json" \
  --files "$build/tools/cloudsim/demo-files" \
  --state "$build/tools/cloudsim/demo-state.json" "$@"
