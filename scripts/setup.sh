#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the tools need.
# Idempotent: the package index is refreshed once, and only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev libudev-dev
  qt5-image-formats-plugins                            # WebP and TIFF pictures
  libcpp-httplib-dev libssl-dev openssl
  dfu-util
  python3 python3-pil
  imagemagick
  gcovr
  fonts-dejavu-core
  xvfb xauth
  xdotool libxcb1-dev                                  # the demo test types into and closes the window
  gdb                                                  # the demo test shows the stacks of a window that outlives its close
  qt5ct                                                # the screens test's dark desktop scheme
  dpkg-dev file lintian appstream desktop-file-utils   # the Debian package and its checks
  librsvg2-bin                                         # scripts/render-icon.sh
  clang libclang-rt-dev                                # scripts/fuzz.sh: clang and its libFuzzer and sanitizer runtimes
  systemd                                              # systemd-analyze checks the hub service unit
  tinyproxy-bin                                        # the cloud client's proxy tests (the program only, no service)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
