// font_atlas_generator: paints the program's glyph atlas and writes it as
// render/font_atlas.png.
//
// Not part of a normal build: the PNG is committed, and the build only turns
// it into source (tools/font_image_source.cpp). Run this when the artwork is
// to change, from the repository root:
//
//   cmake -S . -B build -DORCHARD_FONT_GENERATOR=ON
//   cmake --build build --target font-atlas
//
// or by hand:
//
//   g++ -std=c++17 -O2 tools/font_atlas_generator.cpp
//       $(pkg-config --cflags --libs freetype2 libpng) -o font_atlas_generator
//   ./font_atlas_generator
//       /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
//       /usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf
//       render/font_atlas.png
//   (each command on one line)
//
// Needs FreeType (libfreetype-dev), libpng (libpng-dev) and the DejaVu fonts
// (fonts-dejavu-core, fonts-dejavu-extra).
//
// The PNG is an 8-bit grey picture of the atlas, top row first, as a person
// looks at it: 16 x 16 cells of 16 x 16 texels, the cell of code c in grid
// row c / 16 from the top and column c % 16. The grey value of a texel is its
// ink, i.e. the alpha the program gives it; the colour channels of the atlas
// are white everywhere, so the picture stores nothing else.
//
// What goes where:
//   32-126   DejaVu Sans Bold, smoothed; capitals on cell rows 2-13, x-height
//            from row 5, baseline under row 13, everything below the
//            baseline squeezed into row 14; the underscore a full-width bar
//            on rows 12-13.
//   0-31, 127, 128-143
//            block graphics painted here: rectangles, bars, triangles,
//            arrows, discs, smoothed edges, full alpha.
//   144-223  a blocky 5 x 7 face in 2 x 2-texel steps at alpha 135-165;
//            161-223 show ASCII 33-95.
//   224-255  the same as 96-127, except 225-250: small capitals A-Z from
//            DejaVu Serif Bold, x-height tall.
// Empty on purpose: 5, 12, 22, 32, 132, 137, 138, 140, 157-160.
//
// Every glyph but the underscore keeps the outermost ring of texels of its
// cell empty: the texture is sampled with linear filtering up to the cell
// border, so ink there would leak into the neighbouring cell.

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kCell = 16;          // texels per cell side
constexpr int kAtlas = 256;        // texels per atlas side
constexpr int kSub = 8;            // samples per texel side when painting
constexpr int kCanvas = kCell * kSub;

constexpr int kCapTop = 2;         // first cell row of a capital
constexpr int kBaseline = 14;      // cell row just below the baseline
constexpr int kInkLeft = 2;        // capitals use columns 2-14
constexpr int kInkWidth = 13;

using Atlas = std::vector<unsigned char>;  // 256 x 256 grey, top row first

// One cell's worth of coverage samples, kCanvas x kCanvas, top row first.
using Canvas = std::vector<float>;

void storeCell(Atlas& atlas, int code, const Canvas& canvas) {
  const int cellX = (code % 16) * kCell;
  const int cellY = (code / 16) * kCell;
  for (int ty = 0; ty < kCell; ++ty) {
    for (int tx = 0; tx < kCell; ++tx) {
      float sum = 0.0f;
      for (int sy = 0; sy < kSub; ++sy)
        for (int sx = 0; sx < kSub; ++sx)
          sum += canvas[(ty * kSub + sy) * kCanvas + tx * kSub + sx];
      float a = sum / (kSub * kSub);
      a = std::clamp(a, 0.0f, 1.0f);
      atlas[(cellY + ty) * kAtlas + cellX + tx] =
          static_cast<unsigned char>(std::lround(a * 255.0f));
    }
  }
}

void copyCell(Atlas& atlas, int from, int to) {
  for (int ty = 0; ty < kCell; ++ty)
    for (int tx = 0; tx < kCell; ++tx)
      atlas[((to / 16) * kCell + ty) * kAtlas + (to % 16) * kCell + tx] =
          atlas[((from / 16) * kCell + ty) * kAtlas + (from % 16) * kCell + tx];
}

// ---------------------------------------------------------------------------
// Block graphics: shapes given as "is this point inside" in texel units,
// x to the right and y downwards from the cell's top-left corner.

using Shape = std::function<bool(float, float)>;

Shape rect(float x0, float y0, float x1, float y1) {
  return [=](float x, float y) { return x >= x0 && x < x1 && y >= y0 && y < y1; };
}

