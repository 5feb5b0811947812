#!/usr/bin/env bash
# Runs a Windows program under wine in the tests' own prefix: the Windows
# build's cross-compiling emulator, so ctest runs the cross-built suites
# through it, and what every other Windows test starts programs with.
#
# Usage: wine_run.sh PREFIX PROGRAM [ARGUMENT...]
#
# The first call on a prefix makes it (wineboot) and puts the test fonts
# in; calls running at the same time wait for that under a lock. A wine
# that cannot set up the prefix or start programs is a failure, never a
# skip. The program's exit status is this script's.
set -euo pipefail
export WINEPREFIX=$1 WINEARCH=win64 WINEDEBUG=-all
shift
# No dialogs offering to download Mono or Gecko, and no menu entries on
# this Linux desktop for shortcuts an installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
drive_c=$WINEPREFIX/drive_c

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
    [[ -s $source ]] || { echo "the font $source is missing" >&2; return 1; }
    ln -sf "$source" "$fonts/$file"
    wine reg add "$machine" /v "$name (TrueType)" /d "$file" /f /reg:64 >/dev/null
  done
  # Debian's python3, where python3-fonttools is.
  /usr/bin/python3 "$repo/tools/outline_emoji_font.py" /usr/share/fonts/truetype/noto/NotoColorEmoji.ttf \
    "$user_fonts/orchard-emoji.ttf" || { echo "the test emoji font could not be made" >&2; return 1; }
  local in_c=${user_fonts#"$drive_c"}
  wine reg add "$user" /v "Segoe UI Emoji (TrueType)" /d "C:${in_c//\//\\}\\orchard-emoji.ttf" /f /reg:64 >/dev/null
}

# A fresh prefix takes wineboot its while; wineserver -w returns once every
# process of it has ended, so the prefix is complete afterwards. The mark
# file says so to later calls.
prepare_prefix() {
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  timeout 600 wineboot --init >/dev/null 2>&1 || true
  timeout 600 wineserver -w || true
  if [[ ! -f $WINEPREFIX/system.reg || ! -d $drive_c/windows ]]; then
    echo "wine could not set up a prefix in $WINEPREFIX" >&2
    return 1
  fi
  install_test_fonts
  timeout 60 wine cmd /c exit 0 >/dev/null 2>&1 || { echo "wine does not start programs" >&2; return 1; }
  timeout 600 wineserver -w || true
  touch "$WINEPREFIX/.orchard-ready"
}

if [[ ! -f $WINEPREFIX/.orchard-ready ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # The lock's descriptor is kept from wine: a wineserver started while it
  # is held would hold the lock for as long as it runs.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  [[ -f $WINEPREFIX/.orchard-ready ]] || prepare_prefix 9>&-
  exec 9>&-
fi
exec wine "$@"
