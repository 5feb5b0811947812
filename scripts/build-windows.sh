#!/usr/bin/env bash
# Cross-builds the Windows program on Debian: one self-contained
# orchard-menu.exe (static runtime, no DLLs beside it), and for users a zip
# and an installer, orchard-menu-<version>-x64.msi (made with wixl from
# packaging/windows/orchard-menu.wxs), each holding the stripped program,
# LICENSE.txt and THIRD-PARTY-NOTICES.txt.
#
# freeglut, GLEW, FreeType, HarfBuzz and FriBidi are not packaged for
# mingw-w64, so they are built here from Debian's own source packages,
# fetched through a private apt configuration (its own sources list, lists
# and cache; the machine's apt set-up is left alone), as static libraries
# into a cache folder outside the source tree that later runs reuse:
#   ${ORCHARD_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orchard-menu-win}
#
# Usage: scripts/build-windows.sh [BUILD_DIR]   (default build-windows)
# With ORCHARD_WIN_TESTS=1 the tests are built too; ctest in BUILD_DIR
# runs them under wine (see scripts/test-windows.sh).
# Prints the path of the installer, then that of the zip on the last line.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=${1:-build-windows}
jobs=$(nproc)

scripts/deps.sh g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 \
  dpkg-dev cmake make zip imagemagick libpng-dev build-essential pkg-config \
  wixl msitools fonts-dejavu-core meson ninja-build

home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
cache=${ORCHARD_WIN_CACHE:-${XDG_CACHE_HOME:-$home/.cache}/orchard-menu-win}
prefix=$cache/prefix
mkdir -p "$cache"
toolchain=$repo/cmake/mingw-w64.cmake

# Debian's source packages, through apt with everything redirected into the
# cache: deb-src lines for the Debian archives this machine already uses.
fetch_sources() {
  local apt=$cache/apt
  mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/cache" "$cache/src"
  # The machine's own Debian archives, as apt knows them from its lists;
  # a machine that never fetched its lists does so first.
  local attempt
  for attempt in 1 2; do
    apt-get indextargets --format '$(TARGET_OF)|$(ORIGIN)|$(REPO_URI)|$(RELEASE)|$(COMPONENT)' |
      awk -F'|' '$1 == "deb" && $2 == "Debian" { print "deb-src " $3 " " $4 " " $5 }' |
      sort -u >"$apt/sources.list"
    [[ -s $apt/sources.list || $attempt == 2 ]] && break
    if [[ $(id -u) -eq 0 ]]; then apt-get update -qq; else sudo apt-get update -qq; fi
  done
  [[ -s $apt/sources.list ]] || { echo "No Debian archive found in the apt sources" >&2; exit 1; }
  local opts=(-o Dir::Etc::sourcelist="$apt/sources.list" -o Dir::Etc::sourceparts=-
              -o Dir::State::lists="$apt/lists" -o Dir::Cache="$apt/cache"
              -o Dir::Cache::archives="$apt/archives" -o APT::Sandbox::User="$(id -un)")
  apt-get -qq "${opts[@]}" update
  (cd "$cache/src" && apt-get -qq "${opts[@]}" source "$@" >/dev/null)
}

build_freeglut() {
  local src
  src=$(ls -d "$cache"/src/freeglut-*/ | head -n1)
  cmake -S "$src" -B "$cache/build-freeglut" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DFREEGLUT_BUILD_SHARED_LIBS=OFF -DFREEGLUT_BUILD_STATIC_LIBS=ON \
    -DFREEGLUT_BUILD_DEMOS=OFF -DFREEGLUT_GLES=OFF -DINSTALL_PDB=OFF >/dev/null
  cmake --build "$cache/build-freeglut" -j"$jobs" >/dev/null
  cmake --install "$cache/build-freeglut" >/dev/null
}

# GLEW's one source file, built the way its own Makefile builds the static
# library.
build_glew() {
  local src
  src=$(ls -d "$cache"/src/glew-*/ | head -n1)
  mkdir -p "$prefix/lib" "$prefix/include/GL" "$cache/build-glew"
  x86_64-w64-mingw32-gcc-posix -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$src/include" \
    -c "$src/src/glew.c" -o "$cache/build-glew/glew.o"
  rm -f "$prefix/lib/libglew32s.a"
  x86_64-w64-mingw32-ar rcs "$prefix/lib/libglew32s.a" "$cache/build-glew/glew.o"
  cp "$src"/include/GL/{glew.h,wglew.h} "$prefix/include/GL/"
}

