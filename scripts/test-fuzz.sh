#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (address and undefined
# behaviour sanitizers) and runs each over its committed seed corpus for a
# bounded time: FUZZ_SECONDS, 30 by default. Longer runs:
#   FUZZ_SECONDS=3600 scripts/test-fuzz.sh
# New inputs go to a scratch folder; a crash leaves its input in
# build-fuzz/ and fails the script. The glyphs target also starts from
# names made of lines of Unicode's NormalizationTest.txt and
# GraphemeBreakTest.txt (Debian's unicode-data): every line of the latter,
# every FUZZ_SEED_STEP-th of the former (12 by default; 1 takes them all,
# for long runs). Leaks that fontconfig keeps to itself are suppressed as
# in the test suites.
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
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# One seed file per test line: its source and decomposed columns, or the
# code points of a grapheme break case, as UTF-8.
unicode=/usr/share/unicode
step=${FUZZ_SEED_STEP:-12}
mkdir -p "$scratch/seeds/glyphs"
if [[ -r $unicode/NormalizationTest.txt.bz2 && -r $unicode/auxiliary/GraphemeBreakTest.txt ]]; then
  { bzcat "$unicode/NormalizationTest.txt.bz2" | sed 's/^/N /'; sed 's/^/G /' "$unicode/auxiliary/GraphemeBreakTest.txt"; } |
    perl -CO -ne '
      BEGIN { ($dir, $step) = @ARGV[0, 1]; @ARGV = (); }
      next if /^. [#@]/;
      my ($kind, $rest) = /^(.) ([^#]*)/;
      next if $kind eq "N" && ++$n % $step;
      my @fields = $kind eq "N" ? (split /;/, $rest)[0, 2] : ($rest);
      for my $i (0 .. $#fields) {
        my $text = join "", map { chr hex } ($fields[$i] =~ /([0-9A-F]{4,6})/g);
        open my $out, ">:utf8", "$dir/$kind$.-$i" or die;
        print $out $text;
        close $out;
      }' "$scratch/seeds/glyphs" "$step"
else
  echo "unicode-data not installed: the glyphs target starts from its committed seeds only"
fi

for target in marks marks_format path cells glyphs layout; do
  mkdir -p "$scratch/$target" "$scratch/seeds/$target"
  echo "Fuzzing $target for ${seconds}s"
  if ! (cd build-fuzz && LSAN_OPTIONS=suppressions=../tests/lsan.supp:print_suppressions=0 \
          "fuzz/${target}_fuzz" -max_total_time="$seconds" \
          "$scratch/$target" "../fuzz/corpus/$target" "$scratch/seeds/$target" >"$scratch/$target.log" 2>&1); then
    tail -n 40 "$scratch/$target.log"
    echo "fuzz target $target failed; its input is in build-fuzz/" >&2
    exit 1
  fi
  grep -E '^Done [0-9]+ runs' "$scratch/$target.log" || true
done
