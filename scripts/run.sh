#!/usr/bin/env bash
# Sets up, builds and starts the application with its log file switched on.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting the application in a virtual X server." >&2
  exec xvfb-run -a build/src/app/Tamo -l "$@"
fi
exec build/src/app/Tamo -l "$@"
