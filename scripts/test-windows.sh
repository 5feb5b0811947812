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

scripts/deps.sh xvfb xdotool x11-utils imagemagick icoutils unzip wixl
# The fonts the prefix gets (install_test_fonts), what makes its emoji font,
# and the bidirectional test file of the unit suites.
scripts/deps.sh fonts-dejavu-core fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji \
  python3-fonttools unicode-data
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

# ---- Fonts ----
# The fonts names are drawn with, put where Windows keeps installed fonts:
# DejaVu Sans Bold, Noto Sans CJK Bold and the Noto Sans Bold faces for
# Arabic, Hebrew and Devanagari into the Fonts folder, listed under HKLM by
# bare file name; Noto Color Emoji (colour bitmaps only, which this build's
# FreeType cannot draw); and the user's own font, listed under HKCU with
# its full path under the name of the system's emoji font: Noto Color
# Emoji turned into outlines by tools/outline_emoji_font.py, which forms
# emoji sequences as a Windows emoji font does, is not bold and has an A,
# so that asking the emoji font first shows. Wine lists the host's fonts
# too, by Z: paths.
install_test_fonts() {
  local fonts=$drive_c/windows/Fonts machine='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
  local user_fonts user='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Fonts'
  user_fonts=$(ls -d "$drive_c"/users/*/AppData/Local | grep -v /Public/ | head -n1)/Microsoft/Windows/Fonts
  mkdir -p "$fonts" "$user_fonts"
  local row name file source
  for row in "DejaVu Sans Bold|DejaVuSans-Bold.ttf|/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf" \
             "Noto Sans CJK JP Bold & Noto Sans CJK KR Bold & Noto Sans CJK SC Bold|NotoSansCJK-Bold.ttc|/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc" \
             "Noto Sans Arabic Bold|NotoSansArabic-Bold.ttf|/usr/share/fonts/truetype/noto/NotoSansArabic-Bold.ttf" \
             "Noto Sans Hebrew Bold|NotoSansHebrew-Bold.ttf|/usr/share/fonts/truetype/noto/NotoSansHebrew-Bold.ttf" \
             "Noto Sans Devanagari Bold|NotoSansDevanagari-Bold.ttf|/usr/share/fonts/truetype/noto/NotoSansDevanagari-Bold.ttf" \
             "Noto Color Emoji|NotoColorEmoji.ttf|/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf"; do
    IFS='|' read -r name file source <<<"$row"
    [[ -s $source ]] || { echo "the font $source is missing" >&2; exit 1; }
    ln -sf "$source" "$fonts/$file"
    wine reg add "$machine" /v "$name (TrueType)" /d "$file" /f /reg:64 >/dev/null
  done
  # Debian's python3, where python3-fonttools is.
  /usr/bin/python3 tools/outline_emoji_font.py /usr/share/fonts/truetype/noto/NotoColorEmoji.ttf \
    "$user_fonts/orchard-emoji.ttf" || { echo "the test emoji font could not be made" >&2; exit 1; }
  local in_c=${user_fonts#"$drive_c"}
  wine reg add "$user" /v "Segoe UI Emoji (TrueType)" /d "C:${in_c//\//\\}\\orchard-emoji.ttf" /f /reg:64 >/dev/null
}

run_unit_suites() {
  local suite
  # Unicode's conformance file for the bidirectional algorithm.
  local bidi_test=/usr/share/unicode/BidiCharacterTest.txt
  [[ -s $bidi_test ]] || { echo "$bidi_test is missing" >&2; exit 1; }
  export ORCHARD_BIDI_CHARACTER_TEST
  ORCHARD_BIDI_CHARACTER_TEST=$(windows_path "$bidi_test")
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
# The key of a name that code page 1252 (wine's ANSI code page here) holds.
ansi_md5() { printf '%s' "$1" | iconv -f UTF-8 -t CP1252 | md5sum | cut -c1-32 | tr a-f A-F; }

# The id of the orchard.menu window once it is mapped; nothing when none
# appears within two minutes.
program_window() {
  # `search --sync` gives up at once, printing nothing, when a window it is
  # looking at goes away under it (wine maps and drops helper windows while
  # a program starts), so it is asked again until the deadline.
  local deadline=$((SECONDS + 120)) wid=""
  while [[ -z $wid ]] && ((SECONDS < deadline)); do
    wid=$(timeout $((deadline - SECONDS)) xdotool search --sync --onlyvisible --name '^orchard\.menu$' 2>/dev/null | head -n1 || true)
  done
  echo "$wid"
}

# The names of the windows on the screen, for a failure's message.
shown_windows() { xdotool search --onlyvisible --name . getwindowname %@ 2>&1 | tr '\n' '|'; }

# Starts `exe` on folder `windir` in folder `root` (its output in
# root/stdout and root/stderr) and waits for its window and a first frame
# with the red selected line. Sets the caller's `pid` and `wid`; fails
# under `label` and returns 1 when no window appears.
start_program() {
  local label=$1 exe=$2 windir=$3 root=$4
  (cd "$root" && exec timeout 300 wine "$exe" "$windir" >"$root/stdout" 2>"$root/stderr") &
  pid=$!
  wid=$(program_window)
  if [[ -z $wid ]]; then
    fail "$label: no orchard.menu window appeared; windows shown: [$(shown_windows)]"
    kill "$pid" 2>/dev/null || true
    return 1
  fi
  wait_for 60 screenshot_has_red "$root/first-frame.png" ||
    fail "$label: no red selected line in the first frame ($root/first-frame.png)"
}

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

  local pid wid
  start_program "end to end" "$repo/$build/app/orchard-menu.exe" "$windir" "$root" || return
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

# ---- What users get: the zip, the program's resources and the installer ----
# A silent install of the MSI puts the program, the licences, the Start-menu
# shortcut, the folder and drive verbs and the uninstall entry in place; the
# installed program starts on a folder and on a drive handed to it the way
# the verbs hand them; a silent uninstall takes all of it away and leaves
# the user's marks files. Two rounds in a row, and an upgrade, leave the
# prefix as it was, but for Windows Installer's own empty bookkeeping keys
# that its first use creates (a Windows machine always has them).

# The first icon group is the one Explorer shows: at 32-bit colour in
# every size it asks for, the 256 px one PNG-compressed. GLUT_ICON keeps
# the window's six images.
check_icon_groups() {
  local exe=$1 work=$2
  local groups
  groups=$(wrestool -l --type=group_icon "$exe" | sed -n "s/.*--name='\([^']*\)'.*/\1/p" | tr '\n' ' ')
  [[ $groups == "APP_ICON GLUT_ICON " ]] || fail "resources: icon groups are [$groups], not APP_ICON then GLUT_ICON"
  local row group expected ico listed
  for row in "APP_ICON|16x16x32 24x24x32 32x32x32 48x48x32 64x64x32 256x256x32" \
             "GLUT_ICON|16x16x32 32x32x4 32x32x8 48x48x32 64x64x32 96x96x32"; do
    group=${row%%|*}
    expected=${row#*|}
    ico=$work/$group.ico
    wrestool -x --type=group_icon --name="$group" -o "$ico" "$exe" 2>/dev/null || true
    listed=$(icotool -l "$ico" 2>/dev/null |
      sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1x\2x\3/p' | tr '\n' ' ')
    [[ $listed == "$expected " ]] || fail "resources: $group holds [$listed], not [$expected]"
  done
  # The 256 px image is the sixth entry of APP_ICON's directory.
  local offset magic
  offset=$(od -An -tu4 -j $((6 + 16 * 5 + 12)) -N4 "$work/APP_ICON.ico" 2>/dev/null | tr -d ' ')
  magic=$(od -An -tx1 -j "${offset:-0}" -N4 "$work/APP_ICON.ico" 2>/dev/null | tr -d ' ')
  [[ $magic == 89504e47 ]] || fail "resources: APP_ICON's 256 px image is not PNG-compressed"
}

# The version resource, read back: its strings and its fixed file version.
check_version_resource() {
  local exe=$1 version=$2 work=$3
  local raw=$work/version.bin
  wrestool -x --raw --type=version "$exe" >"$raw" 2>/dev/null || true
  # Each string value follows its key, NUL-separated, in UTF-16.
  local strings row key want got
  strings=$(iconv -c -f UTF-16LE -t UTF-8 "$raw" | tr '\0' '\n' | grep -av '^$' || true)
  for row in "FileVersion|$version" "ProductVersion|$version" "ProductName|orchard.menu" \
             "OriginalFilename|orchard-menu.exe" "CompanyName|the orchard.menu developers"; do
    key=${row%%|*}
    want=${row#*|}
    got=$(awk -v key="$key" 'found { print; exit } $0 ~ key "$" { found = 1 }' <<<"$strings")
    [[ $got == "$want" ]] || fail "resources: version $key is [$got], not [$want]"
  done
  for key in FileDescription LegalCopyright; do
    got=$(awk -v key="$key" 'found { print; exit } $0 ~ key "$" { found = 1 }' <<<"$strings")
    [[ -n $got ]] || fail "resources: version $key is empty"
  done
  # VS_FIXEDFILEINFO: its signature, then the structure version, then
  # major << 16 | minor and patch << 16 | build.
  local words major minor patch
  IFS=. read -r major minor patch <<<"$version"
  words=$(od -An -tx4 -v "$raw" | tr -s ' ' '\n' | grep -A3 '^feef04bd$' | tr '\n' ' ')
  [[ $words == "feef04bd 00010000 $(printf '%04x%04x %04x0000' "$major" "$minor" "$patch") " ]] ||
    fail "resources: fixed file version [$words] is not $version"
  # The settings the program's narrow calls rely on.
  local manifest
  manifest=$(wrestool -x --raw --type=24 "$exe" 2>/dev/null || true)
  local setting
  for setting in '<activeCodePage[^>]*>UTF-8</activeCodePage>' '<longPathAware[^>]*>true</longPathAware>' \
                 '<dpiAwareness[^>]*>PerMonitorV2'; do
    grep -q "$setting" <<<"$manifest" || fail "resources: the manifest lacks $setting"
  done
}

check_zip() {
  local zip=$1 dist=$2 work=$3
  local listed
  listed=$(unzip -Z1 "$zip" 2>/dev/null | sort | tr '\n' ' ')
  [[ $listed == "LICENSE.txt THIRD-PARTY-NOTICES.txt orchard-menu.exe " ]] ||
    fail "zip: holds [$listed], not the program, LICENSE.txt and THIRD-PARTY-NOTICES.txt"
  mkdir -p "$work/unzipped"
  unzip -q -o "$zip" -d "$work/unzipped" 2>/dev/null || true
  local name
  for name in orchard-menu.exe LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    cmp -s "$work/unzipped/$name" "$dist/$name" || fail "zip: $name differs from $dist/$name"
  done
  local sections
  sections=$(x86_64-w64-mingw32-objdump -h "$dist/orchard-menu.exe")
  grep -q debug_ <<<"$sections" && fail "zip: the program is not stripped"
  local notice
  for notice in 'Pawel W. Olszta' 'The OpenGL Extension Wrangler Library' 'mingw-w64 project' \
                'winpthreads' 'GCC RUNTIME LIBRARY EXCEPTION' 'Bitstream Vera' \
                'The FreeType Project LICENSE' 'Jean-loup Gailly' \
                'HarfBuzz is licensed under the so-called "Old MIT" license' 'Grigori Goronzy' \
                'Unicode data files' 'GNU LESSER GENERAL PUBLIC LICENSE' 'Behdad Esfahbod' \
                'delete prefix/lib/libfribidi.a'; do
    grep -qF "$notice" "$dist/THIRD-PARTY-NOTICES.txt" || fail "zip: THIRD-PARTY-NOTICES.txt lacks [$notice]"
  done
  grep -q 'MIT' "$dist/LICENSE.txt" || fail "zip: LICENSE.txt is not the MIT licence"
}

# The prefix as the installer could change it: every path below C:, and
# the machine's and the user's software registry, without wine's own
# per-session display settings.
prefix_state() {
  local work=$1 hive dump=$1/dump.reg
  # A file that wine removes while it is listed is no reason to stop here.
  (cd "$drive_c" && { find . -printf '%y %p\n' 2>/dev/null || true; } | LC_ALL=C sort)
  local try
  for hive in 'HKLM\Software' 'HKCU\Software'; do
    # On a busy machine an export now and then fails and writes nothing;
    # the registry is the same a moment later.
    for try in 1 2 3 4 5; do
      rm -f "$dump"
      wine reg export "$hive" "$(windows_path "$dump")" /y /reg:64 >/dev/null 2>&1 && [[ -s $dump ]] && break
    done
    if [[ ! -s $dump ]]; then
      fail "installer: reg export $hive failed five times"
      continue
    fi
    iconv -f UTF-16 -t UTF-8 "$dump" | tr -d '\r' |
      awk 'BEGIN { RS = ""; ORS = "\n\n" } !/^\[[^]]*\\Wine\\Temporary System Parameters/'
  done
}

# The installer is 64-bit and writes the registry's 64-bit view; a 32-bit
# reg.exe (Debian's usual set-up installs wine32 beside wine64) reads the
# other one unless told: every query of what it wrote says /reg:64.
reg_default() {
  wine reg query "$1" /ve /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}

# "version|publisher" of every uninstall entry named orchard.menu.
uninstall_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null | tr -d '\r' |
    awk '/^HKEY_/ { key = $0; keys[key] = 1; next }
         NF >= 2 { name = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); value[key, name] = $0 }
         END { for (k in keys) if (value[k, "DisplayName"] == "orchard.menu")
                 print value[k, "DisplayVersion"] "|" value[k, "Publisher"] }'
}

start_menu_links() {
  find "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" \
    "$drive_c"/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs \
    -maxdepth 1 -name orchard.menu.lnk 2>/dev/null || true
}

msiexec_quiet() {
  timeout 300 wine msiexec "$1" "$(windows_path "$2")" /qn >/dev/null 2>&1
}

# Starts what the verb of `class` (Directory or Drive) runs for `target`:
# Explorer puts the path in for %1 and hands the command line as it stands
# to CreateProcess, as a batch file does (the paths here hold nothing that
# cmd would expand). Escape saves the marks of the
# folder shown, which name every entry listed: `probe` is among them when
# the program listed the folder it was given.
run_through_verb() {
  local class=$1 target=$2 probe=$3 work=$4 settings=$5
  local command
  command=$(reg_default "HKCR\\$class\\shell\\orchard.menu\\command")
  [[ -n $command ]] || { fail "installer: no $class verb"; return; }
  printf '%s\r\n' "${command//%1/"$target"}" >"$work/verb.bat"
  (exec timeout 300 wine cmd /c "$(windows_path "$work/verb.bat")" >"$work/verb.out" 2>&1) &
  local pid=$! wid started=$SECONDS
  wid=$(program_window)
  if [[ -z $wid ]]; then
    fail "installer: the $class verb opened no window for $target in $((SECONDS - started)) s;" \
      "windows shown: [$(shown_windows)]," \
      "verb output: [$(tr '\r\n' '  ' <"$work/verb.out")]"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return
  fi
  xdotool windowfocus "$wid" 2>/dev/null || true
  wait_for 30 window_focused "$wid" || fail "installer: the window of the $class verb never got the focus"
  xdotool key Escape
  wait "$pid" || fail "installer: the $class verb's program did not end cleanly"
  local key
  key=$(upper_md5 "$probe")
  local lines
  lines=$(cat "$settings"/* 2>/dev/null | tr -d '\r')
  grep -qx "$key 0" <<<"$lines" ||
    fail "installer: the $class verb did not open $target (no marks naming $probe)"
}

installed_in_place() {
  local dist=$1 version=$2
  local installed=$drive_c/Program\ Files/orchard.menu name
  for name in orchard-menu.exe LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    cmp -s "$installed/$name" "$dist/$name" || fail "installer: $installed/$name missing or not the built one"
  done
  local links
  links=$(start_menu_links)
  [[ $(grep -c . <<<"$links") == 1 ]] || fail "installer: not one Start-menu shortcut but [$links]"
  if [[ -n $links ]]; then
    local texts
    texts=$(strings -a "$links"; strings -a -el "$links")
    grep -qF 'C:\Program Files\orchard.menu\orchard-menu.exe' <<<"$texts" ||
      fail "installer: the Start-menu shortcut does not lead to the program"
  fi
  local program='"C:\Program Files\orchard.menu\orchard-menu.exe"'
  local row key want got
  for row in "HKCR\\Directory\\shell\\orchard.menu|Open in orchard.menu" \
             "HKCR\\Directory\\shell\\orchard.menu\\command|$program \"%1\"" \
             "HKCR\\Drive\\shell\\orchard.menu|Open in orchard.menu" \
             "HKCR\\Drive\\shell\\orchard.menu\\command|$program \"%1\\\""; do
    key=${row%%|*}
    want=${row#*|}
    got=$(reg_default "$key")
    [[ $got == "$want" ]] || fail "installer: $key is [$got], not [$want]"
  done
  got=$(uninstall_entries)
  [[ $got == "$version|the orchard.menu developers" ]] ||
    fail "installer: uninstall entries [$got], not one of version $version by the orchard.menu developers"
  # The uninstall entry's icon is the product icon the installer keeps.
  local icon
  icon=$(wine reg query 'HKLM\Software\Classes\Installer\Products' /s /reg:64 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *ProductIcon *REG_SZ *C:\(.*orchard_menu\.ico\)$/\1/p' | head -n1)
  cmp -s "$drive_c${icon//\\//}" "$build/app/app-icon.ico" ||
    fail "installer: the uninstall entry has no product icon ([$icon])"
}

removed_again() {
  [[ ! -e $drive_c/Program\ Files/orchard.menu ]] || fail "installer: Program Files\\orchard.menu is still there"
  [[ -z $(start_menu_links) ]] || fail "installer: the Start-menu shortcut is still there"
  local key
  for key in 'HKCR\Directory\shell\orchard.menu' 'HKCR\Drive\shell\orchard.menu' 'HKLM\Software\orchard.menu'; do
    wine reg query "$key" /reg:64 >/dev/null 2>&1 && fail "installer: $key is still there"
  done
  [[ -z $(uninstall_entries) ]] || fail "installer: an uninstall entry is still there"
}

# A drive letter that the prefix does not use yet.
free_drive_letter() {
  local letter
  for letter in o p q r s t u v w x y; do
    [[ -e $WINEPREFIX/dosdevices/$letter: || -L $WINEPREFIX/dosdevices/$letter: ]] || { echo "$letter"; return; }
  done
}

installer_round() {
  local round=$1 msi=$2 dist=$3 version=$4 work=$5
  local settings=$6
  msiexec_quiet /i "$msi" || fail "installer: msiexec /i /qn failed (round $round)"
  installed_in_place "$dist" "$version"

  # A folder whose name has a space, and a drive root.
  local folder="$work/round $round/a folder"
  local drive=$work/drive$round letter
  mkdir -p "$folder" "$drive"
  : >"$folder/folder-probe-$round.txt"
  : >"$drive/drive-probe-$round.txt"
  local before_marks
  before_marks=$(ls "$settings" 2>/dev/null || true)
  run_through_verb Directory "$(windows_path "$folder")" "folder-probe-$round.txt" "$work" "$settings"
  letter=$(free_drive_letter)
  ln -s "$drive" "$WINEPREFIX/dosdevices/$letter:"
  run_through_verb Drive "${letter^^}:\\" "drive-probe-$round.txt" "$work" "$settings"
  local ours
  ours=$(comm -13 <(echo "$before_marks") <(ls "$settings" 2>/dev/null || true))

  msiexec_quiet /x "$msi" || fail "installer: msiexec /x /qn failed (round $round)"
  removed_again
  # The marks files are the user's, never the installer's.
  local name
  for name in $ours; do
    [[ -f $settings/$name ]] || fail "installer: uninstalling removed the marks file $name"
  done
  [[ $(grep -c . <<<"$ours") == 2 ]] || fail "installer: the two runs left [$ours], not two marks files"
  # The test's own leavings go, so that the prefix is as before.
  for name in $ours; do rm -f "$settings/$name"; done
  rmdir "$settings" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/$letter:"
}

# A newer version replaces the older one: one uninstall entry, the newer's.
check_upgrade() {
  local msi=$1 dist=$2 version=$3 work=$4
  local major minor patch newer
  IFS=. read -r major minor patch <<<"$version"
  newer=$major.$minor.$((patch + 1))
  # wixl finds sources only by paths relative to the working directory.
  local from_here
  from_here=$(realpath -m --relative-to="$repo" "$dist")
  wixl -a x64 -o "$work/newer.msi" -D Version="$newer" -D ProgramFile="$from_here/orchard-menu.exe" \
    -D IconFile="$from_here/../app/app-icon.ico" -D LicenceFile="$from_here/LICENSE.txt" \
    -D NoticesFile="$from_here/THIRD-PARTY-NOTICES.txt" packaging/windows/orchard-menu.wxs >"$work/wixl.log" 2>&1 ||
    { fail "installer: wixl could not make version $newer"; return; }
  msiexec_quiet /i "$msi" || fail "installer: msiexec /i of $version failed"
  msiexec_quiet /i "$work/newer.msi" || fail "installer: msiexec /i of $newer over $version failed"
  local got
  got=$(uninstall_entries)
  [[ $got == "$newer|the orchard.menu developers" ]] || fail "installer: after the upgrade the entries are [$got]"
  msiexec_quiet /x "$work/newer.msi" || fail "installer: msiexec /x of $newer failed"
  removed_again
}

check_installer() {
  echo "== the zip, the program's resources and the installer (wine)"
  # No menu entries on this Linux desktop for the shortcut wine installs.
  local -x WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
  local work dist=$repo/$build/dist version msis
  work=$(mktemp -d "$repo/$build/installer.XXXXXX")
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  msis=("$repo/$build"/orchard-menu-*-x64.msi)
  [[ ${#msis[@]} == 1 && ${msis[0]} == "$repo/$build/orchard-menu-$version-x64.msi" ]] ||
    { fail "installer: not the one MSI orchard-menu-$version-x64.msi but [${msis[*]}]"; return; }
  check_zip "$build/orchard-menu-windows.zip" "$dist" "$work"
  check_icon_groups "$dist/orchard-menu.exe" "$work"
  check_version_resource "$dist/orchard-menu.exe" "$version" "$work"

  local appdata settings
  appdata=$(ls -d "$drive_c"/users/*/AppData/Roaming | grep -v /Public/ | head -n1)
  settings=$appdata/orchard.menu
  prefix_state "$work" >"$work/state-0"
  installer_round 1 "${msis[0]}" "$dist" "$version" "$work" "$settings"
  prefix_state "$work" >"$work/state-1"
  installer_round 2 "${msis[0]}" "$dist" "$version" "$work" "$settings"
  prefix_state "$work" >"$work/state-2"
  check_upgrade "${msis[0]}" "$dist" "$version" "$work"
  prefix_state "$work" >"$work/state-3"
  diff -q "$work/state-1" "$work/state-2" >/dev/null ||
    fail "installer: the second round left the prefix changed (diff $work/state-1 $work/state-2)"
  diff -q "$work/state-2" "$work/state-3" >/dev/null ||
    fail "installer: the upgrade left the prefix changed (diff $work/state-2 $work/state-3)"
  local bookkeeping='^> (\[HKEY_LOCAL_MACHINE\\Software\\(Classes|Microsoft\\Windows\\CurrentVersion)\\Installer(\\[A-Za-z0-9-]+)*\]|d \./windows/Installer)?$'
  local changed
  changed=$(diff "$work/state-0" "$work/state-3" | grep '^[<>]' | grep -Ev "$bookkeeping" || true)
  [[ -z $changed ]] || fail "installer: install, run and uninstall left the prefix changed: $(head -n 20 <<<"$changed")"
  echo "   sizes: $(stat -c '%n %s' "$build/orchard-menu-windows.zip" "${msis[0]}" | tr '\n' ' ')"
}

# Names in any script, end to end, from a folder of the program's own that
# also holds a planted glu32.dll, with %APPDATA% under a Cyrillic user name:
# the start folder "café" has a marks file keyed by its code page 1252
# bytes, as an ANSI build wrote it, whose marks and selection come back; Enter hands a Cyrillic
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
  # Listed as ".", "..", [日本], né.txt, where.bat, Привет.orchtest; the
  # file an ANSI build wrote marks né.txt and selects the document. Names
  # that code page 1252 holds are keyed by those bytes, the others (日本,
  # Привет) by their UTF-8 bytes.
  local ne_key
  ne_key=$(ansi_md5 'né.txt')
  local marks=$settings/$(ansi_md5 "$windir")
  printf '3\r\n5\r\n%s 0\r\n%s 0\r\n%s 7\r\n\r\n' "$(upper_md5 .)" "$(upper_md5 ..)" "$ne_key" \
    >"$marks"
  local japan_marks=$settings/$(upper_md5 "$(windows_path "$japan")")
  local deep_marks=$settings/$(upper_md5 "$wdeep")

  # Wine sets %APPDATA% from this key for every program it starts.
  local key='HKCU\Volatile Environment' saved_appdata
  saved_appdata=$(wine reg query "$key" /v APPDATA | tr -d '\r' | sed -n 's/^ *APPDATA *REG_SZ *//p')
  [[ -n $saved_appdata ]] || { fail "end to end names: no APPDATA in $key"; return; }
  wine reg add "$key" /v APPDATA /d "$(windows_path "$appdata")" /f >/dev/null
  local pid wid started=0
  start_program "end to end names" "$app/orchard-menu.exe" "$windir" "$root" || started=$?
  # The program has its environment by now; the next ones get wine's own.
  wine reg add "$key" /v APPDATA /d "$saved_appdata" /f >/dev/null
  ((started == 0)) || return
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

  # Up to 日本 and into it: leaving "café" saves its marks into the same
  # file, the mark of né.txt with them; no second file appears.
  focus document
  xdotool key Up Up Up Return
  wait_for 60 file_has_line "$marks" "$ne_key 7" ||
    fail "end to end names: the mark of né.txt did not come back into $marks"
  file_has_line "$marks" "$(upper_md5 "$document") 1" || fail "end to end names: $document not marked"
  [[ ! -e $settings/$(upper_md5 "$windir") ]] || fail "end to end names: a second marks file for café"

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

# ---- Names in any script, drawn ----
# Names drawn through the program's window and read back from the screen.
# The window's inside is at (gx, gy) and gh rows high; line i of the list
# (".", "..", then the names in byte order; the selected line 2 on the
# anchor line) has its top row at gy + gh - anchor - 32 + 32 (i - 2), and
# cell k of a name starts at gx + 96 + 32 k, after the two prefix cells.
# Only the red channel is compared: text is white or red and the
# background and the shadow have no red, so a glyph's cell reads the same
# on every line.
cells_red() {
  local shot=$1 line=$2 first=$3 count=$4
  local top=$((gy + gh - (gh - 40) / 2 - 32 + 32 * (line - 2)))
  convert "$shot" -crop "$((32 * count))x32+$((gx + 96 + 32 * first))+$top" +repage \
    -channel R -separate gray:- 2>/dev/null | md5sum | cut -c1-32
}

cell_has_ink() {
  local shot=$1 line=$2 cell=$3
  local top=$((gy + gh - (gh - 40) / 2 - 32 + 32 * (line - 2)))
  local most
  most=$(convert "$shot" -crop "32x32+$((gx + 96 + 32 * cell))+$top" +repage -channel R -separate \
    -format '%[fx:int(255*maxima)]' info: 2>/dev/null || echo 0)
  ((most > 128))
}

# The rows of end_to_end_glyphs hold in screenshot $1; with $2 = report,
# each one that does not is a failure.
glyph_rows_hold() {
  local shot=$1 report=${2:-} row line what held=0
  import -window root "$shot" 2>/dev/null || return 1
  local tail
  tail=$(cells_red "$shot" 2 2 5)
  for row in "${glyph_rows[@]}"; do
    IFS='|' read -r line _ what <<<"$row"
    if ! cell_has_ink "$shot" "$line" 1; then
      held=1
      [[ -n $report ]] && fail "names drawn: line $line ($what) has no ink in its cell ($shot)"
    fi
    if [[ $(cells_red "$shot" "$line" 2 5) != "$tail" ]]; then
      held=1
      [[ -n $report ]] && fail "names drawn: after $what on line $line, b.txt does not start one cell on ($shot)"
    fi
  done
  if [[ $(cells_red "$shot" 8 1 1) != $(cells_red "$shot" 9 1 1) ]]; then
    held=1
    [[ -n $report ]] && fail "names drawn: e and a combining acute differ from é ($shot)"
  fi
  return $held
}

# Lines 3 to 9 hold one character under test in cell 1 and "b.txt" from
# cell 2 on, as the reference line 2, "aXb.txt", does. After them, names
# in several scripts, for the eye.
end_to_end_glyphs() {
  echo "== orchard-menu.exe: names in any script, drawn (wine)"
  local root
  root=$(mktemp -d "$repo/$build/e2e-glyphs.XXXXXX")
  local dir=$root/names
  mkdir -p "$dir"
  local glyph_rows=(
    "3|b日b.txt|a CJK character"
    "4|c😀b.txt|an emoji"
    "5|d$(printf '\U0010fffd')b.txt|a character no font has"
    "6|fДb.txt|a Cyrillic letter"
    "7|g$(printf '\u200b')b.txt|a zero-width space"
    "8|he$(printf '\u0301')b.txt|e and a combining acute"
    "9|i$(printf '\u00e9')b.txt|é"
  )
  local row name
  : >"$dir/aXb.txt"
  for row in "${glyph_rows[@]}"; do
    IFS='|' read -r _ name _ <<<"$row"
    : >"$dir/$name"
  done
  for name in 'école.txt' 'Ελληνικά.txt' 'Документы.odt' 'עברית.txt' 'العربية.txt' '日本語.txt' \
              '资料.xlsx' '한국어.txt' '😀 party.txt'; do
    : >"$dir/$name"
  done
  local pid wid
  start_program "names drawn" "$repo/$build/app/orchard-menu.exe" "$(windows_path "$dir")" "$root" || return
  local gx gy gh
  read -r gx gy gh < <(xwininfo -id "$wid" |
    awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } /Height:/ { h = $NF }
         END { print x, y, h }')
  # The glyphs may come in over more than one frame.
  wait_for 60 glyph_rows_hold "$root/names.png" || glyph_rows_hold "$root/names.png" report || true
  xdotool windowfocus "$wid" 2>/dev/null || true
  wait_for 30 window_focused "$wid" || fail "names drawn: the window never got the focus"
  xdotool key Escape
  wait "$pid" || fail "names drawn: the program did not end cleanly"
  echo "   screenshot: $root/names.png"
}

# ---- Names shaped and in reading order, drawn ----
# As above, with names that need the shaper and the bidirectional
# algorithm. Line 2 is again "aXb.txt"; lines 3 to 9 hold in cell 1 one
# thing that takes one cell, and "b.txt" from cell 2 on: sequences the
# emoji font forms into one picture, the lam-alef ligature and two Hebrew
# letters alone. Lines 10 to 12 hold a word of Hebrew, of Arabic (letters
# that all join) and of Hindi between an ASCII letter and ".txt". What
# holds in any font: the one-cell things take one cell; the Hebrew word
# shows its last letter first, each letter drawn as it is alone; the
# Arabic word takes fewer cells than its five letters; the ink of the
# Arabic and the Hindi word runs on across the edges of the cells they
# span, as joined letters and a head stroke do.

# Whether the pixel columns on both sides of the left edge of cell $3 of
# line $2 have ink.
edge_has_ink() {
  local shot=$1 line=$2 cell=$3
  local top=$((gy + gh - (gh - 40) / 2 - 32 + 32 * (line - 2)))
  local most
  most=$(convert "$shot" -crop "2x32+$((gx + 96 + 32 * cell - 1))+$top" +repage -channel R -separate \
    -format '%[fx:int(255*maxima)]' info: 2>/dev/null || echo 0)
  ((most > 128))
}

# The cells a word takes that starts in cell 1 of line $2 and is followed
# by ".txt" (found by the reference cells $3); 0 when .txt is not found.
word_cells() {
  local shot=$1 line=$2 dot_txt=$3 k
  for k in 1 2 3 4 5 6; do
    [[ $(cells_red "$shot" "$line" $((1 + k)) 4) == "$dot_txt" ]] && { echo "$k"; return; }
  done
  echo 0
}

# The rows of end_to_end_shaped hold in screenshot $1; with $2 = report,
# each one that does not is a failure.
shaped_rows_hold() {
  local shot=$1 report=${2:-} row line what held=0
  import -window root "$shot" 2>/dev/null || return 1
  local tail dot_txt
  tail=$(cells_red "$shot" 2 2 5)
  dot_txt=$(cells_red "$shot" 2 3 4)
  problem() {
    held=1
    [[ -z $report ]] || fail "names shaped: $* ($shot)"
  }
  for row in "${shaped_rows[@]}"; do
    IFS='|' read -r line _ what <<<"$row"
    cell_has_ink "$shot" "$line" 1 || problem "line $line ($what) has no ink in its cell"
    [[ $(cells_red "$shot" "$line" 2 5) == "$tail" ]] ||
      problem "$what on line $line does not take one cell: b.txt does not start one cell on"
  done
  # שלום: ם ו ל ש from the left.
  [[ $(cells_red "$shot" 10 1 1) == $(cells_red "$shot" 8 1 1) ]] ||
    problem "the Hebrew word on line 10 does not start with its last letter, ם"
  [[ $(cells_red "$shot" 10 4 1) == $(cells_red "$shot" 9 1 1) ]] ||
    problem "the Hebrew word on line 10 does not end with its first letter, ש"
  [[ $(cells_red "$shot" 10 5 4) == "$dot_txt" ]] || problem "the Hebrew word on line 10 is not four cells before .txt"
  local arabic hindi k
  arabic=$(word_cells "$shot" 11 "$dot_txt")
  ((arabic >= 1 && arabic < 5)) ||
    problem "the Arabic word on line 11 does not take fewer cells than its 5 letters (.txt after $arabic)"
  hindi=$(word_cells "$shot" 12 "$dot_txt")
  ((hindi >= 2)) || problem "the Hindi word on line 12 does not take two cells or more (.txt after $hindi)"
  for ((k = 2; k <= arabic; k++)); do
    edge_has_ink "$shot" 11 "$k" || problem "the Arabic word on line 11 has no ink across the edge of its cell $k"
  done
  for ((k = 2; k <= hindi; k++)); do
    edge_has_ink "$shot" 12 "$k" || problem "the Hindi word on line 12 has no ink across the edge of its cell $k"
  done
  return $held
}

end_to_end_shaped() {
  echo "== orchard-menu.exe: names shaped and in reading order, drawn (wine)"
  local root
  root=$(mktemp -d "$repo/$build/e2e-shaped.XXXXXX")
  local dir=$root/names
  mkdir -p "$dir"
  local shaped_rows=(
    "3|b$(printf '\U0001f1eb\U0001f1f7')b.txt|a flag"
    "4|c$(printf '\U0001f468\u200d\U0001f469\u200d\U0001f467')b.txt|a family joined by ZWJs"
    "5|d1$(printf '\ufe0f\u20e3')b.txt|a keycap"
    "6|e$(printf '\U0001f44d\U0001f3fd')b.txt|a thumbs-up with a skin tone"
    "7|f$(printf '\u0644\u0627')b.txt|lam and alef"
    "8|g$(printf '\u05dd')b.txt|the Hebrew letter final mem"
    "9|h$(printf '\u05e9')b.txt|the Hebrew letter shin"
  )
  local row name
  : >"$dir/aXb.txt"
  for row in "${shaped_rows[@]}"; do
    IFS='|' read -r _ name _ <<<"$row"
    : >"$dir/$name"
  done
  : >"$dir/i$(printf '\u05e9\u05dc\u05d5\u05dd').txt"
  : >"$dir/j$(printf '\u062a\u062d\u0645\u064a\u0644').txt"
  : >"$dir/k$(printf '\u0928\u092e\u0938\u094d\u0924\u0947').txt"
  # For the eye: a line of Hebrew and Latin, and whole names as users have
  # them; none starts with a character before "l", so the lines above stay.
  for name in 'report שלום עולם 2024 (final).txt' 'مرحبا بالعالم' 'שלום עולם' 'नमस्ते दुनिया' \
              "$(printf '\U0001f468\u200d\U0001f469\u200d\U0001f467') family.txt" \
              "$(printf '\U0001f1eb\U0001f1f7') flag.txt" "the 1$(printf '\ufe0f\u20e3') keycap.txt" \
              "$(printf '\U0001f44d\U0001f3fd')" "photo$(printf '\u202e')gpj.exe"; do
    : >"$dir/$name"
  done
  local pid wid
  start_program "names shaped" "$repo/$build/app/orchard-menu.exe" "$(windows_path "$dir")" "$root" || return
  local gx gy gh
  read -r gx gy gh < <(xwininfo -id "$wid" |
    awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } /Height:/ { h = $NF }
         END { print x, y, h }')
  # The report is the last command of the list: its failures are counted,
  # and the script goes on.
  wait_for 60 shaped_rows_hold "$root/shaped.png" || shaped_rows_hold "$root/shaped.png" report || true
  xdotool windowfocus "$wid" 2>/dev/null || true
  wait_for 30 window_focused "$wid" || fail "names shaped: the window never got the focus"
  xdotool key Escape
  wait "$pid" || fail "names shaped: the program did not end cleanly"
  echo "   screenshot: $root/shaped.png"
}

prepare_prefix
install_test_fonts
run_unit_suites
end_to_end
end_to_end_names
end_to_end_glyphs
end_to_end_shaped
check_installer
timeout 60 wineserver -k 2>/dev/null || true

if ((failures > 0)); then
  echo "Windows tests: $failures failed" >&2
  exit 1
fi
echo "Windows tests passed"
