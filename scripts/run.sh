#!/usr/bin/env bash
# Builds orchard.menu and opens it on the given directory (default: the
# directory you run this from).
#   scripts/run.sh [path]
# With no X display: ORCHARD_HEADLESS=1 scripts/run.sh [path] starts it on
# a virtual display, saves a screenshot (to $ORCHARD_SCREENSHOT, default
# ${TMPDIR:-/tmp}/orchard-menu.png), and exits.
set -euo pipefail
here=$(pwd)
top=$(cd "$(dirname "$0")/.." && pwd)

no_display() {
  echo "orchard.menu needs an X display and found none (DISPLAY='${DISPLAY:-}'); to try it headless, run: ORCHARD_HEADLESS=1 $0 $*"
  exit 1
}
[[ -n "${ORCHARD_HEADLESS:-}" || -n "${DISPLAY:-}" ]] || no_display "$@"

cd "$top"
scripts/deps.sh
if [[ -z "${ORCHARD_HEADLESS:-}" ]] && ! xdpyinfo >/dev/null 2>&1; then
  no_display "$@"
fi
cmake -S . -B build-run -DCMAKE_BUILD_TYPE=Release -DORCHARD_TESTS=OFF -DORCHARD_BENCH=OFF >/dev/null
cmake --build build-run -j2 --target orchard-menu >/dev/null
bin="$top/build-run/app/orchard-menu"
cd "$here"

if [[ -z "${ORCHARD_HEADLESS:-}" ]]; then
  exec "$bin" "$@"
fi

source "$top/scripts/xvfb.sh"
start_xvfb
shot="${ORCHARD_SCREENSHOT:-${TMPDIR:-/tmp}/orchard-menu.png}"
"$bin" "$@" &
pid=$!
window=""
for _ in $(seq 1 200); do
  kill -0 "$pid" 2>/dev/null || break
  window=$(xdotool search --name '^orchard\.menu$' 2>/dev/null | head -n1 || true)
  [[ -n "$window" ]] && break
  sleep 0.1
done
status=0
if [[ -n "$window" ]]; then
  # The first frame is drawn as the window maps; give it a moment to land.
  sleep 1
  import -window root "$shot"
  echo "Screenshot of orchard.menu saved to $shot"
else
  echo "orchard.menu did not open its window" >&2
  status=1
fi
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
exit "$status"