if [[ ! -f $prefix/lib/libfreeglut_static.a || ! -f $prefix/lib/libglew32s.a ]]; then
  echo "Building freeglut and GLEW for Windows into $cache"
  rm -rf "$cache"/src/freeglut[-_]* "$cache"/src/glew[-_]* "$cache/build-freeglut" "$cache/build-glew"
  fetch_sources freeglut glew
  build_freeglut
  build_glew
fi

# FreeType draws the characters of names from the system's font files.
# Only what TrueType, OpenType and COLR colour fonts need: no zlib, bzip2,
# PNG (CBDT colour bitmaps), Brotli (WOFF2) or HarfBuzz.
build_freetype() {
  local src
  src=$(ls -d "$cache"/src/freetype-*/ | head -n1)
  cmake -S "$src" -B "$cache/build-freetype" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
    -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON >/dev/null
  cmake --build "$cache/build-freetype" -j"$jobs" >/dev/null
  cmake --install "$cache/build-freetype" >/dev/null
}

if [[ ! -f $prefix/lib/libfreetype.a ]]; then
  echo "Building FreeType for Windows into $cache"
  rm -rf "$cache"/src/freetype[-_]* "$cache/build-freetype"
  fetch_sources freetype
  build_freetype
  # HarfBuzz is built against this FreeType's headers and options.
  rm -f "$prefix/lib/libharfbuzz.a"
fi

# HarfBuzz shapes names (over FreeType: hb-ft) and FriBidi puts their
# right-to-left runs in reading order. Both build with meson, told about
# the cross compilers by a cross file written here, and find the FreeType
# above through its pkg-config file only. HarfBuzz gets none of glib, ICU,
# cairo, graphite or GDI: its own Unicode tables suffice.
meson_cross_file() {
  local file=$cache/mingw-w64.meson
  cat >"$file" <<EOF
[binaries]
c = 'x86_64-w64-mingw32-gcc-posix'
cpp = 'x86_64-w64-mingw32-g++-posix'
ar = 'x86_64-w64-mingw32-ar'
strip = 'x86_64-w64-mingw32-strip'
windres = 'x86_64-w64-mingw32-windres'
pkgconfig = 'pkg-config'

[properties]
pkg_config_libdir = ['$prefix/lib/pkgconfig']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
  echo "$file"
}

# meson_static NAME SOURCE [OPTION...]: a static library into the prefix.
meson_static() {
  local name=$1 src=$2
  shift 2
  rm -rf "$cache/build-$name"
  meson setup "$cache/build-$name" "$src" --cross-file "$(meson_cross_file)" \
    --prefix="$prefix" --libdir=lib --buildtype=release -Ddefault_library=static "$@" >/dev/null
  ninja -C "$cache/build-$name" -j"$jobs" >/dev/null
  meson install -C "$cache/build-$name" --no-rebuild >/dev/null
}

build_harfbuzz() {
  meson_static harfbuzz "$(ls -d "$cache"/src/harfbuzz-*/ | head -n1)" \
    -Dfreetype=enabled -Dglib=disabled -Dgobject=disabled -Dcairo=disabled -Dchafa=disabled \
    -Dicu=disabled -Dgraphite2=disabled -Dgdi=disabled -Ddirectwrite=disabled \
    -Dtests=disabled -Dintrospection=disabled -Ddocs=disabled -Dbenchmark=disabled
}

build_fribidi() {
  meson_static fribidi "$(ls -d "$cache"/src/fribidi-*/ | head -n1)" -Ddocs=false
}

