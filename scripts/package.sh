#!/usr/bin/env bash
# Builds the Debian package of orchard.menu and leaves it in the top folder
# as orchard-menu_<version>_<architecture>.deb (the version is the one in
# CMakeLists.txt's project() line). Install it with
#   sudo apt install ./orchard-menu_*.deb
# The configure is the plain one of an install: no tests, no benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

# Debian's own compiler and linker flags with every hardening feature:
# fortified functions, stack protector, read-only relocations bound at
# start.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build build-package -j"$(nproc)"

rm -f build-package/orchard-menu_*.deb
(cd build-package && cpack -G DEB >/dev/null)
debs=(build-package/orchard-menu_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || { echo "cpack made no single package: ${debs[*]}" >&2; exit 1; }
rm -f orchard-menu_*.deb
cp "${debs[0]}" .
echo "Package: $PWD/$(basename "${debs[0]}")"
