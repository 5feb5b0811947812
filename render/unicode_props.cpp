#include <algorithm>
#include <cstddef>

#include "render/unicode_tables.h"

namespace {

bool inRanges(const CodeRange* table, std::size_t count, char32_t c) {
  const CodeRange* end = table + count;
  const CodeRange* r = std::upper_bound(table, end, c, [](char32_t v, const CodeRange& x) { return v < x.first; });
  return r != table && c <= (r - 1)->last;
}

// Hangul syllables compose and decompose by arithmetic, not by table.
constexpr char32_t kSyllableBase = 0xAC00, kLeadBase = 0x1100, kVowelBase = 0x1161, kTrailBase = 0x11A7;
constexpr char32_t kLeadCount = 19, kVowelCount = 21, kTrailCount = 28;
constexpr char32_t kSyllableCount = kLeadCount * kVowelCount * kTrailCount;

// Appends the full canonical decomposition of `c` to out[n...]; the
// buffer holds `capacity` code points and what does not fit is dropped.
void decompose(char32_t c, char32_t* out, std::size_t& n, std::size_t capacity) {
  if (c >= kSyllableBase && c < kSyllableBase + kSyllableCount) {
    const char32_t s = c - kSyllableBase;
    const char32_t parts[3] = {kLeadBase + s / (kVowelCount * kTrailCount),
                               kVowelBase + (s % (kVowelCount * kTrailCount)) / kTrailCount,
                               kTrailBase + s % kTrailCount};
    for (int i = 0; i < (parts[2] == kTrailBase ? 2 : 3); ++i)
      if (n < capacity) out[n++] = parts[i];
    return;
  }
  const Decomposition* end = kDecompositions + kDecompositionsCount;
  const Decomposition* d = std::lower_bound(kDecompositions, end, c,
                                            [](const Decomposition& x, char32_t v) { return x.composite < v; });
  if (d == end || d->composite != c) {
    if (n < capacity) out[n++] = c;
    return;
  }
  decompose(d->first, out, n, capacity);
  if (d->second != 0) decompose(d->second, out, n, capacity);
}

char32_t composePair(char32_t a, char32_t b) {
  if (a >= kLeadBase && a < kLeadBase + kLeadCount && b >= kVowelBase && b < kVowelBase + kVowelCount)
    return kSyllableBase + ((a - kLeadBase) * kVowelCount + (b - kVowelBase)) * kTrailCount;
  if (a >= kSyllableBase && a < kSyllableBase + kSyllableCount && (a - kSyllableBase) % kTrailCount == 0 &&
      b > kTrailBase && b < kTrailBase + kTrailCount)
    return a + (b - kTrailBase);
  const Decomposition* end = kCompositions + kCompositionsCount;
  const Decomposition* p = std::lower_bound(kCompositions, end, a, [&](const Decomposition& x, char32_t) {
    return x.first < a || (x.first == a && x.second < b);
  });
  return p != end && p->first == a && p->second == b ? p->composite : 0;
}

}  // namespace

bool isCombiningMark(char32_t c) { return inRanges(kCombiningMarks, kCombiningMarksCount, c); }
bool isInvisible(char32_t c) { return inRanges(kInvisibleCharacters, kInvisibleCharactersCount, c); }
bool isWide(char32_t c) { return inRanges(kWideCharacters, kWideCharactersCount, c); }
bool isEmojiPresentation(char32_t c) { return inRanges(kEmojiPresentation, kEmojiPresentationCount, c); }
bool hasEmojiVariation(char32_t c) { return inRanges(kEmojiVariationBases, kEmojiVariationBasesCount, c); }

int combiningClass(char32_t c) {
  const ClassRange* end = kCombiningClasses + kCombiningClassesCount;
  const ClassRange* r =
      std::upper_bound(kCombiningClasses, end, c, [](char32_t v, const ClassRange& x) { return v < x.first; });
  return r != kCombiningClasses && c <= (r - 1)->last ? (r - 1)->combiningClass : 0;
}

std::size_t composeCanonically(char32_t* text, std::size_t length) {
  // A decomposed cluster is a handful of code points; one far longer is
  // left as it is rather than worked on without bound.
  constexpr std::size_t kCapacity = 64;
  if (length == 0 || length > kCapacity / 4) return length;
  char32_t d[kCapacity];
  std::size_t n = 0;
  for (std::size_t i = 0; i < length; ++i) decompose(text[i], d, n, kCapacity);
  // Canonical order: marks between two starters sorted by class, stably.
  for (std::size_t i = 1; i < n; ++i) {
    const int cls = combiningClass(d[i]);
    if (cls == 0) continue;
    std::size_t j = i;
    while (j > 0 && combiningClass(d[j - 1]) > cls) {
      std::swap(d[j], d[j - 1]);
      --j;
    }
  }
  // Compose each mark with the last starter unless a mark of the same or a
  // higher class (or a starter) stands between them.
  std::size_t starter = 0, out = 1;
  int lastClass = combiningClass(d[0]) == 0 ? 0 : 256;
  for (std::size_t i = 1; i < n; ++i) {
    const int cls = combiningClass(d[i]);
    const char32_t composite = composePair(d[starter], d[i]);
    const bool blocked = out - 1 != starter && (lastClass == 0 || lastClass >= cls);
    if (composite != 0 && !blocked && lastClass != 256) {
      d[starter] = composite;
      continue;
    }
    if (cls == 0) starter = out;
    lastClass = cls;
    d[out++] = d[i];
  }
  std::copy(d, d + out, text);
  return out;
}
