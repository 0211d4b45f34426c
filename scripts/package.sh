#!/usr/bin/env bash
# Builds the Debian package: build/tamo-desktop_<version>_<arch>.deb.
# Reuses the build tree of scripts/build.sh and builds only what the package holds.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"

scripts/setup.sh
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build -j "$(nproc)" --target tamo_packaged
cpack --config build/CPackConfig.cmake -B build