# A source folder already in the cache is built as it stands, so that a
# modified FriBidi or HarfBuzz put there is what gets linked (the notices
# tell users of FriBidi's licence how); removing the library from the
# prefix builds it again.
if [[ ! -f $prefix/lib/libharfbuzz.a || ! -f $prefix/lib/libfribidi.a ]]; then
  echo "Building HarfBuzz and FriBidi for Windows into $cache"
  missing=()
  for package in harfbuzz fribidi; do
    compgen -G "$cache/src/$package-*/" >/dev/null || missing+=("$package")
  done
  ((${#missing[@]} == 0)) || fetch_sources "${missing[@]}"
  [[ -f $prefix/lib/libharfbuzz.a ]] || build_harfbuzz
  [[ -f $prefix/lib/libfribidi.a ]] || build_fribidi
fi

# The font converter turns the committed atlas into source at build time;
# it runs on this machine, so it is built natively first. With the tests,
# so is the end-to-end test program, which drives the Windows program from
# here as it drives the Linux one. ORCHARD_HOST_BUILD names a native build
# folder already configured with the tests (scripts/test.sh passes its
# own), which is only brought up to date.
tests=OFF
host_targets=(font_image_source)
if [[ ${ORCHARD_WIN_TESTS:-0} == 1 ]]; then
  tests=ON
  host_targets+=(app_e2e_test)
fi
host=${ORCHARD_HOST_BUILD:-$build/host}
if [[ -z ${ORCHARD_HOST_BUILD:-} ]]; then
  cmake -S . -B "$host" -DCMAKE_BUILD_TYPE=Release -DORCHARD_TESTS=$tests -DORCHARD_BENCH=OFF >/dev/null
fi
cmake --build "$host" -j"$jobs" --target "${host_targets[@]}" >/dev/null
host=$(realpath "$host")

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DORCHARD_WIN_DEPS="$prefix" -DORCHARD_HOST_FONT_IMAGE_SOURCE="$host/render/font_image_source" \
  -DORCHARD_HOST_E2E_TEST="$([[ $tests == ON ]] && echo "$host/tests/app/app_e2e_test")" \
  -DORCHARD_TESTS=$tests -DORCHARD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$jobs"

exe=$build/app/orchard-menu.exe
# Nothing but Windows' own DLLs may be imported.
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }' | sort -u)
for dll in $imports; do
  case $dll in
    kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|opengl32.dll|glu32.dll|winmm.dll|bcrypt.dll|msvcrt.dll|api-ms-win-*) ;;
    *) echo "orchard-menu.exe needs $dll, which Windows does not provide" >&2; exit 1 ;;
  esac
done

# What users get: the program without its symbols, our licence and the
# notices of the work of others linked into it, each copied from the
# source it was built from; text files with CR LF line ends for Notepad.
dist=$build/dist
rm -rf "$dist"
mkdir -p "$dist"
x86_64-w64-mingw32-strip -o "$dist/orchard-menu.exe" "$exe"
tools/third_party_notices.sh "$dist/notices" windows \
  "$(ls -d "$cache"/src/freeglut-*/ | head -n1)" "$(ls -d "$cache"/src/glew-*/ | head -n1)" \
  "$(ls -d "$cache"/src/freetype-*/ | head -n1)" "$(ls -d "$cache"/src/harfbuzz-*/ | head -n1)" \
  "$(ls -d "$cache"/src/fribidi-*/ | head -n1)"
sed 's/$/\r/' "$dist/notices" >"$dist/THIRD-PARTY-NOTICES.txt"
sed 's/$/\r/' LICENSE >"$dist/LICENSE.txt"
rm "$dist/notices"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "no project version in $build/CMakeCache.txt" >&2; exit 1; }
command -v wixl >/dev/null || { echo "wixl is missing: the installer cannot be made" >&2; exit 1; }
msi=$(realpath -m "$build/orchard-menu-$version-x64.msi")
rm -f "$msi"
# wixl finds sources only by paths relative to the working directory.
from_here=$(realpath -m --relative-to="$repo" "$dist")
wixl -a x64 -o "$msi" -D Version="$version" -D ProgramFile="$from_here/orchard-menu.exe" \
  -D IconFile="$from_here/../app/app-icon.ico" \
  -D LicenceFile="$from_here/LICENSE.txt" -D NoticesFile="$from_here/THIRD-PARTY-NOTICES.txt" \
  packaging/windows/orchard-menu.wxs
[[ -s $msi ]] || { echo "wixl made no installer" >&2; exit 1; }

zip=$(realpath -m "$build/orchard-menu-windows.zip")
rm -f "$zip"
(cd "$dist" && zip -q -X "$zip" orchard-menu.exe LICENSE.txt THIRD-PARTY-NOTICES.txt)
echo "$msi"
echo "$zip"
