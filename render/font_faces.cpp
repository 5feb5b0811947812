#include "render/font_faces.h"

#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <utility>

#include "render/glyph_raster.h"

namespace {

struct Fonts {
  FT_Library library = nullptr;
  bool tried = false;
  // Fonts stay open for the run, as many as the names need. A face is
  // named by its index; a deque keeps every face where it is while another
  // is opened, so a face in use (the base's, while a mark's font is found)
  // never moves under its user.
  std::deque<OpenFace> faces;
  std::unordered_map<uint64_t, int> chosen;  // code point (+ emoji) -> faces index, -1: none
};

Fonts& fonts() {
  // Never destroyed: the font worker may still be inside a job at exit, and
  // the fonts stay reachable from here for the leak checker.
  static Fonts& f = *new Fonts;
  if (!f.tried) {
    f.tried = true;
    if (FT_Init_FreeType(&f.library) != 0) f.library = nullptr;
  }
  return f;
}

// Remembered choices; past this many they are asked again.
constexpr std::size_t kMaxChoices = 1 << 16;

// The capital height of `face` in font units: the font's own word, else
// the top of its 'H'; a height far from the usual would size the glyphs
// absurdly (a font that claims 1 unit would ask for a bitmap thousands of
// pixels wide), and such fonts get the usual one.
double capitalUnits(FT_Face face) {
  double cap = 0;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 != nullptr && os2->version >= 2 && os2->sCapHeight > 0) cap = os2->sCapHeight;
  if (cap <= 0 && FT_IS_SCALABLE(face) && FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE) == 0 &&
      face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_BBox box;
    FT_Outline_Get_CBox(&face->glyph->outline, &box);
    cap = static_cast<double>(box.yMax);
  }
  const double em = face->units_per_EM > 0 ? face->units_per_EM : 1000;
  if (cap < 0.4 * em || cap > 1.2 * em) cap = 0.72 * em;
  return cap;
}

}  // namespace

int openFace(const FontFace& file) {
  Fonts& f = fonts();
  for (std::size_t i = 0; i < f.faces.size(); ++i)
    if (f.faces[i].file.path == file.path && f.faces[i].file.index == file.index)
      return f.faces[i].face != nullptr ? static_cast<int>(i) : -1;
  if (f.library == nullptr) return -1;
  OpenFace open;
  open.file = file;
  FT_Face face = nullptr;
  if (FT_New_Face(f.library, file.path.c_str(), file.index, &face) != 0) face = nullptr;
  if (face != nullptr) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    open.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0 || (os2 != nullptr && os2->usWeightClass >= 600);
    open.fixedColour = FT_HAS_COLOR(face) && FT_HAS_FIXED_SIZES(face) && !FT_IS_SCALABLE(face);
    // Sizes and shaped positions are reckoned in units per em.
    if ((!FT_IS_SCALABLE(face) || face->units_per_EM == 0) && !open.fixedColour) {
      FT_Done_Face(face);
      face = nullptr;
    }
  }
  if (face != nullptr) open.capUnits = capitalUnits(face);
  open.face = face;
  f.faces.push_back(std::move(open));
  return face != nullptr ? static_cast<int>(f.faces.size() - 1) : -1;
}

const OpenFace& faceAt(int index) { return fonts().faces[static_cast<std::size_t>(index)]; }

int faceFor(char32_t c, bool emoji) {
  Fonts& f = fonts();
  const uint64_t key = static_cast<uint64_t>(c) | (emoji ? (uint64_t{1} << 32) : 0);
  const auto known = f.chosen.find(key);
  if (known != f.chosen.end()) return known->second;
  int index = -1;
  FontFace file;
  for (std::size_t position = 0; f.library != nullptr && systemFaceFor(c, emoji, file, position); ++position) {
    const int opened = openFace(file);
    if (opened >= 0 && FT_Get_Char_Index(faceAt(opened).face, c) != 0) {
      index = opened;
      break;
    }
  }
  if (f.chosen.size() >= kMaxChoices) f.chosen.clear();
  f.chosen.emplace(key, index);
  return index;
}

bool renderGlyph(const OpenFace& open, unsigned glyphIndex, float pixelsPerEm, float dx, float dy,
                 GlyphBitmap& out) {
  FT_Face face = open.face;
  if (open.fixedColour) {
    // The smallest strike at least a cell high, else the largest.
    int best = 0;
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
      const int h = face->available_sizes[i].height, bh = face->available_sizes[best].height;
      if ((h >= kCellPixels && (bh < kCellPixels || h < bh)) || (bh < kCellPixels && h > bh)) best = i;
    }
    if (FT_Select_Size(face, best) != 0 || FT_Load_Glyph(face, glyphIndex, FT_LOAD_COLOR) != 0) return false;
  } else {
    if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(pixelsPerEm * 64)), 72, 72) != 0 ||
        FT_Load_Glyph(face, glyphIndex,
                      FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP | (FT_HAS_COLOR(face) ? FT_LOAD_COLOR : 0)) != 0)
      return false;
    if (face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
      // A regular face made as bold as the atlas's letters.
      if (!open.bold) {
        const FT_Pos strength = static_cast<FT_Pos>(std::lround(pixelsPerEm * 64 / 24));
        FT_Outline_EmboldenXY(&face->glyph->outline, strength, strength);
      }
      FT_Outline_Translate(&face->glyph->outline, static_cast<FT_Pos>(std::lround(dx * 64)),
                           static_cast<FT_Pos>(std::lround(dy * 64)));
    }
  }
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return false;
  const FT_Bitmap& bm = slot->bitmap;
  out.width = static_cast<int>(bm.width);
  out.rows = static_cast<int>(bm.rows);
  out.left = slot->bitmap_left;
  out.top = slot->bitmap_top;
  out.rgba.assign(static_cast<std::size_t>(out.width) * out.rows * 4, 0.0f);
  for (int y = 0; y < out.rows; ++y) {
    const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
    for (int x = 0; x < out.width; ++x) {
      float* p = &out.rgba[(static_cast<std::size_t>(y) * out.width + x) * 4];
      switch (bm.pixel_mode) {
        case FT_PIXEL_MODE_GRAY: p[0] = p[1] = p[2] = p[3] = row[x] / 255.0f; break;
        case FT_PIXEL_MODE_MONO: p[0] = p[1] = p[2] = p[3] = (row[x / 8] >> (7 - x % 8)) & 1 ? 1.0f : 0.0f; break;
        case FT_PIXEL_MODE_BGRA:
          p[0] = row[4 * x + 2] / 255.0f;
          p[1] = row[4 * x + 1] / 255.0f;
          p[2] = row[4 * x + 0] / 255.0f;
          p[3] = row[4 * x + 3] / 255.0f;
          break;
        default: return false;
      }
    }
  }
  return true;
}

void storeCellPixel(const float* s, unsigned char* out) {
  const float a = std::clamp(s[3], 0.0f, 1.0f);
  for (int k = 0; k < 3; ++k)
    out[k] = a > 0 ? static_cast<unsigned char>(std::lround(std::clamp(s[k] / a, 0.0f, 1.0f) * 255)) : 0;
  out[3] = static_cast<unsigned char>(std::lround(a * 255));
}
