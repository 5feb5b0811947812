// The system's font files as FreeType faces, and their glyphs as pictures:
// the one store behind the cells (glyph_raster.cpp) and the shaped runs
// (text_shaping.cpp), so that each file is opened once. Everything here
// runs on the font worker's thread (font_worker.h) alone: no locking, no GL.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <vector>

#include "render/system_fonts.h"

// One font file's face, open for the rest of the run.
struct OpenFace {
  FontFace file;
  FT_Face face = nullptr;    // null for a file that did not open
  bool bold = false;         // drawn as is; regular faces get emboldened
  bool fixedColour = false;  // colour bitmaps in fixed sizes (CBDT, sbix)
  double capUnits = 0;       // capital height in font units, within reason
};

// The index of the open face of `file`, opening it on first use; -1 when
// FreeType cannot open it or it has neither outlines (with units per em)
// nor colour bitmaps. A file is tried once: a failure is remembered.
// Indices stay valid, and their faces in place, for the rest of the run.
int openFace(const FontFace& file);

// The open face at `index`, a value openFace() or faceFor() returned (>= 0).
// The reference stays valid while more faces are opened.
const OpenFace& faceAt(int index);

// The face that draws `c`, -1 for none: the first font in the system's
// order (systemFaceFor()) that opens and whose own character map has `c`,
// as the system's idea of a font's characters may be wrong or out of
// date. With `emoji` the system's emoji choice is asked. Remembered.
int faceFor(char32_t c, bool emoji);

// A rendered glyph: premultiplied RGBA floats, rows top first, its top-left
// corner `left` pixels right of and `top` pixels above the pen on the
// baseline.
struct GlyphBitmap {
  int width = 0, rows = 0, left = 0, top = 0;
  std::vector<float> rgba;
};

// Lays the premultiplied RGBA pixel `s` over `d` ("over" compositing).
inline void blendPixel(const float* s, float* d) {
  for (int k = 0; k < 4; ++k) d[k] = s[k] + d[k] * (1.0f - s[3]);
}

// Stores the premultiplied RGBA float pixel `s` as the straight-alpha
// bytes a cell's picture holds, alpha clamped to [0, 1].
void storeCellPixel(const float* s, unsigned char* out);

// Renders glyph `glyphIndex` of `open` into `out` at `pixelsPerEm` (a
// fixed-size colour font: its smallest strike at least a cell high, else
// its largest, whatever `pixelsPerEm`), a regular outline face emboldened
// to the atlas's weight, its origin moved right by `dx` and up by `dy`
// pixels (outlines only; fractions for sub-pixel pen positions). False
// when FreeType cannot load or render it.
bool renderGlyph(const OpenFace& open, unsigned glyphIndex, float pixelsPerEm, float dx, float dy,
                 GlyphBitmap& out);
