#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: once as built for
# use, once under AddressSanitizer and UndefinedBehaviorSanitizer.
# Starts its own virtual X display for the window and drawing tests.
# Further checks (one script each) go at the end, one line per check.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
source scripts/xvfb.sh
start_xvfb
echo "Tests draw on virtual display $DISPLAY"

jobs=$(nproc)
# Configures, builds and runs the suite in build folder $1 with the CMake
# options that follow.
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORCHARD_TESTS=ON -DORCHARD_BENCH=ON

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORCHARD_SANITIZE=ON -DORCHARD_TESTS=ON -DORCHARD_BENCH=OFF

# The Debian package, its install and the installed program's window.
scripts/test-package.sh
scripts/test-fuzz.sh  # the libFuzzer targets, about 30 s each

# The Windows program, cross-built and run under wine on the same display.
ORCHARD_HOST_BUILD=build scripts/test-windows.sh
