#!/usr/bin/env bash
# What users of the Windows build get, checked under wine: the zip, the
# program's resources, and the installer. A silent install of the MSI puts
# the program, the licences, the Start-menu shortcut, the folder and drive
# verbs and the uninstall entry in place; the installed program starts on a
# folder and on a drive handed to it the way the verbs hand them; a silent
# uninstall takes all of it away and leaves the user's marks files. Two
# rounds in a row, and an upgrade, leave the prefix as it was, but for
# Windows Installer's own empty bookkeeping keys that its first use creates
# (a Windows machine always has them).
#
# Usage: installer_test.sh BUILD WINE_RUN PREFIX
#   BUILD     a Windows build folder, as scripts/build-windows.sh leaves it
#   WINE_RUN  tests/windows/wine_run.sh: every Windows program starts through it
#   PREFIX    the wine prefix to install into (made by WINE_RUN when new)
# The program's windows go to the X display in DISPLAY. Exits 0 when every
# check held, else 1 after naming each failure on stderr.
#
# No `set -e`: a check that does not hold is counted and the checks after
# it still run, so one run names every fault. Every wait is for evidence,
# bounded so that a broken run fails instead of hanging.
set -uo pipefail
if (($# != 3)); then
  echo "usage: $0 BUILD WINE_RUN PREFIX" >&2
  exit 2
fi
build=$(realpath "$1") || exit 1
wine_run=$(realpath "$2") || exit 1
prefix=$(realpath -m "$3")
repo=$(cd "$(dirname "$0")/../.." && pwd)
[[ -n ${DISPLAY:-} ]] || { echo "$0: no X display in DISPLAY for the program's windows" >&2; exit 1; }

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

# The first call makes a new prefix (wineboot and the fonts take minutes on
# a busy machine); after it the user's folders exist.
timeout 900 "$wine_run" "$prefix" cmd /c exit 0 >/dev/null 2>&1 ||
  { echo "wine does not start programs in $prefix" >&2; exit 1; }

# Where things are in the prefix, as the installer and the program put them.
drive_c=$prefix/drive_c
installed=$drive_c/Program\ Files/orchard.menu
appdata=""
for appdata in "$drive_c"/users/*/AppData/Roaming; do
  [[ $appdata == */users/Public/* ]] || break
done
[[ -d $appdata && $appdata != */users/Public/* ]] || { echo "no user's AppData folder in $prefix" >&2; exit 1; }
# The program's marks files.
settings=$appdata/orchard.menu
# A per-machine install puts its shortcut into the first; the others are
# where a per-user one would go.
start_menus=("$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
             "$drive_c"/users/*/AppData/Roaming/Microsoft/Windows/"Start Menu"/Programs)

# The Windows form of a path below /.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
upper_md5() { printf '%s' "$1" | md5sum | cut -c1-32 | tr a-f A-F; }
window_focused() { [[ $(xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }

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
    wrestool -x --type=group_icon --name="$group" -o "$ico" "$exe" 2>/dev/null
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
  wrestool -x --raw --type=version "$exe" >"$raw" 2>/dev/null
  # Each string value follows its key, NUL-separated, in UTF-16.
  local strings row key want got
  strings=$(iconv -c -f UTF-16LE -t UTF-8 "$raw" | tr '\0' '\n' | grep -av '^$')
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
  manifest=$(wrestool -x --raw --type=24 "$exe" 2>/dev/null)
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
  unzip -q -o "$zip" -d "$work/unzipped" 2>/dev/null
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
  (cd "$drive_c" && find . -printf '%y %p\n' 2>/dev/null | LC_ALL=C sort)
  for hive in 'HKLM\Software' 'HKCU\Software'; do
    # On a busy machine an export now and then fails and writes nothing;
    # the registry is the same a moment later.
    for _ in 1 2 3 4 5; do
      rm -f "$dump"
      "$wine_run" "$prefix" reg export "$hive" "$(windows_path "$dump")" /y /reg:64 >/dev/null 2>&1 &&
        [[ -s $dump ]] && break
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
reg_query() { "$wine_run" "$prefix" reg query "$@" /reg:64 2>/dev/null | tr -d '\r'; }

reg_default() { reg_query "$1" /ve | sed -n 's/^ *(Default) *REG_SZ *//p'; }

# "version|publisher" of every uninstall entry named orchard.menu.
uninstall_entries() {
  reg_query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    awk '/^HKEY_/ { key = $0; keys[key] = 1; next }
         NF >= 2 { name = $1; $1 = ""; $2 = ""; sub(/^ +/, ""); value[key, name] = $0 }
         END { for (k in keys) if (value[k, "DisplayName"] == "orchard.menu")
                 print value[k, "DisplayVersion"] "|" value[k, "Publisher"] }'
}

start_menu_links() { find "${start_menus[@]}" -maxdepth 1 -name orchard.menu.lnk 2>/dev/null; }

msiexec_quiet() {
  timeout 300 "$wine_run" "$prefix" msiexec "$1" "$(windows_path "$2")" /qn >/dev/null 2>&1
}

# Starts what the verb of `class` (Directory or Drive) runs for `target`:
# Explorer puts the path in for %1 and hands the command line as it stands
# to CreateProcess, as a batch file does (the paths here hold nothing that
# cmd would expand). Escape saves the marks of the folder shown, which name
# every entry listed: `probe` is among them when the program listed the
# folder it was given.
run_through_verb() {
  local class=$1 target=$2 probe=$3 work=$4
  local command
  command=$(reg_default "HKCR\\$class\\shell\\orchard.menu\\command")
  [[ -n $command ]] || { fail "installer: no $class verb"; return; }
  printf '%s\r\n' "${command//%1/"$target"}" >"$work/verb.bat"
  (exec timeout 300 "$wine_run" "$prefix" cmd /c "$(windows_path "$work/verb.bat")" >"$work/verb.out" 2>&1) &
  local pid=$! wid started=$SECONDS
  wid=$(program_window)
  if [[ -z $wid ]]; then
    fail "installer: the $class verb opened no window for $target in $((SECONDS - started)) s;" \
      "windows shown: [$(shown_windows)]," \
      "verb output: [$(tr '\r\n' '  ' <"$work/verb.out")]"
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return
  fi
  xdotool windowfocus "$wid" 2>/dev/null
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
  local name
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
  icon=$(reg_query 'HKLM\Software\Classes\Installer\Products' /s |
    sed -n 's/^ *ProductIcon *REG_SZ *C:\(.*orchard_menu\.ico\)$/\1/p' | head -n1)
  cmp -s "$drive_c${icon//\\//}" "$build/app/app-icon.ico" ||
    fail "installer: the uninstall entry has no product icon ([$icon])"
}

removed_again() {
  [[ ! -e $installed ]] || fail "installer: Program Files\\orchard.menu is still there"
  [[ -z $(start_menu_links) ]] || fail "installer: the Start-menu shortcut is still there"
  local key
  for key in 'HKCR\Directory\shell\orchard.menu' 'HKCR\Drive\shell\orchard.menu' 'HKLM\Software\orchard.menu'; do
    reg_query "$key" >/dev/null && fail "installer: $key is still there"
  done
  [[ -z $(uninstall_entries) ]] || fail "installer: an uninstall entry is still there"
}

# A drive letter that the prefix does not use yet.
free_drive_letter() {
  local letter
  for letter in o p q r s t u v w x y; do
    [[ -e $prefix/dosdevices/$letter: || -L $prefix/dosdevices/$letter: ]] || { echo "$letter"; return; }
  done
}

installer_round() {
  local round=$1 msi=$2 dist=$3 version=$4 work=$5
  msiexec_quiet /i "$msi" || fail "installer: msiexec /i /qn failed (round $round)"
  installed_in_place "$dist" "$version"

  # A folder whose name has a space, and a drive root.
  local folder="$work/round $round/a folder"
  local drive=$work/drive$round letter
  mkdir -p "$folder" "$drive"
  : >"$folder/folder-probe-$round.txt"
  : >"$drive/drive-probe-$round.txt"
  local before_marks
  before_marks=$(ls "$settings" 2>/dev/null)
  run_through_verb Directory "$(windows_path "$folder")" "folder-probe-$round.txt" "$work"
  letter=$(free_drive_letter)
  ln -s "$drive" "$prefix/dosdevices/$letter:"
  run_through_verb Drive "${letter^^}:\\" "drive-probe-$round.txt" "$work"
  local ours
  ours=$(comm -13 <(echo "$before_marks") <(ls "$settings" 2>/dev/null))

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
  rmdir "$settings" 2>/dev/null
  rm -f "$prefix/dosdevices/$letter:"
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
  (cd "$repo" && wixl -a x64 -o "$work/newer.msi" -D Version="$newer" -D ProgramFile="$from_here/orchard-menu.exe" \
    -D IconFile="$from_here/../app/app-icon.ico" -D LicenceFile="$from_here/LICENSE.txt" \
    -D NoticesFile="$from_here/THIRD-PARTY-NOTICES.txt" packaging/windows/orchard-menu.wxs) >"$work/wixl.log" 2>&1 ||
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
  local dist=$build/dist version msis
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
  msis=("$build"/orchard-menu-*-x64.msi)
  [[ ${#msis[@]} == 1 && ${msis[0]} == "$build/orchard-menu-$version-x64.msi" ]] ||
    { fail "installer: not the one MSI orchard-menu-$version-x64.msi but [${msis[*]}]"; return; }
  check_zip "$build/orchard-menu-windows.zip" "$dist" "$work"
  check_icon_groups "$dist/orchard-menu.exe" "$work"
  check_version_resource "$dist/orchard-menu.exe" "$version" "$work"

  prefix_state "$work" >"$work/state-0"
  installer_round 1 "${msis[0]}" "$dist" "$version" "$work"
  prefix_state "$work" >"$work/state-1"
  installer_round 2 "${msis[0]}" "$dist" "$version" "$work"
  prefix_state "$work" >"$work/state-2"
  check_upgrade "${msis[0]}" "$dist" "$version" "$work"
  prefix_state "$work" >"$work/state-3"
  diff -q "$work/state-1" "$work/state-2" >/dev/null ||
    fail "installer: the second round left the prefix changed (diff $work/state-1 $work/state-2)"
  diff -q "$work/state-2" "$work/state-3" >/dev/null ||
    fail "installer: the upgrade left the prefix changed (diff $work/state-2 $work/state-3)"
  local bookkeeping='^> (\[HKEY_LOCAL_MACHINE\\Software\\(Classes|Microsoft\\Windows\\CurrentVersion)\\Installer(\\[A-Za-z0-9-]+)*\]|d \./windows/Installer)?$'
  local changed
  changed=$(diff "$work/state-0" "$work/state-3" | grep '^[<>]' | grep -Ev "$bookkeeping")
  [[ -z $changed ]] || fail "installer: install, run and uninstall left the prefix changed: $(head -n 20 <<<"$changed")"
  echo "   sizes: $(stat -c '%n %s' "$build/orchard-menu-windows.zip" "${msis[0]}" | tr '\n' ' ')"
}

# What a run made stays for a look when a check failed; the messages name
# files in it.
work=$(mktemp -d "$build/installer.XXXXXX") || exit 1
check_installer
if ((failures > 0)); then
  echo "installer checks: $failures failed (files in $work)" >&2
  exit 1
fi
rm -rf "$work"
echo "installer checks passed"
