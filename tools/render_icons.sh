#!/usr/bin/env bash
# Renders the program's icon, icons/orchard-menu.svg, to the PNG sizes the
# desktop and the window use: icons/orchard-menu-<N>.png for N in 16, 32,
# 48, 64, 96 and 256. The PNGs are committed, so a normal build needs no
# SVG renderer; run this after changing the SVG and commit the results.
#   tools/render_icons.sh          (needs rsvg-convert: apt-get install librsvg2-bin)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
svg="$top/icons/orchard-menu.svg"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
for size in 16 32 48 64 96 256; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$top/icons/orchard-menu-$size.png" "$svg"
done
