#include "render/glyph_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "render/font_faces.h"
#include "render/unicode_tables.h"

namespace {

// Where the atlas has its glyphs, in pixels of a cell on the screen,
// heights counted up from the baseline, which lies 4 pixels above the
// cell's bottom: capitals 24 tall, ink centred on column 17 and at most 26
// wide. Square characters may use 30 of the 32 pixels either way.
constexpr float kBaseline = 28.0f;  // rows from the cell's top
constexpr float kCapHeight = 24.0f;
constexpr float kAbove = 28.0f;     // room above the baseline
constexpr float kBelow = 4.0f;      // and below it
constexpr float kNarrowCentre = 17.0f;
constexpr float kNarrowInk = 26.0f;
constexpr float kWideInk = 30.0f;
constexpr float kWidePixelsPerEm = 30.0f;

// One rendered glyph: premultiplied RGBA floats, rows top first; `left`
// and `top` place its top-left corner from the pen on the baseline.
struct Piece {
  int width = 0, rows = 0;
  int left = 0, top = 0;
  std::vector<float> rgba;
  int inkLeft = 0, inkRight = -1, inkTop = 0, inkBottom = -1;  // within the bitmap, inclusive

  bool inked() const { return inkRight >= inkLeft; }
  float centreX() const { return left + (inkLeft + inkRight + 1) * 0.5f; }
  int heightTop() const { return top - inkTop; }           // above the baseline
  int heightBottom() const { return top - inkBottom - 1; }
};

// Sets the ink box of `picture` (a Piece or a Canvas): the pixels more
// than one step of 255 opaque; an empty box (right < left) for none.
template <typename Picture>
void findInk(Picture& picture) {
  picture.inkLeft = picture.width, picture.inkRight = -1;
  picture.inkTop = picture.rows, picture.inkBottom = -1;
  for (int y = 0; y < picture.rows; ++y)
    for (int x = 0; x < picture.width; ++x)
      if (picture.rgba[(static_cast<std::size_t>(y) * picture.width + x) * 4 + 3] > 1.0f / 255) {
        picture.inkLeft = std::min(picture.inkLeft, x);
        picture.inkRight = std::max(picture.inkRight, x);
        picture.inkTop = std::min(picture.inkTop, y);
        picture.inkBottom = std::max(picture.inkBottom, y);
      }
}

// The piece of character `c` from `open`; false when the face has no
// glyph for it or cannot render it.
bool renderPiece(const OpenFace& open, char32_t c, float pixelsPerEm, Piece& piece) {
  const FT_UInt index = FT_Get_Char_Index(open.face, c);
  GlyphBitmap bitmap;
  if (index == 0 || !renderGlyph(open, index, pixelsPerEm, 0, 0, bitmap)) return false;
  piece.width = bitmap.width;
  piece.rows = bitmap.rows;
  piece.left = bitmap.left;
  piece.top = bitmap.top;
  piece.rgba = std::move(bitmap.rgba);
  findInk(piece);
  return true;
}

// The pieces of one cell laid together: premultiplied RGBA, rows top
// first, the baseline under row `baselineRow` - 1.
struct Canvas {
  int width = 0, rows = 0;
  int baselineRow = 0;
  std::vector<float> rgba;
  int inkLeft = 0, inkRight = -1, inkTop = 0, inkBottom = -1;

  float at(int x, int y, int channel) const {
    if (x < 0 || y < 0 || x >= width || y >= rows) return 0.0f;
    return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + channel];
  }
};

Canvas layTogether(const std::vector<std::pair<Piece, std::pair<int, int>>>& pieces) {
  int minX = 0, maxX = 0, maxTop = 0, minBottom = 0;
  bool first = true;
  for (const auto& [p, offset] : pieces) {
    const int x0 = p.left + offset.first, x1 = x0 + p.width;
    const int top = p.top + offset.second, bottom = top - p.rows;
    if (first) {
      minX = x0, maxX = x1, maxTop = top, minBottom = bottom;
      first = false;
    } else {
      minX = std::min(minX, x0), maxX = std::max(maxX, x1);
      maxTop = std::max(maxTop, top), minBottom = std::min(minBottom, bottom);
    }
  }
  Canvas c;
  c.width = maxX - minX;
  c.rows = maxTop - minBottom;
  c.baselineRow = maxTop;
  c.rgba.assign(static_cast<std::size_t>(c.width) * c.rows * 4, 0.0f);
  for (const auto& [p, offset] : pieces) {
    const int x0 = p.left + offset.first - minX, y0 = maxTop - (p.top + offset.second);
    for (int y = 0; y < p.rows; ++y)
      for (int x = 0; x < p.width; ++x) {
        const float* s = &p.rgba[(static_cast<std::size_t>(y) * p.width + x) * 4];
        float* d = &c.rgba[(static_cast<std::size_t>(y0 + y) * c.width + x0 + x) * 4];
        blendPixel(s, d);
      }
  }
  findInk(c);
  return c;
}

