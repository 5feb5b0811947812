#!/usr/bin/env bash
# Builds everything and runs the whole test suite twice: once as built for
# use, once under AddressSanitizer and UndefinedBehaviorSanitizer.
# Starts its own virtual X display for the window and drawing tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
source scripts/xvfb.sh
start_xvfb
echo "Tests draw on virtual display $DISPLAY"

jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DORCHARD_SANITIZE=ON -DORCHARD_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ctest --output-on-failure -j"$jobs")

# The libFuzzer targets, about 30 s each.
scripts/test-fuzz.sh
