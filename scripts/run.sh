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

# The title bar is drawn last into the back buffer and the frame is shown
# whole, so its colour at the window's top-right corner means the first
# frame is on the screen.
frame_shown() {
  local pixel
  pixel=$(import -silent -window root -crop 1x1+1912+8 -depth 8 txt:- 2>/dev/null | tail -n1)
  [[ "$pixel" =~ \(([0-9]+),([0-9]+),([0-9]+) ]] || return 1
  local r=${BASH_REMATCH[1]} g=${BASH_REMATCH[2]} b=${BASH_REMATCH[3]}
  (( r <= 3 && g >= 22 && g <= 28 && b >= 48 && b <= 54 ))
}

shown=""
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  if frame_shown; then shown=1; break; fi
  sleep 0.1
done
status=0
if [[ -n "$shown" ]]; then
  import -window root "$shot"
  echo "Screenshot of orchard.menu saved to $shot"
else
  echo "orchard.menu did not show its first frame" >&2
  status=1
fi
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
exit "$status"
