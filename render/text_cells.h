// How a name is cut into the cells of the fixed pitch: one cell per
// character of its UTF-8 text, the atlas cell of each ASCII byte and of
// each byte that is not part of a well-formed sequence.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One cell of a name.
struct TextCell {
  enum class Kind : unsigned char {
    atlas,      // `byte`'s cell of the built-in atlas, as the text module draws it
    glyph,      // `text` drawn from the system's fonts
    invisible,  // `text` (one code point) drawn as a visible mark
    slice,      // cell `slice` of the picture of `text` shaped as one run
                // (layOutCells() makes these; text_shaping.h)
    pending,    // a cell whose shaping is not known yet: a placeholder
  };
  Kind kind = Kind::atlas;
  unsigned char byte = 0;  // atlas only
  bool emoji = false;      // glyph: the emoji font is asked first
  std::u32string text;     // a character and the marks over it, composed (NFC)
  std::size_t at = 0;      // where the cell's first byte lies in the text
  bool circled = false;    // glyph: text[0] is a kDottedCircle supplied, not stored
  unsigned short slice = 0;   // slice only: which cell of the run, from the left
  bool rightToLeft = false;   // slice only: the run was shaped right to left
};

// The well-formed UTF-8 sequence that starts at text[at] (at < length):
// its length, 2 to 4, with its code point in `codePoint`. 0 for an ASCII
// byte and for any byte that does not start a well-formed multi-byte
// sequence: a continuation byte, an overlong form, a surrogate, a code
// point above U+10FFFF or a sequence cut short.
std::size_t decodeUtf8(const char* text, std::size_t length, std::size_t at, char32_t& codePoint);

// Replaces `cells` by the cells of `text`, left to right in stored order.
// A combining mark joins the cell of the character before it (a printable
// one; at most kMaxCellCharacters code points in one cell), and so do the
// conjoining Hangul vowels and finals. A mark that joins nothing (the
// first of a name, after a control or invisible character, past a full
// cell) starts a cell on kDottedCircle. U+FE0E and U+FE0F join a
// character that has a text and an emoji form and choose it. Invisible
// characters take cells of their own.
// Stops before the cell after the first `maxCells`, so that only what can
// show is looked at, however long the text.
void splitIntoCells(std::string_view text, std::vector<TextCell>& cells,
                    std::size_t maxCells = static_cast<std::size_t>(-1));

constexpr std::size_t kMaxCellCharacters = 8;
// U+25CC DOTTED CIRCLE, the base of a mark that stands alone.
constexpr char32_t kDottedCircle = 0x25CC;
