// The character properties that name drawing needs, as tables generated
// from the Unicode Character Database (tools/unicode_tables_generator.cpp
// writes render/unicode_tables.cpp), and the lookups over them.
#pragma once

#include <cstddef>
#include <cstdint>

// Code points first..last, both included. Tables are sorted and disjoint.
struct CodeRange {
  char32_t first;
  char32_t last;
};

// Code points first..last share one canonical combining class.
struct ClassRange {
  char32_t first;
  char32_t last;
  int combiningClass;
};

// `composite` decomposes canonically into `first` then `second` (0 when
// the decomposition is the single `first`).
struct Decomposition {
  char32_t composite;
  char32_t first;
  char32_t second;
};

extern const CodeRange kCombiningMarks[];       // Mn and Me, not invisible
extern const std::size_t kCombiningMarksCount;
extern const CodeRange kInvisibleCharacters[];  // see isInvisible()
extern const std::size_t kInvisibleCharactersCount;
extern const CodeRange kWideCharacters[];       // East Asian Width W and F
extern const std::size_t kWideCharactersCount;
extern const CodeRange kEmojiPresentation[];
extern const std::size_t kEmojiPresentationCount;
extern const CodeRange kEmojiVariationBases[];  // with a text/emoji variant
extern const std::size_t kEmojiVariationBasesCount;
extern const ClassRange kCombiningClasses[];    // classes other than 0
extern const std::size_t kCombiningClassesCount;
extern const Decomposition kDecompositions[];   // sorted by composite
extern const std::size_t kDecompositionsCount;
extern const Decomposition kCompositions[];     // sorted by (first, second)
extern const std::size_t kCompositionsCount;

// A non-spacing or enclosing mark that draws over the character before it.
bool isCombiningMark(char32_t c);

// Drawn as nothing or as a blank by fonts, so shown as a visible mark:
// default-ignorable code points (zero-width space and joiners, soft hyphen,
// byte-order mark, bidirectional controls, variation selectors, tags, ...),
// C1 controls, format characters and every space or separator above ASCII.
bool isInvisible(char32_t c);

// East Asian wide or full-width: drawn to fill the square cell.
bool isWide(char32_t c);

// Shown as emoji unless a U+FE0E asks for text.
bool isEmojiPresentation(char32_t c);

// A character that U+FE0E (text) and U+FE0F (emoji) have a variant of.
bool hasEmojiVariation(char32_t c);

// The canonical combining class; 0 for starters.
int combiningClass(char32_t c);

// Canonical composition (NFC) of `text`, `length` code points, in place;
// returns the new length (never longer). Hangul syllables included.
std::size_t composeCanonically(char32_t* text, std::size_t length);
