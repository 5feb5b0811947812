# Sourced: start_xvfb starts a private Xvfb with a 1920x1080 screen and
# exports DISPLAY; the server stops when the sourcing shell exits (added
# in front of any EXIT trap the shell already has) or on stop_xvfb.
# A caller that sets its own EXIT trap afterwards calls stop_xvfb in it.
stop_xvfb() {
  if [[ -n "${XVFB_PID:-}" ]]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""
  fi
}

start_xvfb() {
  local fdfile previous
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fdfile" 2>/dev/null &
  XVFB_PID=$!
  # Keep what the caller's EXIT trap does, after stopping the server.
  eval "set -- $(trap -p EXIT)"
  previous=${3:-}
  trap "stop_xvfb${previous:+; $previous}" EXIT
  local i
  for i in $(seq 1 300); do
    [[ -s "$fdfile" ]] && break
    sleep 0.1
  done
  [[ -s "$fdfile" ]] || { echo "Xvfb did not start" >&2; rm -f "$fdfile"; return 1; }
  export DISPLAY=":$(head -n1 "$fdfile")"
  rm -f "$fdfile"
}
