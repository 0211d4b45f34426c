#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [extra CMake arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:?build directory}
shift
cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)"
