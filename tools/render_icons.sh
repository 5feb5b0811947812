#!/usr/bin/env bash
# Renders the program's icon, icons/orchard-menu.svg, to the PNG sizes the
# desktop and the window use: icons/orchard-menu-<N>.png for every N in
# ORCHARD_ICON_SIZES of CMakeLists.txt (16, 24, 32, 48, 64, 96 and 256).
# The PNGs are committed, so a normal build needs no SVG renderer; run
# this after changing the SVG and commit the results.
#   tools/render_icons.sh          (needs rsvg-convert: apt-get install librsvg2-bin)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
svg="$top/icons/orchard-menu.svg"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }
# The sizes are those the build installs and builds into the window.
sizes=$(sed -n 's/^set(ORCHARD_ICON_SIZES \(.*\))$/\1/p' "$top/CMakeLists.txt")
[[ -n "$sizes" ]] || { echo "no ORCHARD_ICON_SIZES in CMakeLists.txt" >&2; exit 1; }
for size in $sizes; do
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$top/icons/orchard-menu-$size.png" "$svg"
done