// Which source positions (canvas pixels, continuous) one axis of the cell
// samples: cell pixel i covers source [map(i), map(i + 1)).
struct AxisMap {
  enum class Kind { shift, scale, squeeze } kind = Kind::shift;
  float offset = 0;                       // shift: source = cell - offset
  float scale = 1, cellCentre = 0, sourceCentre = 0;  // scale
  // squeeze (rows only): heights above the baseline beyond the cap line
  // and below the baseline pressed into the cell's room.
  float baselineRow = 0, inkTopHeight = 0, inkBottomHeight = 0;

  float operator()(float cell) const {
    switch (kind) {
      case Kind::shift: return cell - offset;
      case Kind::scale: return sourceCentre + (cell - cellCentre) / scale;
      case Kind::squeeze: {
        const float height = kBaseline - cell;
        float source = height;
        if (height > kCapHeight && inkTopHeight > kAbove)
          source = kCapHeight + (height - kCapHeight) * (inkTopHeight - kCapHeight) / (kAbove - kCapHeight);
        else if (height < 0 && inkBottomHeight < -kBelow)
          source = height * (-inkBottomHeight / kBelow);
        return baselineRow - source;
      }
    }
    return cell;
  }
};

// Box-filter weights of each cell pixel along one axis.
std::vector<std::vector<std::pair<int, float>>> weights(const AxisMap& map) {
  std::vector<std::vector<std::pair<int, float>>> w(kCellPixels);
  for (int i = 0; i < kCellPixels; ++i) {
    const float a = map(static_cast<float>(i)), b = map(static_cast<float>(i + 1));
    if (b - a < 1e-4f) {
      w[i].push_back({static_cast<int>(std::floor(a)), 1.0f});
      continue;
    }
    for (int s = static_cast<int>(std::floor(a)); s < b; ++s) {
      const float cover = std::min(b, s + 1.0f) - std::max(a, static_cast<float>(s));
      if (cover > 0) w[i].push_back({s, cover / (b - a)});
    }
  }
  return w;
}

void resample(const Canvas& c, const AxisMap& columns, const AxisMap& rows, unsigned char* rgba) {
  const auto wx = weights(columns), wy = weights(rows);
  for (int y = 0; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) {
      float sum[4] = {0, 0, 0, 0};
      for (const auto& [sy, fy] : wy[y])
        for (const auto& [sx, fx] : wx[x])
          for (int k = 0; k < 4; ++k) sum[k] += fx * fy * c.at(sx, sy, k);
      storeCellPixel(sum, rgba + (static_cast<std::size_t>(kCellPixels - 1 - y) * kCellPixels + x) * 4);
    }
}

// One axis of a glyph in its cell: its `sourceCentre` onto the cell's
// `cellCentre`, scaled by `scale` about them.
AxisMap scaledAxis(float scale, float cellCentre, float sourceCentre) {
  AxisMap map;
  map.kind = AxisMap::Kind::scale;
  map.scale = scale;
  map.cellCentre = cellCentre;
  map.sourceCentre = sourceCentre;
  return map;
}

// As scaledAxis(), but a glyph kept at its size moves by whole pixels, so
// that its edges stay as sharp as they were drawn.
AxisMap placedAxis(float scale, float cellCentre, float sourceCentre) {
  if (scale != 1.0f) return scaledAxis(scale, cellCentre, sourceCentre);
  AxisMap map;
  map.offset = std::round(cellCentre - sourceCentre);
  return map;
}

