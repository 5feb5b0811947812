# Sourced: starts a private Xvfb with a 1920x1080 screen, exports DISPLAY,
# and stops the server when the sourcing shell exits.
start_xvfb() {
  local fdfile
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  trap 'kill $XVFB_PID 2>/dev/null || true' EXIT
  local i
  for i in $(seq 1 100); do
    [[ -s "$fdfile" ]] && break
    sleep 0.1
  done
  [[ -s "$fdfile" ]] || { echo "Xvfb did not start" >&2; rm -f "$fdfile"; return 1; }
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}
