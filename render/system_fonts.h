// The user's own fonts, as the platform finds them: which font file draws a
// character the built-in atlas has no glyph for. One realisation per
// platform (system_fonts_posix.cpp through fontconfig,
// system_fonts_win32.cpp through the system's font fallback), picked by the
// build. The glyphs themselves are rasterised from the face this names.
#pragma once

#include <cstddef>
#include <string>

// One face of an installed font file.
struct FontFace {
  std::string path;  // the font file, UTF-8, as FreeType opens it
  int index = 0;     // the face within a collection (.ttc, .otc); 0 otherwise
};

// The face the system picks to draw `codePoint` in a bold sans-serif text
// face, falling back per character the way the system does (on Linux the
// user's fontconfig configuration decides). With `emoji` the system's emoji
// font is asked first, for characters shown as emoji. The system's fonts
// stand in one order; the search starts at `position` in it (0: the
// system's first choice), and on success `position` is where `face` stands,
// so that position + 1 asks for the next font that has the character.
// False, leaving `face` and `position` unspecified, when no font from there
// on has the character. Results may be remembered by the caller; the call
// itself may be slow (milliseconds). One thread at a time.
bool systemFaceFor(char32_t codePoint, bool emoji, FontFace& face, std::size_t& position);

// The system's first choice for `codePoint`: systemFaceFor() from 0.
inline bool systemFaceFor(char32_t codePoint, bool emoji, FontFace& face) {
  std::size_t position = 0;
  return systemFaceFor(codePoint, emoji, face, position);
}