// The cell pixels that show the ink of `c`: on the atlas's baseline and
// capital height for letters, with what reaches above or below the cell
// pressed into it; square characters and colour pictures scaled to fit.
void fitIntoCell(const Canvas& c, bool square, bool picture, unsigned char* rgba) {
  const float inkWidth = static_cast<float>(c.inkRight - c.inkLeft + 1);
  const float inkCentreX = (c.inkLeft + c.inkRight + 1) * 0.5f;
  const float top = static_cast<float>(c.baselineRow - c.inkTop);          // heights
  const float bottom = static_cast<float>(c.baselineRow - c.inkBottom - 1);
  AxisMap columns, rows;
  if (!square && !picture) {
    columns = placedAxis(std::min(1.0f, kNarrowInk / inkWidth), kNarrowCentre, inkCentreX);
    rows.kind = AxisMap::Kind::squeeze;
    rows.baselineRow = static_cast<float>(c.baselineRow);
    rows.inkTopHeight = top;
    rows.inkBottomHeight = bottom;
  } else {
    const float inkHeight = top - bottom;
    float scale = std::min(kWideInk / inkWidth, kWideInk / inkHeight);
    if (!picture) scale = std::min(scale, 1.0f);
    // A square character keeps the baseline when it fits above and below it.
    float fit = std::min(1.0f, kWideInk / inkWidth);
    if (top > 0) fit = std::min(fit, kAbove / top);
    if (bottom < 0) fit = std::min(fit, kBelow / -bottom);
    const bool onBaseline = !picture && fit >= 0.8f * std::min(1.0f, kWideInk / inkWidth);
    if (onBaseline) scale = fit;
    columns = placedAxis(scale, kCellPixels * 0.5f, inkCentreX);
    if (onBaseline) {
      rows = placedAxis(scale, kBaseline, static_cast<float>(c.baselineRow));
    } else {
      // Centred, the ink may sit on a half pixel: it stays scaled, even by 1.
      rows = scaledAxis(scale, kCellPixels * 0.5f, (c.inkTop + c.inkBottom + 1) * 0.5f);
    }
  }
  resample(c, columns, rows, rgba);
}

// Where a mark of class `combiningClass` goes: under its letter (true)
// or over it.
bool goesBelow(int combiningClass) {
  switch (combiningClass) {
    case 202: case 218: case 220: case 222: case 233: return true;
    default: return false;
  }
}

// The mark no installed font draws: a small box, 2 pixels thick, where the
// mark would go (over its letter, or under it for the marks that go below),
// so that a name with such a mark never looks like the one without it.
Piece missingMarkPiece(bool below) {
  constexpr int kWidth = 10, kRows = 10, kStroke = 2;
  Piece p;
  p.width = kWidth;
  p.rows = kRows;
  p.left = 0;
  // Heights as a font places its marks: clear of the capital height, or
  // below the baseline.
  p.top = below ? -2 : static_cast<int>(kCapHeight) + 2 + kRows;
  p.rgba.assign(static_cast<std::size_t>(kWidth) * kRows * 4, 0.0f);
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (x < kStroke || y < kStroke || x >= kWidth - kStroke || y >= kRows - kStroke)
        for (int k = 0; k < 4; ++k) p.rgba[(static_cast<std::size_t>(y) * kWidth + x) * 4 + k] = 1.0f;
  p.inkLeft = 0, p.inkRight = kWidth - 1, p.inkTop = 0, p.inkBottom = kRows - 1;
  return p;
}

// A cell's picture (as rasteriseCell() paints it) as the piece of a
// letter standing on the baseline.
Piece pictureAsPiece(const unsigned char* rgba) {
  Piece p;
  p.width = p.rows = kCellPixels;
  p.top = static_cast<int>(kBaseline);
  p.rgba.resize(static_cast<std::size_t>(kCellPixels) * kCellPixels * 4);
  p.inkLeft = kCellPixels, p.inkTop = kCellPixels;
  for (int y = 0; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) {
      const unsigned char* in = rgba + (static_cast<std::size_t>(kCellPixels - 1 - y) * kCellPixels + x) * 4;
      float* out = &p.rgba[(static_cast<std::size_t>(y) * kCellPixels + x) * 4];
      const float a = in[3] / 255.0f;
      for (int k = 0; k < 3; ++k) out[k] = in[k] / 255.0f * a;
      out[3] = a;
      if (in[3] > 0) {
        p.inkLeft = std::min(p.inkLeft, x), p.inkRight = std::max(p.inkRight, x);
        p.inkTop = std::min(p.inkTop, y), p.inkBottom = std::max(p.inkBottom, y);
      }
    }
  return p;
}

// The piece of `mark` over a character drawn from face `baseFace` (-1 for
// a colour bitmap font, which draws no marks): from the base's font when
// it has the mark, else from the mark's own; the missing-mark box when no
// font draws it with ink.
Piece markPiece(char32_t mark, int baseFace, float pixelsPerEm) {
  Piece p;
  const int face =
      baseFace >= 0 && FT_Get_Char_Index(faceAt(baseFace).face, mark) != 0 ? baseFace : faceFor(mark, false);
  if (face >= 0 && !faceAt(face).fixedColour && renderPiece(faceAt(face), mark, pixelsPerEm, p) && p.inked())
    return p;
  return missingMarkPiece(goesBelow(combiningClass(mark)));
}

}  // namespace

