#!/usr/bin/env bash
# Builds orchard.menu and opens it on the given directory (default: the
# directory you run this from).
#   scripts/run.sh [path]
# With no X display: ORCHARD_HEADLESS=1 scripts/run.sh [path] starts it on
# a virtual display, saves a screenshot, and exits.
set -euo pipefail
here=$(pwd)
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/deps.sh
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DORCHARD_TESTS=OFF -DORCHARD_BENCH=OFF >/dev/null
cmake --build build-run -j"$(nproc)" --target orchard-menu >/dev/null
bin="$top/build-run/app/orchard-menu"
cd "$here"

if [[ -n "${ORCHARD_HEADLESS:-}" ]]; then
  source "$top/scripts/xvfb.sh"
  start_xvfb
  shot="${ORCHARD_SCREENSHOT:-${TMPDIR:-/tmp}/orchard-menu.png}"
  "$bin" "$@" &
  pid=$!
  if xdotool search --sync --onlyvisible --name '^orchard\.menu$' >/dev/null 2>&1; then
    sleep 1
    import -window root "$shot"
    echo "Screenshot of orchard.menu saved to $shot"
  else
    echo "orchard.menu did not open its window" >&2
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit 0
fi

if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
  echo "orchard.menu needs an X display and found none (DISPLAY='${DISPLAY:-}'); to try it headless, run: ORCHARD_HEADLESS=1 $0 $*"
  exit 1
fi
exec "$bin" "$@"
