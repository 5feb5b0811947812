#!/usr/bin/env bash
# Draws one browser frame with the render tests' OpenGL set-up on a
# private virtual display and saves it as a PNG (default: the picture in
# docs/).
#   scripts/frame-picture.sh [out.png]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$top/docs/browser-frame.png}")
cd "$top"
scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORCHARD_TESTS=ON >/dev/null
cmake --build build -j2 --target frame_picture >/dev/null
source scripts/xvfb.sh
start_xvfb
build/tests/render/frame_picture "$out"
