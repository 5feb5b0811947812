#!/usr/bin/env bash
# Checks the packaging, not the program: builds the Debian package with
# scripts/package.sh, installs into a temporary DESTDIR and compares the
# files with the table below, validates the desktop entry and the manual
# page, runs lintian and reads the package's control fields and contents.
# As root it installs the package with dpkg -i, starts the installed
# /usr/bin/orchard-menu and checks that its window carries the class and
# the icon, then removes the package again; otherwise it says so and
# checks the window of the freshly built binary instead.
# Uses $DISPLAY when set (scripts/test.sh starts Xvfb), else a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/deps.sh

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # check DESCRIPTION COMMAND...: passes when the command succeeds
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

work=$(mktemp -d)
installed_here=""
cleanup() {
  [[ -n "$installed_here" ]] && dpkg --purge orchard-menu >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
if [[ -z "${DISPLAY:-}" ]]; then
  source scripts/xvfb.sh
  start_xvfb
fi

version=$(sed -n 's/^project(orchard_menu VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
deb="orchard-menu_${version}_${arch}.deb"
window_class=$(sed -n 's/^StartupWMClass=//p' packaging/orchard-menu.desktop)
icon_sizes=$(sed -n 's/^set(ORCHARD_ICON_SIZES \(.*\))$/\1/p' CMakeLists.txt)
[[ -n "$icon_sizes" ]] || { echo "no ORCHARD_ICON_SIZES in CMakeLists.txt" >&2; exit 1; }

echo "== a configure for installing needs none of the test or benchmark packages"
check "plain configure with GoogleTest and Google Benchmark hidden" \
  cmake --no-warn-unused-cli -S . -B "$work/plain" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON >/dev/null
rm -rf "$work/plain"

echo "== scripts/package.sh"
rm -f "$deb"
scripts/package.sh >"$work/package.log" 2>&1 || { cat "$work/package.log" >&2; fail "scripts/package.sh"; exit 1; }
check "package.sh made $deb" test -f "$deb"

# Every file the install puts down, with what `file` must say about it.
expected=(
  "usr/bin/orchard-menu|ELF .*executable"
  "usr/share/applications/orchard-menu.desktop|text"
  "usr/share/metainfo/menu.orchard.orchard_menu.metainfo.xml|XML"
  "usr/share/icons/hicolor/scalable/apps/orchard-menu.svg|SVG Scalable Vector Graphics image"
  "usr/share/man/man1/orchard-menu.1.gz|gzip compressed data, max compression"
  "usr/share/doc/orchard-menu/README.md|text"
  "usr/share/doc/orchard-menu/copyright|text"
  "usr/share/doc/orchard-menu/changelog.gz|gzip compressed data, max compression"
)
for size in $icon_sizes; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/orchard-menu.png|PNG image data, $size x $size,")
done
expected_list=$(printf '%s\n' "${expected[@]}" | cut -d'|' -f1 | sort)

echo "== install into a temporary DESTDIR"
dest="$work/dest"
DESTDIR="$dest" cmake --install build-package --prefix /usr >/dev/null
for row in "${expected[@]}"; do
  path=${row%%|*}
  kinds=${row#*|}
  if [[ ! -f "$dest/$path" ]]; then
    fail "installed $path: missing"
  elif ! file -b "$dest/$path" | grep -Eq "$kinds"; then
    fail "installed $path: $(file -b "$dest/$path") is not /$kinds/"
  else
    pass "installed $path"
  fi
done
check "DESTDIR holds exactly the table's files" \
  diff <(cd "$dest" && find . -type f -printf '%P\n' | sort) <(echo "$expected_list")

copyright="$dest/usr/share/doc/orchard-menu/copyright"
for notice in "Released under the MIT licence" "GCC RUNTIME LIBRARY EXCEPTION" "Bitstream Vera is a trademark"; do
  check "the copyright file carries [$notice]" grep -qF "$notice" "$copyright"
done
check "desktop-file-validate" desktop-file-validate "$dest/usr/share/applications/orchard-menu.desktop"
metainfo="$dest/usr/share/metainfo/menu.orchard.orchard_menu.metainfo.xml"
check "appstreamcli validate --no-net --pedantic on the metainfo" \
  appstreamcli validate --no-net --pedantic "$metainfo"
check "the metainfo's launchable is the installed desktop entry" \
  grep -qF '<launchable type="desktop-id">orchard-menu.desktop</launchable>' "$metainfo"
check "the metainfo's release is the project version $version" \
  grep -qF "<release version=\"$version\"" "$metainfo"
manual="$dest/usr/share/man/man1/orchard-menu.1.gz"
check "groff -man -ww -z on the manual page prints nothing" \
  test -z "$(zcat "$manual" | LC_ALL=C.UTF-8 groff -t -man -ww -z 2>&1)"
check "man -l renders the page without warnings" \
  test -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)"
for section in NAME SYNOPSIS DESCRIPTION KEYS FILES ENVIRONMENT "EXIT STATUS" NOTES; do
  check "manual page has section $section" zgrep -q "^\.SH \"\?$section\"\?\$" "$manual"
done

echo "== the package"
lintian_out=$(lintian --fail-on error "$deb" 2>&1) && lintian_status=0 || lintian_status=$?
echo "$lintian_out" | grep -v '^running with root' || true
check "lintian reports no error" test "$lintian_status" -eq 0

# Control fields: field name, then an extended regular expression the value must match.
fields=(
  "Package|^orchard-menu$"
  "Version|^${version//./\\.}$"
  "Architecture|^$arch$"
  "Section|^[a-z]+$"
  "Recommends|^xdg-utils, fonts-noto-core \| fonts-dejavu-core, fonts-noto-color-emoji$"
  "Suggests|^fonts-noto-cjk \| fonts-wqy-zenhei$"
  "Depends|(^|, )libfreetype6"
  "Depends|(^|, )libfontconfig1"
  "Depends|(^|, )libharfbuzz0b"
  "Depends|(^|, )libfribidi0"
  "Depends|(^|, )(libglut[0-9.]+|freeglut3) \(>= [^)]+\)"
  "Depends|(^|, )libglew[0-9.]+ \(>= [^)]+\)"
  "Depends|(^|, )libglu1-mesa"
  "Depends|(^|, )libnettle[0-9]+"
  "Depends|(^|, )(libgl1|libopengl0)"
  "Depends|(^|, )libx11-6"
)
for row in "${fields[@]}"; do
  name=${row%%|*}
  pattern=${row#*|}
  value=$(dpkg-deb -f "$deb" "$name" | head -n1)
  if [[ "$value" =~ $pattern ]]; then pass "control $name ~ /$pattern/"; else fail "control $name is '$value', not /$pattern/"; fi
done
check "dpkg-deb -c lists exactly the table's files" \
  diff <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\.\//, "", $6); print $6}' | sort) <(echo "$expected_list")
check "dpkg-deb -c: every file belongs to root" \
  test -z "$(dpkg-deb -c "$deb" | awk '$2 != "root/root"')"

# Starts `binary` on the display, waits until its window carries the
# class, then checks the class and that the icon holds every size.
check_window() {
  local binary=$1 pid window="" class="" icons="" i
  mkdir -p "$work/home"
  (cd "$work" && exec env HOME="$work/home" "$binary" "$work" >/dev/null) &
  pid=$!
  for i in $(seq 1 600); do
    kill -0 "$pid" 2>/dev/null || break
    window=$(xdotool search --name '^orchard\.menu$' 2>/dev/null | head -n1 || true)
    if [[ -n "$window" ]]; then
      class=$(xprop -id "$window" WM_CLASS 2>/dev/null || true)
      icons=$(xprop -len 4000000 -id "$window" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x [0-9]*)' || true)
      [[ "$class" == *'"'"$window_class"'"'* && -n "$icons" ]] && break
    fi
    sleep 0.1
  done
  local pixels=""
  if [[ -n "$window" ]]; then
    pixels=$(xprop -len 4000000 -notype -id "$window" -f _NET_WM_ICON 32c '=$0+' _NET_WM_ICON |
      sed 's/^[^=]*=//' | tr -d ' ' | tr ',' '\n') || true
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  check "$binary: window found" test -n "$window"
  check "$binary: WM_CLASS is \"$window_class\", \"$window_class\" (StartupWMClass)" \
    test "$class" = "WM_CLASS(STRING) = \"$window_class\", \"$window_class\""
  for size in $icon_sizes; do
    check "$binary: _NET_WM_ICON holds $size x $size" grep -qx "Icon ($size x $size)" <<<"$icons"
  done
  # The first image, pixel by pixel as ARGB, against the committed picture:
  # catches a channel order or a row order gone wrong.
  check "$binary: the 16 x 16 icon's pixels are those of icons/orchard-menu-16.png" \
    diff -q <(sed -n '1,258p' <<<"$pixels") <(echo 16; echo 16; argb_of icons/orchard-menu-16.png)
}

# The pixels of a PNG, one 0xAARRGGBB value a line in decimal, as
# _NET_WM_ICON holds them.
argb_of() {
  convert "$1" -depth 8 rgba:- | od -An -v -tu1 |
    awk '{ for (i = 1; i <= NF; i++) b[n++] = $i }
         END { for (i = 0; i < n; i += 4) printf "%.0f\n", b[i+3] * 16777216 + b[i] * 65536 + b[i+1] * 256 + b[i+2] }'
}

echo "== installed with dpkg -i"
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIPPED: installing the package needs root (CI runs as root); checking the built binary's window instead"
  check_window "$top/build-package/app/orchard-menu"
elif dpkg-query -W -f='${Status}' orchard-menu 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIPPED: orchard-menu is already installed here and is left alone; checking the built binary's window instead"
  check_window "$top/build-package/app/orchard-menu"
else
  installed_here=yes
  if dpkg -i "$deb" >"$work/dpkg.log" 2>&1; then
    pass "dpkg -i $deb"
    check_window /usr/bin/orchard-menu
  else
    fail "dpkg -i $deb"
    cat "$work/dpkg.log" >&2
  fi
  if dpkg --purge orchard-menu >"$work/dpkg.log" 2>&1; then
    pass "dpkg --purge orchard-menu"
  else
    fail "dpkg --purge orchard-menu"
    cat "$work/dpkg.log" >&2
  fi
  installed_here=""
  check "the package left no file behind" test ! -e /usr/bin/orchard-menu
fi

if [[ $failures -ne 0 ]]; then
  echo "$failures packaging check(s) failed" >&2
  exit 1
fi
echo "All packaging checks passed"