Shape roundRect(float x0, float y0, float x1, float y1, float r) {
  return [=](float x, float y) {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    const float cx = std::clamp(x, x0 + r, x1 - r);
    const float cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}

Shape disc(float cx, float cy, float r) {
  return [=](float x, float y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Shape ring(float cx, float cy, float r, float width) {
  return [=](float x, float y) {
    const float d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
    return d <= r * r && d >= (r - width) * (r - width);
  };
}

float edge(float ax, float ay, float bx, float by, float x, float y) {
  return (bx - ax) * (y - ay) - (by - ay) * (x - ax);
}

Shape triangle(float ax, float ay, float bx, float by, float cx, float cy) {
  return [=](float x, float y) {
    const float e0 = edge(ax, ay, bx, by, x, y);
    const float e1 = edge(bx, by, cx, cy, x, y);
    const float e2 = edge(cx, cy, ax, ay, x, y);
    return (e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0);
  };
}

Shape diamond(float cx, float cy, float r) {
  return [=](float x, float y) { return std::fabs(x - cx) + std::fabs(y - cy) <= r; };
}

Shape both(Shape a, Shape b) {
  return [=](float x, float y) { return a(x, y) || b(x, y); };
}

Shape cutOut(Shape a, Shape hole) {
  return [=](float x, float y) { return a(x, y) && !hole(x, y); };
}

// Arrows: a triangular head and a stem, pointing the named way.
Shape arrowUp(float s) {
  return both(triangle(8, 8 - 6 * s, 8 - 6 * s, 8, 8 + 6 * s, 8), rect(8 - 2 * s, 8, 8 + 2 * s, 8 + 6 * s));
}
Shape arrowDown(float s) {
  return both(triangle(8, 8 + 6 * s, 8 - 6 * s, 8, 8 + 6 * s, 8), rect(8 - 2 * s, 8 - 6 * s, 8 + 2 * s, 8));
}
Shape arrowLeft(float s) {
  return both(triangle(8 - 6 * s, 8, 8, 8 - 6 * s, 8, 8 + 6 * s), rect(8, 8 - 2 * s, 8 + 6 * s, 8 + 2 * s));
}
Shape arrowRight(float s) {
  return both(triangle(8 + 6 * s, 8, 8, 8 - 6 * s, 8, 8 + 6 * s), rect(8 - 6 * s, 8 - 2 * s, 8, 8 + 2 * s));
}

Shape triangleUp(float s) { return triangle(8, 8 - 6 * s, 8 - 6 * s, 8 + 5 * s, 8 + 6 * s, 8 + 5 * s); }
Shape triangleDown(float s) { return triangle(8, 8 + 6 * s, 8 - 6 * s, 8 - 5 * s, 8 + 6 * s, 8 - 5 * s); }
Shape triangleLeft(float s) { return triangle(8 - 6 * s, 8, 8 + 5 * s, 8 - 6 * s, 8 + 5 * s, 8 + 6 * s); }
Shape triangleRight(float s) { return triangle(8 + 6 * s, 8, 8 - 5 * s, 8 - 6 * s, 8 - 5 * s, 8 + 6 * s); }

Shape chevron(bool up) {
  // A thick V: the band between two parallel V shapes.
  return [=](float x, float y) {
    const float v = up ? 12.0f - y : y - 4.0f;  // distance from the open side
    const float d = v - std::fabs(x - 8.0f);
    return x >= 2 && x < 14 && y >= 2 && y < 14 && d >= 0.0f && d < 4.0f;
  };
}

void paintShape(Atlas& atlas, int code, const Shape& shape) {
  Canvas canvas(kCanvas * kCanvas, 0.0f);
  for (int y = 0; y < kCanvas; ++y)
    for (int x = 0; x < kCanvas; ++x) {
      const float px = (x + 0.5f) / kSub;
      const float py = (y + 0.5f) / kSub;
      // The outer ring stays empty whatever the shape says.
      if (px < 1 || px >= 15 || py < 1 || py >= 15) continue;
      if (shape(px, py)) canvas[y * kCanvas + x] = 1.0f;
    }
  storeCell(atlas, code, canvas);
}

void paintBlockGraphics(Atlas& atlas) {
  const Shape full = rect(1, 1, 15, 15);
  const struct { int code; Shape shape; } shapes[] = {
      {0, full},
      {1, roundRect(1, 1, 15, 15, 4)},
      {2, rect(1, 6, 15, 10)},
      {3, rect(6, 1, 10, 15)},
      {4, rect(5, 5, 11, 11)},
      {6, triangleUp(1)},
      {7, triangleDown(1)},
      {8, triangleLeft(1)},
      {9, triangleRight(1)},
      {10, arrowUp(1)},
      {11, arrowDown(1)},
      {13, arrowLeft(1)},
      {14, arrowRight(1)},
      {15, disc(8, 8, 6)},
      {16, rect(1, 1, 15, 8)},
      {17, rect(1, 8, 15, 15)},
      {18, rect(1, 1, 8, 15)},
      {19, rect(8, 1, 15, 15)},
      {20, rect(1, 1, 8, 8)},
      {21, rect(8, 1, 15, 8)},
      {23, rect(1, 8, 8, 15)},
      {24, rect(8, 8, 15, 15)},
      {25, rect(1, 7, 15, 9)},
      {26, rect(7, 1, 9, 15)},
      {27, cutOut(full, rect(3, 3, 13, 13))},
      {28, both(rect(1, 6, 15, 10), rect(6, 1, 10, 15))},
      {29, diamond(8, 8, 6.5f)},
      {30, roundRect(4, 4, 12, 12, 2)},
      {31, both(both(rect(2, 2, 7, 7), rect(9, 2, 14, 7)),
                both(rect(2, 9, 7, 14), rect(9, 9, 14, 14)))},
      {127, roundRect(2, 2, 14, 14, 3)},
      {128, rect(2, 2, 14, 14)},
      {129, roundRect(1, 3, 15, 13, 3)},
      {130, both(rect(1, 3, 15, 6), rect(1, 10, 15, 13))},
      {131, both(rect(3, 1, 6, 15), rect(10, 1, 13, 15))},
      {133, triangleUp(0.7f)},
      {134, triangleDown(0.7f)},
      {135, triangleLeft(0.7f)},
      {136, triangleRight(0.7f)},
      {139, chevron(true)},
      {141, chevron(false)},
      {142, disc(8, 8, 4)},
      {143, ring(8, 8, 6.5f, 2.5f)},
  };
  for (const auto& s : shapes) paintShape(atlas, s.code, s.shape);
}

// ---------------------------------------------------------------------------
// The blocky face: 5 x 7 patterns, each dot a 2 x 2-texel block.

const char* const kBlockyAscii[63][7] = {
    {"..#..", "..#..", "..#..", "..#..", "..#..", ".....", "..#.."},  // !
    {".#.#.", ".#.#.", ".#.#.", ".....", ".....", ".....", "....."},  // "
    {".#.#.", ".#.#.", "#####", ".#.#.", "#####", ".#.#.", ".#.#."},  // #
    {"..#..", ".####", "#.#..", ".###.", "..#.#", "####.", "..#.."},  // $
    {"##...", "##..#", "...#.", "..#..", ".#...", "#..##", "...##"},  // %
    {".##..", "#..#.", "#.#..", ".#...", "#.#.#", "#..#.", ".##.#"},  // &
    {"..#..", "..#..", ".#...", ".....", ".....", ".....", "....."},  // '
    {"...#.", "..#..", ".#...", ".#...", ".#...", "..#..", "...#."},  // (
    {".#...", "..#..", "...#.", "...#.", "...#.", "..#..", ".#..."},  // )
    {".....", "..#..", "#.#.#", ".###.", "#.#.#", "..#..", "....."},  // *
    {".....", "..#..", "..#..", "#####", "..#..", "..#..", "....."},  // +
    {".....", ".....", ".....", ".....", ".##..", "..#..", ".#..."},  // ,
    {".....", ".....", ".....", "#####", ".....", ".....", "....."},  // -
    {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."},  // .
    {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."},  // /
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},  // 0
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},  // 1
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},  // 2
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},  // 3
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},  // 4
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},  // 5
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},  // 6
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},  // 7
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},  // 8
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},  // 9
    {".....", ".##..", ".##..", ".....", ".##..", ".##..", "....."},  // :
    {".....", ".##..", ".##..", ".....", ".##..", "..#..", ".#..."},  // ;
    {"...#.", "..#..", ".#...", "#....", ".#...", "..#..", "...#."},  // <
    {".....", ".....", "#####", ".....", "#####", ".....", "....."},  // =
    {".#...", "..#..", "...#.", "....#", "...#.", "..#..", ".#..."},  // >
    {".###.", "#...#", "....#", "...#.", "..#..", ".....", "..#.."},  // ?
    {".###.", "#...#", "....#", ".##.#", "#.#.#", "#.#.#", ".###."},  // @
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},  // A
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."},  // B
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."},  // C
    {"###..", "#..#.", "#...#", "#...#", "#...#", "#..#.", "###.."},  // D
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},  // E
    {"#####", "#....", "#....", "####.", "#....", "#....", "#...."},  // F
    {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"},  // G
    {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},  // H
    {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."},  // I
    {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."},  // J
    {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"},  // K
    {"#....", "#....", "#....", "#....", "#....", "#....", "#####"},  // L
    {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"},  // M
    {"#...#", "#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#"},  // N
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},  // O
    {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."},  // P
    {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"},  // Q
    {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"},  // R
    {".####", "#....", "#....", ".###.", "....#", "....#", "####."},  // S
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},  // T
    {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},  // U
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."},  // V
    {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."},  // W
    {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"},  // X
    {"#...#", "#...#", "#...#", ".#.#.", "..#..", "..#..", "..#.."},  // Y
    {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"},  // Z
    {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###."},  // [
    {".....", "#....", ".#...", "..#..", "...#.", "....#", "....."},  // backslash
    {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###."},  // ]
    {"..#..", ".#.#.", "#...#", ".....", ".....", ".....", "....."},  // ^
    {".....", ".....", ".....", ".....", ".....", ".....", "#####"},  // _
};

// The blocky face's own graphics at 144-156, in the same 5 x 7 grid.
const char* const kBlockyGraphics[13][7] = {
    {"#####", "#####", "#####", "#####", "#####", "#####", "#####"},  // block
    {"#####", "#...#", "#...#", "#...#", "#...#", "#...#", "#####"},  // frame
    {"#.#.#", ".#.#.", "#.#.#", ".#.#.", "#.#.#", ".#.#.", "#.#.#"},  // checks
    {"..#..", ".###.", "#.#.#", "..#..", "..#..", "..#..", "..#.."},  // up
    {"..#..", "..#..", "..#..", "..#..", "#.#.#", ".###.", "..#.."},  // down
    {".....", "..#..", ".#...", "#####", ".#...", "..#..", "....."},  // left
    {".....", "..#..", "...#.", "#####", "...#.", "..#..", "....."},  // right
    {"..#..", ".###.", "#####", "#####", "#####", ".###.", "..#.."},  // diamond
    {"..#..", "..#..", "..#..", "#####", "..#..", "..#..", "..#.."},  // cross
    {".....", ".###.", "#...#", "#...#", "#...#", ".###.", "....."},  // ring
    {"#####", ".....", "#####", ".....", "#####", ".....", "#####"},  // rows
    {"#.#.#", "#.#.#", "#.#.#", "#.#.#", "#.#.#", "#.#.#", "#.#.#"},  // columns
    {".....", ".....", ".###.", ".###.", ".###.", ".....", "....."},  // dot
};

void paintBlocky(Atlas& atlas, int code, const char* const pattern[7]) {
  const int cellX = (code % 16) * kCell;
  const int cellY = (code / 16) * kCell;
  for (int row = 0; row < 7; ++row) {
    // Ink fades a little from the top to the bottom of the glyph.
    const unsigned char alpha = static_cast<unsigned char>(165 - 5 * row);
    for (int col = 0; col < 5; ++col) {
      if (pattern[row][col] != '#') continue;
      const int x = cellX + 3 + 2 * col;
      const int y = cellY + 1 + 2 * row;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) atlas[(y + dy) * kAtlas + x + dx] = alpha;
    }
  }
}

void paintBlockyFace(Atlas& atlas) {
  for (int i = 0; i < 13; ++i) paintBlocky(atlas, 144 + i, kBlockyGraphics[i]);
  for (int i = 0; i < 63; ++i) paintBlocky(atlas, 161 + i, kBlockyAscii[i]);
}

// ---------------------------------------------------------------------------
// Font glyphs through FreeType.

struct Glyph {
  std::vector<unsigned char> pixels;  // rows top first
  int width = 0;
  int rows = 0;
  int left = 0;  // bitmap's left edge from the pen position, in pixels
  int top = 0;   // bitmap's top edge above the baseline, in pixels
  int inkMinX = 0, inkMaxX = -1;  // ink columns within the bitmap
};

bool renderGlyph(FT_Face face, unsigned long code, Glyph& glyph) {
  if (FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) return false;
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.pixel_mode != FT_PIXEL_MODE_GRAY) return false;
  glyph.width = static_cast<int>(bm.width);
  glyph.rows = static_cast<int>(bm.rows);
  glyph.left = slot->bitmap_left;
  glyph.top = slot->bitmap_top;
  glyph.pixels.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
  glyph.inkMinX = glyph.width;
  glyph.inkMaxX = -1;
  for (int y = 0; y < glyph.rows; ++y)
    for (int x = 0; x < glyph.width; ++x) {
      const unsigned char v = bm.buffer[y * bm.pitch + x];
      glyph.pixels[y * glyph.width + x] = v;
      if (v > 0) {
        glyph.inkMinX = std::min(glyph.inkMinX, x);
        glyph.inkMaxX = std::max(glyph.inkMaxX, x);
      }
    }
  return true;
}

float glyphAt(const Glyph& g, float x, float y) {
  // Bilinear read with x, y in bitmap pixels (pixel centres at +0.5).
  const float fx = x - 0.5f, fy = y - 0.5f;
  const int x0 = static_cast<int>(std::floor(fx)), y0 = static_cast<int>(std::floor(fy));
  const float wx = fx - x0, wy = fy - y0;
  auto at = [&](int px, int py) -> float {
    if (px < 0 || py < 0 || px >= g.width || py >= g.rows) return 0.0f;
    return g.pixels[py * g.width + px] / 255.0f;
  };
  return (at(x0, y0) * (1 - wx) + at(x0 + 1, y0) * wx) * (1 - wy) +
         (at(x0, y0 + 1) * (1 - wx) + at(x0 + 1, y0 + 1) * wx) * wy;
}

// Scales the face so that capital letters are `capTexels` texels tall at
// kSub samples per texel. Returns false when the face has no 'H'.
bool sizeFace(FT_Face face, float capTexels) {
  if (FT_Load_Char(face, 'H', FT_LOAD_NO_SCALE) != 0) return false;
  FT_BBox box;
  FT_Outline_Get_CBox(&face->glyph->outline, &box);
  if (box.yMax <= 0) return false;
  const double ppem = capTexels * kSub * face->units_per_EM / static_cast<double>(box.yMax);
  return FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(std::lround(ppem * 64)), 72, 72) == 0;
}

// Puts `glyph` into cell `code`: centred on the capitals' column span,
// narrowed when wider than it, its baseline at the top of cell row
// `baselineRow`; ink below the baseline (`descent` pixels deep at most) is
// squeezed into that one row.
void placeGlyph(Atlas& atlas, int code, const Glyph& glyph, int baselineRow, float descent) {
  Canvas canvas(kCanvas * kCanvas, 0.0f);
  if (glyph.inkMaxX >= glyph.inkMinX) {
    const float inkWidth = static_cast<float>(glyph.inkMaxX - glyph.inkMinX + 1);
    const float scale = std::min(1.0f, kInkWidth * kSub / inkWidth);
    const float inkCentre = (glyph.inkMinX + glyph.inkMaxX + 1) * 0.5f;  // bitmap x
    const float cellCentre = (kInkLeft + kInkWidth * 0.5f) * kSub;
    const int baseline = baselineRow * kSub;
    for (int y = 0; y < baseline; ++y) {
      const float by = glyph.top - (baseline - (y + 0.5f));  // bitmap row
      for (int x = 0; x < kCanvas; ++x) {
        const float bx = (x + 0.5f - cellCentre) / scale + inkCentre;
        canvas[y * kCanvas + x] = glyphAt(glyph, bx, by);
      }
    }
    // The squeezed row. Squeezing alone would leave a descender as a faint
    // smear, so ink deeper than the overshoot of round letters counts at
    // full strength: a 'p' keeps a solid stub under its stem, while an 'o'
    // only just reaches into the row.
    const float overshoot = 0.4f * kSub;
    for (int y = baseline; y < baseline + kSub; ++y) {
      const float depth = (y + 0.5f - baseline) * (descent / kSub);
      const float by = glyph.top + depth;
      for (int x = 0; x < kCanvas; ++x) {
        const float bx = (x + 0.5f - cellCentre) / scale + inkCentre;
        float deep = 0.0f;
        for (float d = overshoot; d <= descent; d += 1.0f)
          deep = std::max(deep, glyphAt(glyph, bx, glyph.top + d));
        canvas[y * kCanvas + x] = std::max(deep, glyphAt(glyph, bx, by));
      }
    }
  }
  // Keep the outer ring empty, as for every other glyph.
  for (int y = 0; y < kCanvas; ++y)
    for (int x = 0; x < kCanvas; ++x)
      if (x < kSub || x >= kCanvas - kSub || y < kSub || y >= kCanvas - kSub) canvas[y * kCanvas + x] = 0.0f;
  storeCell(atlas, code, canvas);
}

bool paintSans(Atlas& atlas, FT_Library lib, const char* path) {
  FT_Face face;
  if (FT_New_Face(lib, path, 0, &face) != 0) {
    std::fprintf(stderr, "font_atlas_generator: cannot open font %s\n", path);
    return false;
  }
  bool ok = sizeFace(face, kBaseline - kCapTop);
  std::vector<Glyph> glyphs(127);
  float descent = 1.0f;
  for (int c = 33; ok && c <= 126; ++c) {
    ok = renderGlyph(face, c, glyphs[c]);
    if (ok && c != '_') descent = std::max(descent, static_cast<float>(glyphs[c].rows - glyphs[c].top));
  }
  for (int c = 33; ok && c <= 126; ++c) {
    if (c == '_') continue;
    placeGlyph(atlas, c, glyphs[c], kBaseline, descent);
  }
  // A bar from edge to edge so that runs of underscores join up.
  for (int y = 12; y <= 13; ++y)
    for (int x = 0; x < kCell; ++x) atlas[(5 * kCell + y) * kAtlas + 15 * kCell + x] = 255;
  FT_Done_Face(face);
  if (!ok) std::fprintf(stderr, "font_atlas_generator: cannot render %s\n", path);
  return ok;
}

bool paintSmallCapitals(Atlas& atlas, FT_Library lib, const char* path) {
  FT_Face face;
  if (FT_New_Face(lib, path, 0, &face) != 0) {
    std::fprintf(stderr, "font_atlas_generator: cannot open font %s\n", path);
    return false;
  }
  // x-height tall: cell rows 5-13.
  bool ok = sizeFace(face, kBaseline - 5);
  std::vector<Glyph> glyphs(26);
  float descent = 1.0f;
  for (int i = 0; ok && i < 26; ++i) {
    ok = renderGlyph(face, 'A' + i, glyphs[i]);
    if (ok) descent = std::max(descent, static_cast<float>(glyphs[i].rows - glyphs[i].top));
  }
  for (int i = 0; ok && i < 26; ++i) placeGlyph(atlas, 225 + i, glyphs[i], kBaseline, descent);
  FT_Done_Face(face);
  if (!ok) std::fprintf(stderr, "font_atlas_generator: cannot render %s\n", path);
  return ok;
}

bool writePng(const char* path, const Atlas& atlas) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = kAtlas;
  image.height = kAtlas;
  image.format = PNG_FORMAT_GRAY;
  if (!png_image_write_to_file(&image, path, 0, atlas.data(), kAtlas, nullptr)) {
    std::fprintf(stderr, "font_atlas_generator: cannot write %s: %s\n", path, image.message);
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SANS_BOLD.ttf SERIF_BOLD.ttf OUT.png\n", argv[0]);
    return 2;
  }
  Atlas atlas(kAtlas * kAtlas, 0);
  paintBlockGraphics(atlas);
  paintBlockyFace(atlas);

  FT_Library lib;
  if (FT_Init_FreeType(&lib) != 0) {
    std::fprintf(stderr, "font_atlas_generator: FreeType does not start\n");
    return 1;
  }
  const bool ok = paintSans(atlas, lib, argv[1]) && paintSmallCapitals(atlas, lib, argv[2]);
  FT_Done_FreeType(lib);
  if (!ok) return 1;

  copyCell(atlas, 96, 224);
  for (int c = 123; c <= 127; ++c) copyCell(atlas, c, c + 128);
  return writePng(argv[3], atlas) ? 0 : 1;
}
