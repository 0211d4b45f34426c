#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its SVG (needs rsvg-convert,
# Debian package librsvg2-bin). Run after every change to the SVG; the PNGs are
# committed, so neither the build nor the package needs the renderer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
img=$here/src/ui/resources/img
for size in 48 128 256; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$img/app-icon-$size.png" "$img/app-icon.svg"
done
