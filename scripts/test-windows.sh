#!/usr/bin/env bash
# The Windows program under wine: builds it (scripts/build-windows.sh, with
# the unit suites), runs the unit suites in a private wine prefix, then runs
# orchard-menu.exe itself on the X display (a private Xvfb when DISPLAY is
# not set) and drives it with keys.
#
# Every wait is for evidence (wineboot done, window mapped, file written,
# pixels drawn), bounded so that a broken run fails instead of hanging.
# A wine that cannot start at all is a failure, never a skip.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${ORCHARD_WIN_BUILD:-build-windows-test}

scripts/deps.sh xvfb xdotool x11-utils imagemagick
ORCHARD_WIN_TESTS=1 scripts/build-windows.sh "$build" >/dev/null

if [[ -z ${DISPLAY:-} ]]; then
  source scripts/xvfb.sh
  start_xvfb
fi

export WINEPREFIX=$repo/$build/wineprefix WINEARCH=win64 WINEDEBUG=-all
# No dialogs offering to download Mono or Gecko: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# Runs "$@" until it succeeds, at most `limit` seconds; false when it never
# does.
wait_for() {
  local limit=$1
  shift
  local deadline=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# A fresh prefix takes wineboot its while; wineserver -w returns once every
# process of it has ended, so the prefix is complete afterwards.
prepare_prefix() {
  if [[ ! -f $WINEPREFIX/.orchard-ready ]]; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    timeout 600 wineboot --init >/dev/null 2>&1 || true
    timeout 600 wineserver -w || true
    if [[ ! -f $WINEPREFIX/system.reg || ! -d $WINEPREFIX/drive_c/windows ]]; then
      echo "wine could not set up a prefix in $WINEPREFIX" >&2
      exit 1
    fi
    touch "$WINEPREFIX/.orchard-ready"
  fi
  timeout 60 wine cmd /c exit 0 >/dev/null 2>&1 || { echo "wine does not start programs" >&2; exit 1; }
}

# C:\ as the Windows programs see it, and the Windows form of a path below /.
drive_c=$WINEPREFIX/drive_c
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

run_unit_suites() {
  local suite
  for suite in "$build"/tests/*/*_tests.exe "$build"/tests/*/*_test.exe; do
    [[ -f $suite ]] || continue
    echo "== $(basename "$suite") (wine)"
    if ! timeout 600 wine "$suite" --gtest_brief=1 </dev/null; then
      fail "$(basename "$suite")"
    fi
  done
}

# An application registered for the file type .orchtest that records the
# arguments it was started with (tests/app/launch_recorder_win32.cpp).
register_handler() {
  local recorder_dir=$1
  local command
  command="\"$(windows_path "$recorder_dir")\\launch_recorder.exe\" \"%1\""
  wine reg add 'HKCR\.orchtest' /ve /d orchtest.document /f >/dev/null
  wine reg add 'HKCR\orchtest.document\shell\open\command' /ve /d "$command" /f >/dev/null
}

# The selected line is red: enough pure red pixels in a screenshot.
red_pixels() {
  convert "$1" -fuzz 12% -fill white -opaque '#FF0000' -fill black +opaque white \
    -format '%[fx:int(mean*w*h)]' info:
}

screenshot_has_red() {
  import -window root "$1" 2>/dev/null && (($(red_pixels "$1") > 150))
}

marks_line_count() { [[ -f $1 ]] && (($(grep -c . "$1") >= $2)); }
file_has_line() { [[ -f $1 ]] && grep -qxF -- "$2" <(tr -d '\r' <"$1"); }
# The finished records of the recorder in folder $1: files named by a
# process id alone (beside them <pid>.cwd, and <pid>.part while written).
record_files() { find "$1/records" -maxdepth 1 -type f -regex '.*/[0-9]+$' 2>/dev/null; }
record_arrived() { [[ -n $(record_files "$1") ]]; }
record_text() { record_files "$1" | xargs -r -d '\n' cat | tr -d '\r'; }
window_focused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }

upper_md5() { printf '%s' "$1" | md5sum | cut -c1-32 | tr a-f A-F; }

