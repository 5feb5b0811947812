#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (address and undefined
# behaviour sanitizers) and runs each over its committed seed corpus for a
# bounded time: FUZZ_SECONDS, 30 by default. Longer runs:
#   FUZZ_SECONDS=3600 scripts/test-fuzz.sh
# New inputs go to a scratch folder; a crash leaves its input in
# build-fuzz/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzz targets skipped"
  exit 0
fi
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORCHARD_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$(nproc)"
# The layout target reads the system's fonts: fontconfig keeps its
# configuration until the process ends, as in the other tests.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for target in marks marks_format path cells layout; do
  mkdir -p "$scratch/$target"
  echo "Fuzzing $target for ${seconds}s"
  if ! (cd build-fuzz && "fuzz/${target}_fuzz" -max_total_time="$seconds" \
          "$scratch/$target" "../fuzz/corpus/$target" >"$scratch/$target.log" 2>&1); then
    tail -n 40 "$scratch/$target.log"
    echo "fuzz target $target failed; its input is in build-fuzz/" >&2
    exit 1
  fi
  grep -E '^Done [0-9]+ runs' "$scratch/$target.log" || true
done
