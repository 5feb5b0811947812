#!/usr/bin/env bash
# The Windows program under wine: cross-builds it with its tests
# (scripts/build-windows.sh) and runs them with ctest in the build folder,
# on the X display in DISPLAY (a private Xvfb when none is set). ctest runs
# each cross-built suite under wine, the end-to-end table against
# orchard-menu.exe and the installer's checks, all in the build's own wine
# prefix, which tests/windows/wine_run.sh makes on first use, test fonts
# included.
#
# ORCHARD_WIN_BUILD picks the build folder (default build-windows-test);
# ORCHARD_HOST_BUILD a native build folder configured with the tests, whose
# test program drives the Windows program (default: one made inside the
# Windows build folder). Arguments are passed on to ctest (-R, -V, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ORCHARD_WIN_BUILD:-build-windows-test}

scripts/deps.sh xvfb xdotool x11-utils imagemagick icoutils unzip wixl
# What the prefix gets (tests/windows/wine_run.sh makes the emoji font with
# python3-fonttools), and the bidirectional test file of the suites.
scripts/deps.sh fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji \
  python3-fonttools unicode-data
ORCHARD_WIN_TESTS=1 scripts/build-windows.sh "$build" >/dev/null

if [[ -z ${DISPLAY:-} ]]; then
  source scripts/xvfb.sh
  start_xvfb
fi

status=0
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@") || status=$?
# The prefix's wineserver ends with the last of its programs; a wine that
# hangs is not left behind.
WINEPREFIX=$PWD/$build/wineprefix timeout 60 wineserver -k 2>/dev/null || true
if ((status != 0)); then
  echo "Windows tests failed" >&2
  exit 1
fi
echo "Windows tests passed"