void drawCodePointBox(char32_t c, bool dashed, unsigned char* rgba) {
  static const char* const kDigits[16] = {
      "111101101101111", "010110010010111", "111001111100111", "111001111001111",
      "101101111001001", "111100111001111", "111100111101111", "111001001001001",
      "111101111101111", "111101111001111", "111101111101101", "110101110101110",
      "111100100100111", "110101101101110", "111100111100111", "111100111100100"};
  std::memset(rgba, 0, kCellPixels * kCellPixels * 4);
  const auto ink = [&](int x, int yFromTop) {
    unsigned char* p = rgba + (static_cast<std::size_t>(kCellPixels - 1 - yFromTop) * kCellPixels + x) * 4;
    p[0] = p[1] = p[2] = p[3] = 255;
  };
  for (int i = 1; i <= 30; ++i)
    for (int t = 0; t < 2; ++t) {
      if (dashed && (i - 1) % 6 >= 4) continue;
      ink(i, 1 + t), ink(i, 29 + t), ink(1 + t, i), ink(29 + t, i);
    }
  int digits[6];
  int n = 0;
  for (char32_t v = c; v != 0 || n < 4; v >>= 4) digits[n++] = static_cast<int>(v & 0xF);
  const int perRow = n <= 4 ? 2 : 3;
  const int shown = 2 * perRow;  // 5 digits get a leading zero
  for (; n < shown; ++n) digits[n] = 0;
  const int left = perRow == 2 ? 9 : 5;
  for (int k = 0; k < shown; ++k) {
    const char* pattern = kDigits[digits[shown - 1 - k]];
    const int x0 = left + (k % perRow) * 8, y0 = 5 + (k / perRow) * 12;
    for (int dy = 0; dy < 5; ++dy)
      for (int dx = 0; dx < 3; ++dx)
        if (pattern[dy * 3 + dx] == '1')
          for (int py = 0; py < 2; ++py)
            for (int px = 0; px < 2; ++px) ink(x0 + 2 * dx + px, y0 + 2 * dy + py);
  }
}

void rasteriseCell(const TextCell& cell, unsigned char* rgba) {
  std::memset(rgba, 0, kCellPixels * kCellPixels * 4);
  if (cell.text.empty()) return;
  const char32_t base = cell.text[0];
  if (cell.kind != TextCell::Kind::glyph) {
    drawCodePointBox(base, true, rgba);
    return;
  }
  // Faces are held by index only: finding a mark's font may open another.
  const int baseFace = faceFor(base, cell.emoji);
  const bool square = isWide(base);
  const bool picture = baseFace >= 0 && faceAt(baseFace).fixedColour;
  const float pixelsPerEm =
      square || baseFace < 0
          ? kWidePixelsPerEm
          : static_cast<float>(kCapHeight * faceAt(baseFace).face->units_per_EM / faceAt(baseFace).capUnits);
  std::vector<std::pair<Piece, std::pair<int, int>>> pieces(1);
  if (baseFace < 0 || !renderPiece(faceAt(baseFace), base, pixelsPerEm, pieces[0].first)) {
    drawCodePointBox(base, false, rgba);
    if (cell.text.size() == 1) return;
    // The marks of a character no font draws stand over its box.
    pieces[0].first = pictureAsPiece(rgba);
  }
  // Marks over the character, centred on its ink and moved clear of what
  // is there already when they would run into it; nothing else is shaped.
  const bool baseInked = pieces[0].first.inked();
  const float centre = baseInked ? pieces[0].first.centreX() : 0.0f;
  int top = baseInked ? pieces[0].first.heightTop() : 0, bottom = baseInked ? pieces[0].first.heightBottom() : 0;
  for (std::size_t i = 1; i < cell.text.size(); ++i) {
    Piece p = markPiece(cell.text[i], picture ? -1 : baseFace, pixelsPerEm);
    const int dx = static_cast<int>(std::lround(centre - p.centreX()));
    int dy = 0;
    const float cap = kCapHeight;
    if (p.heightBottom() >= 0.4f * cap && p.heightBottom() < top + 2) dy = top + 2 - p.heightBottom();
    else if (p.heightTop() <= 0.1f * cap && p.heightTop() > bottom - 2) dy = bottom - 2 - p.heightTop();
    top = std::max(top, p.heightTop() + dy);
    bottom = std::min(bottom, p.heightBottom() + dy);
    pieces.push_back({std::move(p), {dx, dy}});
  }
  const Canvas canvas = layTogether(pieces);
  if (canvas.inkRight < canvas.inkLeft) {
    drawCodePointBox(base, true, rgba);  // a glyph with no ink would pass for a blank
    return;
  }
  fitIntoCell(canvas, square, picture, rgba);
}
