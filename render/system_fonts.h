// The user's own fonts, as the platform finds them: which font file draws a
// character the built-in atlas has no glyph for. One realisation per
// platform (system_fonts_posix.cpp through fontconfig,
// system_fonts_win32.cpp through the system's font fallback), picked by the
// build. The glyphs themselves are rasterised from the face this names.
#pragma once

#include <string>

// One face of an installed font file.
struct FontFace {
  std::string path;  // the font file, UTF-8, as FreeType opens it
  int index = 0;     // the face within a collection (.ttc, .otc); 0 otherwise
};

// The face the system picks to draw `codePoint` in a bold sans-serif text
// face, falling back per character the way the system does (on Linux the
// user's fontconfig configuration decides). With `emoji` the system's emoji
// font is asked first, for characters shown as emoji. False, leaving `face`
// unspecified, when no installed font has the character. Results may be
// remembered by the caller; the call itself may be slow (milliseconds).
bool systemFaceFor(char32_t codePoint, bool emoji, FontFace& face);