end_to_end() {
  echo "== orchard-menu.exe end to end (wine)"
  local root
  root=$(mktemp -d "$repo/$build/e2e.XXXXXX")
  local dir=$root/list recorder=$root/recorder
  mkdir -p "$dir" "$recorder/records"
  cp "$build/tests/app/launch_recorder.exe" "$recorder/"
  register_handler "$recorder"
  # A document whose name a command interpreter would take apart.
  local document='z&mkdir PWNED&y ^(x) 100%.orchtest'
  : >"$dir/a.txt"
  : >"$dir/b.txt"
  : >"$dir/$document"
  # Listed as ".", "..", a.txt (selected first), b.txt, the document.
  local windir
  windir=$(windows_path "$dir")
  local settings appdata
  appdata=$(ls -d "$drive_c"/users/*/AppData/Roaming | grep -v /Public/ | head -n1)
  settings=$appdata/orchard.menu
  rm -rf "$settings"
  local marks
  marks=$settings/$(upper_md5 "$windir")

  (cd "$root" && exec timeout 300 wine "$repo/$build/app/orchard-menu.exe" "$windir" \
      >"$root/stdout" 2>"$root/stderr") &
  local pid=$!

  local wid=""
  wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^orchard\.menu$' 2>/dev/null | head -n1) || true
  if [[ -z $wid ]]; then
    fail "end to end: no orchard.menu window appeared"
    kill "$pid" 2>/dev/null || true
    return
  fi
  wait_for 60 screenshot_has_red "$root/first-frame.png" ||
    fail "end to end: no red selected line in the first frame ($root/first-frame.png)"
  [[ $(xprop -id "$wid" _NET_WM_ICON 2>/dev/null) == *"Icon ("* ]] ||
    fail "end to end: the window carries no icon"

  local expected_out
  expected_out=$(printf '\norchard-menu.exe - by %s\n       usage:  orchard-menu.exe <path>\n\n' \
    "the orchard.menu developers <dev@orchard.menu>")
  wait_for 30 grep -q usage: "$root/stdout" || true
  # Standard output is in text mode: CR LF line ends.
  [[ $(tr -d '\r' <"$root/stdout") == "$(printf '%s' "$expected_out")" ]] ||
    fail "end to end: start-up lines differ: $(cat -A "$root/stdout")"

  # Keys go to the focused window; wine focuses its window itself once it
  # is mapped, and is asked to when it has not yet.
  xdotool windowfocus "$wid" 2>/dev/null || true
  wait_for 30 window_focused "$wid" || fail "end to end: the window never got the focus"

  # Down to b.txt and mark it: the marks file under %APPDATA% holds the
  # selection 3 and b.txt marked, in CR LF lines, under the MD5 of the path.
  xdotool key Down t
  local b_key doc_key
  b_key=$(upper_md5 b.txt)
  doc_key=$(upper_md5 "$document")
  wait_for 60 file_has_line "$marks" "$b_key 1" ||
    fail "end to end: no marks file $marks with b.txt marked"
  if [[ -f $marks ]]; then
    [[ $(sed -n 2p "$marks") == $'3\r' ]] || fail "end to end: selection not stored as 3"
    [[ $(head -n1 "$marks" | od -An -c | tr -s ' ') == *'\r \n'* ]] ||
      fail "end to end: marks file lines do not end in CR LF"
    (($(grep -c $'\r$' "$marks") == $(wc -l <"$marks"))) ||
      fail "end to end: some marks file lines lack the CR"
  fi

  # Enter on the document: it is marked and reaches the registered
  # application exactly as named, and nothing in its name runs.
  xdotool key Down Return
  wait_for 60 record_arrived "$recorder" || fail "end to end: the document never reached its application"
  local record
  record=$(record_text "$recorder")
  [[ $record == "$windir\\$document" ]] ||
    fail "end to end: the application got [$record], not [$windir\\$document]"
  wait_for 30 file_has_line "$marks" "$doc_key 1" || fail "end to end: the launched document is not marked"
  [[ -z $(find "$root" "$drive_c" -maxdepth 3 -name PWNED 2>/dev/null) ]] ||
    fail "end to end: a command in the document's name ran"
  wait_for 30 screenshot_has_red "$root/after-keys.png" || fail "end to end: no red selected line after the keys"

  # Escape saves and ends the program with status 0. The launched
  # application may have taken the focus, as it would on Windows.
  xdotool windowfocus "$wid" 2>/dev/null || true
  wait_for 30 window_focused "$wid" || fail "end to end: the window did not get the focus back"
  xdotool key Escape
  local status=0
  wait "$pid" || status=$?
  ((status == 0)) || fail "end to end: the program ended with status $status"
  [[ $(sed -n 2p "$marks") == $'4\r' ]] || fail "end to end: selection 4 not saved on quit"
  echo "   screenshots: $root/first-frame.png $root/after-keys.png"
}

# Names in any script, end to end, from a folder of the program's own that
# also holds a planted glu32.dll, with %APPDATA% under a Cyrillic user name:
# the start folder "café" has an old marks file keyed by its code page 1252
# bytes, whose marks and selection come back; Enter hands a Cyrillic
# document to its application exactly; the "日本" folder and a folder beyond
# 260 characters inside it open, and a document there launches; back in
# "café", a script runs in its own folder; the planted DLL never runs.
end_to_end_names() {
  echo "== orchard-menu.exe end to end: names in any script (wine)"
  local root
  root=$(mktemp -d "$repo/$build/e2e-names.XXXXXX")
  local app=$root/app recorder=$root/recorder dir=$root/café
  local japan=$dir/日本
  local deep=$japan/$(printf 'd%.0s' $(seq 1 250))
  mkdir -p "$app" "$recorder/records" "$deep"
  cp "$build/app/orchard-menu.exe" "$build/tests/app/planted/glu32.dll" "$app/"
  cp "$build/tests/app/launch_recorder.exe" "$recorder/"
  register_handler "$recorder"
  : >"$dir/né.txt"
  # The script writes into its working folder.
  printf '@cd > where.txt\r\n' >"$dir/where.bat"
  local document='Привет.orchtest'
  printf '%s' "$document" >"$dir/$document"
  printf 'long' >"$deep/long.orchtest"
  local windir wdeep
  windir=$(windows_path "$dir")
  wdeep=$(windows_path "$deep")
  ((${#wdeep} + 14 > 300)) || fail "end to end names: the deep path is only ${#wdeep} characters"
  local appdata=$root/Сергей/AppData/Roaming
  local settings=$appdata/orchard.menu
  mkdir -p "$settings"
  # Listed as ".", "..", [日本], né.txt, where.bat, Привет.orchtest; the old
  # file marks né.txt and selects the document.
  local old_key ne_old_key
  old_key=$(printf '%s' "$windir" | iconv -f UTF-8 -t CP1252 | md5sum | cut -c1-32 | tr a-f A-F)
  ne_old_key=$(printf 'né.txt' | iconv -f UTF-8 -t CP1252 | md5sum | cut -c1-32 | tr a-f A-F)
  printf '3\r\n5\r\n%s 0\r\n%s 0\r\n%s 7\r\n\r\n' "$(upper_md5 .)" "$(upper_md5 ..)" "$ne_old_key" \
    >"$settings/$old_key"
  local marks=$settings/$(upper_md5 "$windir")
  local japan_marks=$settings/$(upper_md5 "$(windows_path "$japan")")
  local deep_marks=$settings/$(upper_md5 "$wdeep")

  # Wine sets %APPDATA% from this key for every program it starts.
  local key='HKCU\Volatile Environment' saved_appdata
  saved_appdata=$(wine reg query "$key" /v APPDATA | tr -d '\r' | sed -n 's/^ *APPDATA *REG_SZ *//p')
  [[ -n $saved_appdata ]] || { fail "end to end names: no APPDATA in $key"; return; }
  wine reg add "$key" /v APPDATA /d "$(windows_path "$appdata")" /f >/dev/null
  (cd "$root" && exec timeout 300 wine "$app/orchard-menu.exe" "$windir" >"$root/stdout" 2>"$root/stderr") &
  local pid=$!
  local wid=""
  wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^orchard\.menu$' 2>/dev/null | head -n1) || true
  # The program has its environment by now; the next ones get wine's own.
  wine reg add "$key" /v APPDATA /d "$saved_appdata" /f >/dev/null
  if [[ -z $wid ]]; then
    fail "end to end names: no orchard.menu window appeared"
    kill "$pid" 2>/dev/null || true
    return
  fi
  wait_for 60 screenshot_has_red "$root/first-frame.png" ||
    fail "end to end names: no red selected line in the first frame"
  [[ ! -e $app/planted-dll-ran ]] || fail "end to end names: the planted glu32.dll ran"
  # After a console program wine keeps its own idea of the active window
  # until a click in ours (the browser ignores the mouse).
  focus() {
    xdotool mousemove --window "$wid" 400 300 click 1 2>/dev/null || true
    xdotool windowfocus "$wid" 2>/dev/null || true
    wait_for 30 window_focused "$wid" || fail "end to end names: the window did not get the focus ($1)"
  }

  # Enter on the document the old file selected.
  focus start
  xdotool key Return
  wait_for 60 record_arrived "$recorder" || fail "end to end names: $document never reached its application"
  local record
  record=$(record_text "$recorder")
  [[ $record == "$windir\\$document" ]] ||
    fail "end to end names: the application got [$record], not [$windir\\$document]"
  rm -f "$recorder"/records/*

  # Up to 日本 and into it: leaving "café" saves its marks under the UTF-8
  # key, the old mark of né.txt with them; the old file stays.
  focus document
  xdotool key Up Up Up Return
  wait_for 60 file_has_line "$marks" "$(upper_md5 né.txt) 7" ||
    fail "end to end names: the old mark of né.txt did not come back into $marks"
  file_has_line "$marks" "$(upper_md5 "$document") 1" || fail "end to end names: $document not marked"
  [[ -f $settings/$old_key ]] || fail "end to end names: the old marks file is gone"

  # Into the folder beyond 260 characters, and Enter on its document.
  xdotool key Return
  wait_for 60 file_has_line "$japan_marks" "2" ||
    fail "end to end names: 日本 did not open (no marks saved on leaving it)"
  xdotool key Return
  wait_for 60 record_arrived "$recorder" || fail "end to end names: long.orchtest never reached its application"
  record=$(record_text "$recorder")
  local got=""
  [[ -n $record ]] && got=$(wine cmd /c type "$record" 2>/dev/null | tr -d '\r')
  [[ $got == long ]] || fail "end to end names: the application got [$record], which is not long.orchtest"

  # Back up to "café" (its marks bring back the selection on 日本), down to
  # the script and Enter: it writes into its working folder, "café".
  focus long
  xdotool key BackSpace BackSpace
  wait_for 60 file_has_line "$deep_marks" "$(upper_md5 long.orchtest) 1" ||
    fail "end to end names: long.orchtest not marked in its folder's marks file"
  xdotool key Down Down Return
  wait_for 60 test -s "$dir/where.txt" ||
    fail "end to end names: the script did not run in its own folder ($(ls "$root"))"

  focus script
  xdotool key Escape
  wait_for 60 eval '! kill -0 "$pid" 2>/dev/null' || { fail "end to end names: Escape did not end it"; kill "$pid"; }
  local status=0
  wait "$pid" || status=$?
  ((status == 0)) || fail "end to end names: the program ended with status $status"
  file_has_line "$marks" "$(upper_md5 where.bat) 1" || fail "end to end names: where.bat not marked"
  [[ ! -e $app/planted-dll-ran ]] || fail "end to end names: the planted glu32.dll ran"
}

prepare_prefix
run_unit_suites
end_to_end
end_to_end_names
timeout 60 wineserver -k 2>/dev/null || true

if ((failures > 0)); then
  echo "Windows tests: $failures failed" >&2
  exit 1
fi
echo "Windows tests passed"
