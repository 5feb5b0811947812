// systemFaceFor() through fontconfig: the user's configuration orders the
// installed fonts for a bold sans-serif face (the emoji family first when
// emoji are asked for), and the first font in that order whose character
// set has the character draws it. That is the face fontconfig's own sort
// with the character in the pattern's charset puts first, since coverage
// ranks above family there; sorting once per kind and walking the list
// saves a sort of every font per character. Bitmap fonts in a few small
// sizes are passed over (glyphs are drawn at the cell's size, not
// magnified), colour bitmap fonts such as the emoji font are not.
#include <fontconfig/fontconfig.h>

#include "render/system_fonts.h"

namespace {

FcFontSet* sortedFonts(bool emoji) {
  static FcFontSet* sorted[2] = {nullptr, nullptr};
  static bool tried[2] = {false, false};
  if (tried[emoji]) return sorted[emoji];
  tried[emoji] = true;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return nullptr;
  if (emoji) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("emoji"));
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
  if (FcConfigSubstitute(nullptr, pattern, FcMatchPattern)) {
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    sorted[emoji] = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  }
  FcPatternDestroy(pattern);
  return sorted[emoji];
}

}  // namespace

bool systemFaceFor(char32_t codePoint, bool emoji, FontFace& face, std::size_t& position) {
  const FcFontSet* fonts = sortedFonts(emoji);
  if (fonts == nullptr) return false;
  for (std::size_t i = position; i < static_cast<std::size_t>(fonts->nfont); ++i) {
    FcPattern* font = fonts->fonts[i];
    FcCharSet* charset = nullptr;
    FcChar8* file = nullptr;
    if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
        !FcCharSetHasChar(charset, codePoint) || FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch)
      continue;
    FcBool scalable = FcTrue, colour = FcFalse;
    FcPatternGetBool(font, FC_SCALABLE, 0, &scalable);
    FcPatternGetBool(font, FC_COLOR, 0, &colour);
    if (!scalable && !colour) continue;
    int index = 0;
    if (FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    face.path = reinterpret_cast<const char*>(file);
    // Variable fonts carry their instance in the upper 16 bits; FreeType
    // takes the same number.
    face.index = index;
    position = i;
    return true;
  }
  return false;
}
