#!/usr/bin/env bash
# Writes the licence notices of the work of others that a build of
# orchard.menu carries in its binary, each text copied at build time from
# the source package or the installed Debian package that the build used,
# so that the notices follow what was really linked in. A missing or empty
# source stops the build: a package without its notices must not be made.
#
#   tools/third_party_notices.sh OUT windows FREEGLUT_SOURCE GLEW_SOURCE FREETYPE_SOURCE \
#       HARFBUZZ_SOURCE FRIBIDI_SOURCE
#     the Windows program: freeglut, GLEW, FreeType, HarfBuzz and FriBidi
#     (static, from their Debian source packages), the mingw-w64 runtime and
#     winpthreads, the GCC runtime libraries (libstdc++, libgcc) and the
#     DejaVu-derived font
#   tools/third_party_notices.sh OUT debian
#     the Linux program, which links freeglut, GLEW, FreeType, fontconfig,
#     HarfBuzz and FriBidi as shared libraries of their own packages, whose
#     copyright files carry their licences: the GCC runtime exception and
#     DejaVu
set -euo pipefail

usage() {
  echo "usage: $0 OUT windows FREEGLUT_SOURCE GLEW_SOURCE FREETYPE_SOURCE HARFBUZZ_SOURCE FRIBIDI_SOURCE" >&2
  echo "       $0 OUT debian" >&2
  exit 2
}
(($# >= 2)) || usage
out=$1
kind=$2

die() { echo "third_party_notices: $*" >&2; exit 1; }
top=$(cd "$(dirname "$0")/.." && pwd)

# The version of an installed package, for saying where a text came from.
package_version() {
  dpkg-query -W -f='${Version}' "$1" 2>/dev/null || die "package $1 is not installed"
}

# section TITLE ORIGIN TEXT_FILE: one notice, under a rule and a title.
section() {
  local title=$1 origin=$2 text=$3
  [[ -s $text ]] || die "no licence text for $title: $origin is missing or empty"
  printf '\n%s\n%s\n(%s)\n\n' "$(printf '=%.0s' {1..72})" "$title" "$origin"
  cat "$text"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints the path of notice piece $1 once it holds every pattern of the
# "pattern" "what is missing" pairs that follow; stops the build when one
# is not there.
piece_holding() {
  local piece=$1
  shift
  while (($# >= 2)); do
    grep -q -- "$1" "$piece" || die "$2"
    shift 2
  done
  echo "$piece"
}

# libstdc++ and libgcc are GPL 3 with the GCC Runtime Library Exception;
# their package's copyright file names the libraries it covers and carries
# the exception's text, which is what a binary built with them owes.
gcc_exception() {
  local copyright=$1 piece=$work/gcc-exception
  [[ -s $copyright ]] || die "$copyright is missing"
  sed -n '/^The following runtime libraries are licensed/,/^ - libvtv/p' "$copyright" >"$piece"
  [[ -s $piece ]] || die "$copyright does not list the runtime libraries"
  echo >>"$piece"
  sed -n '/^GCC RUNTIME LIBRARY EXCEPTION$/,/^requirements of the license of GCC\.$/p' "$copyright" >"$piece.text"
  grep -q '^requirements of the license of GCC\.$' "$piece.text" ||
    die "$copyright holds no complete GCC Runtime Library Exception"
  cat "$piece.text" >>"$piece"
  echo "$piece"
}

# FreeType is offered under the FreeType License or the GPL; the program
# takes the FreeType License, whose credit line is the first thing here.
# The parts built in with their own terms come after it, as FreeType's
# LICENSE.TXT names them: the BDF and PCF drivers and the zlib copy of the
# gzip module.
freetype_notice() {
  local src=$1 piece=$work/freetype
  [[ -s $src/LICENSE.TXT && -s $src/docs/FTL.TXT ]] || die "$src holds no LICENSE.TXT and docs/FTL.TXT"
  # The year the credit names: that of the version built.
  local year
  year=$(sed -n 's/^ \* Copyright (C) 1996-\([0-9]\{4\}\) by$/\1/p' "$src/include/freetype/freetype.h" | head -n1)
  [[ -n $year ]] || die "$src/include/freetype/freetype.h names no copyright year"
  {
    echo "Portions of this software are copyright (C) $year The FreeType Project"
    echo "(www.freetype.org).  All rights reserved.  orchard.menu uses FreeType"
    echo "under the FreeType License, below; the other parts named in"
    echo "LICENSE.TXT follow it."
    echo
    cat "$src/docs/FTL.TXT"
    local driver
    for driver in bdf pcf; do
      printf '\n--- src/%s/README: the %s driver ---\n\n' "$driver" "${driver^^}"
      sed -n '/^License$/,/^Credits$/p' "$src/src/$driver/README" | sed '$d'
    done
    printf '\n--- src/gzip/zlib.h: zlib, in the gzip module ---\n\n'
    sed -n '1,/^\*\//p' "$src/src/gzip/zlib.h"
  } >"$piece"
  piece_holding "$piece" 'Permission is hereby granted' "$src: no licence of the BDF and PCF drivers" \
    'Jean-loup Gailly' "$src: no zlib licence in src/gzip/zlib.h"
}

# HarfBuzz's COPYING (its "Old MIT" licence) and the two files built in
# under other terms, as its Debian copyright file lists them: the
# character tables of src/hb-ucd.cc (ISC, in that file's head) and the
# emoji tables of src/hb-unicode-emoji-table.hh, from Unicode's data.
harfbuzz_notice() {
  local src=$1 piece=$work/harfbuzz
  [[ -s $src/COPYING && -s $src/src/hb-ucd.cc && -s $src/debian/copyright ]] ||
    die "$src holds no COPYING, src/hb-ucd.cc and debian/copyright"
  {
    cat "$src/COPYING"
    printf '\n--- src/hb-ucd.cc: the Unicode character data functions ---\n\n'
    sed -n '1,/^ \*\/$/p' "$src/src/hb-ucd.cc"
    printf '\n--- src/hb-unicode-emoji-table.hh: tables made from Unicode'"'"'s emoji-data.txt ---\n\n'
    sed -n '/^ \* # © [0-9]* Unicode/p' "$src/src/hb-unicode-emoji-table.hh" | sed 's/^ \* # //'
    echo
    # The copyright file's paragraph that holds the text of the licence
    # named Unicode, out of its indented form.
    awk 'BEGIN { RS = "" } /^License: Unicode\n/ { print }' "$src/debian/copyright" |
      sed '1d; s/^ //; s/^\.$//'
  } >"$piece"
  piece_holding "$piece" 'Grigori Goronzy' "$src: no licence in src/hb-ucd.cc" \
    'Unicode data files' "$src: no Unicode licence in debian/copyright"
}

# FriBidi is under the GNU LGPL 2.1 and linked into the program statically,
# so the notice says how a user gets to relink it with a FriBidi of their
# own, which that licence requires, before the licence's text.
fribidi_notice() {
  local src=$1 piece=$work/fribidi
  [[ -s $src/COPYING && -s $src/debian/changelog && -s $src/debian/copyright ]] ||
    die "$src holds no COPYING, debian/changelog and debian/copyright"
  grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$src/COPYING" || die "$src/COPYING is not the LGPL"
  local version holders
  version=$(sed -n '1s/^fribidi (\([^)]*\)).*/\1/p' "$src/debian/changelog")
  [[ -n $version ]] || die "$src/debian/changelog names no version"
  # The holders of the library's own files (the paragraph "Files: *").
  holders=$(awk 'BEGIN { RS = "" } /^Files: \*\n/ { print }' "$src/debian/copyright" |
    sed -n '/^Copyright:/,/^License:/p' | sed '$d; s/^Copyright: *//; s/^ *//; s/^/Copyright (C) /')
  [[ -n $holders ]] || die "$src/debian/copyright names no copyright holder"
  {
    echo "$holders"
    echo
    echo "GNU FriBidi is free software under the GNU Lesser General Public License,"
    echo "version 2.1 or later (below). orchard-menu.exe contains FriBidi $version,"
    echo "built from Debian's fribidi source package without changes, linked in"
    echo "statically."
    echo
    echo "You may use a modified FriBidi with orchard.menu. The complete source of"
    echo "orchard.menu (MIT licence) includes the scripts that build this program:"
    echo "scripts/build-windows.sh fetches Debian's fribidi source package into the"
    echo "cache folder ~/.cache/orchard-menu-win/src/, builds it there as the static"
    echo "library prefix/lib/libfribidi.a and links orchard-menu.exe with it. To"
    echo "relink with your own FriBidi, replace the folder src/fribidi-*/ in that"
    echo "cache with your modified source, delete prefix/lib/libfribidi.a and run"
    echo "scripts/build-windows.sh again: it builds your FriBidi and links a new"
    echo "orchard-menu.exe with it. You may modify orchard.menu for your own use"
    echo "and reverse-engineer it to debug such modifications. The source of"
    echo "FriBidi $version is Debian's (apt-get source fribidi=$version, or"
    echo "snapshot.debian.org)."
    echo
    cat "$src/COPYING"
  } >"$piece"
  echo "$piece"
}

dejavu=/usr/share/doc/fonts-dejavu-core/copyright
{
  echo "orchard.menu contains the work of others, under the licences below."
  case $kind in
    windows)
      (($# == 7)) || usage
      freeglut=${3%/} glew=${4%/} freetype=${5%/} harfbuzz=${6%/} fribidi=${7%/}
      section "freeglut (window, event loop and keyboard, linked in)" \
        "$(basename "$freeglut")/COPYING, from Debian's freeglut source package" "$freeglut/COPYING"
      section "GLEW, the OpenGL Extension Wrangler Library (linked in)" \
        "$(basename "$glew")/LICENSE.txt, from Debian's glew source package" "$glew/LICENSE.txt"
      section "FreeType (draws the characters of names from the system's fonts, linked in)" \
        "$(basename "$freetype")/docs/FTL.TXT and the texts LICENSE.TXT names, from Debian's freetype source package" \
        "$(freetype_notice "$freetype")"
      section "HarfBuzz (shapes the characters of names as their scripts are written, linked in)" \
        "$(basename "$harfbuzz")/COPYING and the texts its debian/copyright names for built-in files, from Debian's harfbuzz source package" \
        "$(harfbuzz_notice "$harfbuzz")"
      section "GNU FriBidi (puts right-to-left runs of names in reading order, linked in)" \
        "$(basename "$fribidi")/COPYING, from Debian's fribidi source package" \
        "$(fribidi_notice "$fribidi")"
      section "mingw-w64 runtime and winpthreads (linked in)" \
        "/usr/share/doc/mingw-w64-common/copyright, mingw-w64 $(package_version mingw-w64-common)" \
        /usr/share/doc/mingw-w64-common/copyright
      section "GCC runtime libraries: libstdc++ and libgcc (linked in)" \
        "/usr/share/doc/gcc-mingw-w64-base/copyright, gcc-mingw-w64 $(package_version gcc-mingw-w64-base)" \
        "$(gcc_exception /usr/share/doc/gcc-mingw-w64-base/copyright)"
      ;;
    debian)
      (($# == 2)) || usage
      section "GCC runtime libraries: libstdc++ and libgcc (their headers are compiled in)" \
        "/usr/share/doc/libstdc++6/copyright, libstdc++6 $(package_version libstdc++6)" \
        "$(gcc_exception /usr/share/doc/libstdc++6/copyright)"
      ;;
    *) usage ;;
  esac
  section "Unicode Character Database (character tables derived from it are compiled in)" \
    "render/unicode_data_notice.txt, from Debian's unicode-data package" "$top/render/unicode_data_notice.txt"
  section "DejaVu fonts and Bitstream Vera (the built-in font picture is rendered from DejaVu Sans Bold and DejaVu Serif Bold)" \
    "$dejavu, fonts-dejavu-core $(package_version fonts-dejavu-core)" "$dejavu"
} >"$work/notices"
mv "$work/notices" "$out"
