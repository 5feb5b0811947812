#include "render/text_shaping.h"

#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "render/bidi_order.h"
#include "render/font_faces.h"
#include "render/glyph_raster.h"
#include "render/unicode_tables.h"

namespace {

// The atlas's letters: baseline 28 rows from the top, capitals 24 tall.
constexpr float kBaseline = 28.0f;
constexpr float kCapHeight = 24.0f;
// Ink may fill the cell's height but one row at the top and bottom.
constexpr float kInkRows = 30.0f;
constexpr float kPictureInk = 30.0f;

// Scripts whose letters change with their neighbours, or whose marks and
// vowel signs need placing. Presentation forms (U+FB50 on) are shaped
// already and keep their cells.
constexpr CodeRange kShapedScripts[] = {
    {0x0590, 0x05FF},   {0x0600, 0x08FF},   {0x0900, 0x0DFF},   {0x0E00, 0x0FFF},   {0x1000, 0x109F},
    {0x1700, 0x18AF},   {0x1900, 0x1AAF},   {0x1B00, 0x1C4F},   {0x1CD0, 0x1CFF},   {0xA800, 0xA8FF},
    {0xA900, 0xAAFF},   {0xABC0, 0xABFF},   {0xFB1D, 0xFB4F},   {0x10A00, 0x10A5F}, {0x10D00, 0x10D3F},
    {0x10EC0, 0x10EFF}, {0x10F30, 0x10F6F}, {0x11000, 0x11DFF}, {0x1E900, 0x1E95F},
};

// Hebrew letters join nothing: only pointed Hebrew is shaped.
bool isHebrew(char32_t c) { return (c >= 0x0590 && c <= 0x05FF) || (c >= 0xFB1D && c <= 0xFB4F); }

// The HarfBuzz font over each open face, by the face's index, made when
// the face first shapes: the cells never need one. Positions come in font
// units (a bitmap font's too, which FreeType gives no units per em).
// Never destroyed, as the faces under them.
hb_font_t* hbFont(int face) {
  static std::vector<hb_font_t*>& fontsByFace = *new std::vector<hb_font_t*>;
  const auto at = static_cast<std::size_t>(face);
  if (fontsByFace.size() <= at) fontsByFace.resize(at + 1, nullptr);
  if (fontsByFace[at] == nullptr) {
    hb_face_t* hbFace = hb_ft_face_create_referenced(faceAt(face).face);
    fontsByFace[at] = hb_font_create(hbFace);
    const int upem = static_cast<int>(hb_face_get_upem(hbFace));
    hb_face_destroy(hbFace);
    hb_font_set_scale(fontsByFace[at], upem, upem);
  }
  return fontsByFace[at];
}

bool faceHas(int face, char32_t c) {
  hb_codepoint_t glyph = 0;
  return hb_font_get_nominal_glyph(hbFont(face), c, &glyph) && glyph != 0;
}

// Counted on the worker, read by benchmarks on the drawing thread.
std::atomic<std::size_t> shapedCount{0};

// A picture of premultiplied RGBA floats, rows top first.
struct Canvas {
  int width = 0, rows = 0;
  std::vector<float> rgba;
};

// Lays `b` over `c` with its pen at column `x`, row `baseline`; what
// falls outside `c` is dropped.
void blend(const GlyphBitmap& b, int x, int baseline, Canvas& c) {
  for (int y = 0; y < b.rows; ++y) {
    const int cy = baseline - b.top + y;
    if (cy < 0 || cy >= c.rows) continue;
    for (int bx = 0; bx < b.width; ++bx) {
      const int cx = x + b.left + bx;
      if (cx < 0 || cx >= c.width) continue;
      const float* s = &b.rgba[(static_cast<std::size_t>(y) * b.width + bx) * 4];
      float* d = &c.rgba[(static_cast<std::size_t>(cy) * c.width + cx) * 4];
      blendPixel(s, d);
    }
  }
}

// `b` scaled to fit kPictureInk pixels either way, centred in a cell.
void fitPicture(const GlyphBitmap& b, Canvas& c) {
  c.width = c.rows = kCellPixels;
  c.rgba.assign(static_cast<std::size_t>(kCellPixels) * kCellPixels * 4, 0.0f);
  if (b.width == 0 || b.rows == 0) return;
  const float scale = std::min(kPictureInk / static_cast<float>(std::max(b.width, b.rows)), 1.0f);
  const float w = b.width * scale, h = b.rows * scale;
  const float x0 = (kCellPixels - w) * 0.5f, y0 = (kCellPixels - h) * 0.5f;
  // Each cell pixel averages the source pixels it covers (box filter).
  for (int y = 0; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) {
      const float sx0 = (x - x0) / scale, sx1 = (x + 1 - x0) / scale;
      const float sy0 = (y - y0) / scale, sy1 = (y + 1 - y0) / scale;
      float sum[4] = {0, 0, 0, 0}, area = 0;
      for (int sy = std::max(0, static_cast<int>(std::floor(sy0))); sy < std::min(b.rows, static_cast<int>(std::ceil(sy1))); ++sy)
        for (int sx = std::max(0, static_cast<int>(std::floor(sx0))); sx < std::min(b.width, static_cast<int>(std::ceil(sx1)));
             ++sx) {
          const float cover = (std::min(sx1, sx + 1.0f) - std::max(sx0, static_cast<float>(sx))) *
                              (std::min(sy1, sy + 1.0f) - std::max(sy0, static_cast<float>(sy)));
          if (cover <= 0) continue;
          for (int k = 0; k < 4; ++k) sum[k] += cover * b.rgba[(static_cast<std::size_t>(sy) * b.width + sx) * 4 + k];
          area += cover;
        }
      const float full = (sx1 - sx0) * (sy1 - sy0);
      if (area <= 0 || full <= 0) continue;
      float* d = &c.rgba[(static_cast<std::size_t>(y) * kCellPixels + x) * 4];
      for (int k = 0; k < 4; ++k) d[k] = sum[k] / full;
    }
}

// The run's whole picture, cells * kCellPixels wide.
Canvas paintRun(const ShapedRun& run) {
  Canvas c;
  if (!run.shaped || run.face < 0) return c;
  const OpenFace& open = faceAt(run.face);
  if (run.picture) {
    GlyphBitmap b;
    if (run.glyphs.size() == 1 && renderGlyph(open, run.glyphs[0].index, kPictureInk, 0, 0, b)) fitPicture(b, c);
    return c;
  }
  c.width = run.cells * kCellPixels;
  c.rows = kCellPixels;
  c.rgba.assign(static_cast<std::size_t>(c.width) * c.rows * 4, 0.0f);
  for (const ShapedGlyph& g : run.glyphs) {
    const float gx = std::floor(g.x), gy = std::floor(g.y);
    GlyphBitmap b;
    if (!renderGlyph(open, g.index, run.pixelsPerEm, g.x - gx, g.y - gy, b)) continue;
    blend(b, static_cast<int>(gx), static_cast<int>(std::lround(run.baselineRow - gy)), c);
  }
  return c;
}

// Shaped runs and painted pictures by key, each in a bounded cache that
// starts afresh when full: a screen of names needs a few dozen of each.
constexpr std::size_t kMaxRuns = 4096;
constexpr std::size_t kMaxPictures = 64;

std::u32string runKey(std::u32string_view text, bool rightToLeft, bool emoji) {
  std::u32string key;
  key.reserve(text.size() + 1);
  key.push_back(static_cast<char32_t>((rightToLeft ? 1 : 0) | (emoji ? 2 : 0)));
  key += text;
  return key;
}

const ShapedRun& cachedRun(std::u32string_view text, bool rightToLeft, bool emoji) {
  static std::unordered_map<std::u32string, ShapedRun> runs;
  std::u32string key = runKey(text, rightToLeft, emoji);
  const auto found = runs.find(key);
  if (found != runs.end()) return found->second;
  if (runs.size() >= kMaxRuns) runs.clear();
  return runs.emplace(std::move(key), shapeRun(text, rightToLeft, emoji)).first->second;
}

bool isRegionalIndicator(char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; }
bool isSkinTone(char32_t c) { return c >= 0x1F3FB && c <= 0x1F3FF; }
bool isTag(char32_t c) { return c >= 0xE0020 && c <= 0xE007F; }
bool isKeycapBase(unsigned char b) { return (b >= '0' && b <= '9') || b == '#' || b == '*'; }

bool isInvisible(const TextCell& cell, char32_t c) {
  return cell.kind == TextCell::Kind::invisible && cell.text.size() == 1 && cell.text[0] == c;
}

// A character cell that may start or continue an emoji sequence.
bool isEmojiCell(const TextCell& cell) {
  if (cell.kind != TextCell::Kind::glyph || cell.text.size() != 1) return false;
  const char32_t c = cell.text[0];
  return cell.emoji || isEmojiPresentation(c) || hasEmojiVariation(c) || isRegionalIndicator(c);
}

// The code points of cell `cell` as they stood in the name.
void appendStored(const TextCell& cell, std::u32string& out) {
  if (cell.kind == TextCell::Kind::atlas) {
    out.push_back(cell.byte);
    return;
  }
  out.append(cell.text, cell.circled ? 1 : 0);
  // A variation selector that chose the emoji form was taken into the cell.
  if (cell.kind == TextCell::Kind::glyph && cell.emoji && cell.text.size() == 1 && !isEmojiPresentation(cell.text[0]))
    out.push_back(0xFE0F);
}

// One element of an emoji sequence from cells[i]: the cells it takes
// (0: none starts there).
std::size_t emojiElement(const std::vector<TextCell>& cells, std::size_t i) {
  const TextCell& cell = cells[i];
  const std::size_t n = cells.size();
  // Keycaps: a digit, '#' or '*', U+FE0F, U+20E3 (or without the selector,
  // when the keycap mark joined the digit's cell).
  if (cell.kind == TextCell::Kind::atlas && isKeycapBase(cell.byte)) {
    // The keycap mark, alone after the selector, got a dotted circle.
    if (i + 2 < n && isInvisible(cells[i + 1], 0xFE0F) && cells[i + 2].kind == TextCell::Kind::glyph &&
        cells[i + 2].circled && cells[i + 2].text.size() == 2 && cells[i + 2].text[1] == 0x20E3)
      return 3;
    return 0;
  }
  if (cell.kind == TextCell::Kind::glyph && cell.text.size() == 2 && cell.text[1] == 0x20E3 && cell.text[0] < 0x80 &&
      isKeycapBase(static_cast<unsigned char>(cell.text[0])))
    return 1;
  if (!isEmojiCell(cell)) return 0;
  const char32_t c = cell.text[0];
  if (isRegionalIndicator(c))
    return i + 1 < n && isEmojiCell(cells[i + 1]) && isRegionalIndicator(cells[i + 1].text[0]) ? 2 : 1;
  std::size_t end = i + 1;
  if (end < n && cells[end].kind == TextCell::Kind::glyph && cells[end].text.size() == 1 && isSkinTone(cells[end].text[0]))
    ++end;
  // Tag sequences (subdivision flags): tags up to the cancel tag.
  std::size_t tags = end;
  while (tags < n && cells[tags].kind == TextCell::Kind::invisible && cells[tags].text.size() == 1 &&
         isTag(cells[tags].text[0]) && cells[tags].text[0] != 0xE007F)
    ++tags;
  if (tags > end && tags < n && isInvisible(cells[tags], 0xE007F) && c == 0x1F3F4) {
    // Only the subdivision flags Unicode recommends: the emoji font draws
    // every other tag sequence as one "unknown flag", which would make
    // names that differ in their tags look alike.
    std::string spelled;
    for (std::size_t k = end; k < tags; ++k) spelled.push_back(static_cast<char>(cells[k].text[0] - 0xE0000));
    if (spelled == "gbeng" || spelled == "gbsct" || spelled == "gbwls") end = tags + 1;
  }
  return end - i;
}

// Cells from cells[i] joined into one emoji picture when the font forms
// them: the longest sequence of elements that it forms. While its plan is
// not known, the cells of the sequence are pending.
void formEmoji(std::vector<TextCell>& cells, std::size_t i, std::size_t nameEnd, const RunPlanner& planner) {
  std::vector<std::size_t> ends;  // element boundaries, longest last
  std::size_t at = i;
  while (at < cells.size() && cells[at].at < nameEnd) {
    const std::size_t element = emojiElement(cells, at);
    if (element == 0 || cells[at + element - 1].at >= nameEnd) break;
    at += element;
    ends.push_back(at);
    if (at + 1 < cells.size() && isInvisible(cells[at], 0x200D) && cells[at + 1].at < nameEnd &&
        emojiElement(cells, at + 1) > 0)
      ++at;
    else
      break;
  }
  // One cell of one character is drawn as it is.
  if (ends.empty() || (ends.back() - i < 2 && cells[i].text.size() < 2)) return;
  std::u32string key = {kRunPlanKey, 2};
  for (std::size_t e = 0, from = i; e < ends.size(); from = ends[e++]) {
    for (std::size_t k = from; k < ends[e]; ++k) appendStored(cells[k], key);
    key.push_back(0);
  }
  const RunPlan* plan = planner(key);
  if (plan == nullptr) {
    for (std::size_t k = i; k < ends.back(); ++k) cells[k].kind = TextCell::Kind::pending;
    return;
  }
  const std::size_t formed = plan->pieces.empty() ? 0 : plan->pieces[0].cells;
  if (formed == 0 || formed > ends.size()) return;
  const std::size_t end = ends[formed - 1];
  if (end - i < 2 && cells[i].text.size() < 2) return;
  TextCell picture;
  picture.kind = TextCell::Kind::slice;
  picture.emoji = true;
  for (std::size_t k = i; k < end; ++k) appendStored(cells[k], picture.text);
  picture.at = cells[i].at;
  cells[i] = std::move(picture);
  cells.erase(cells.begin() + static_cast<std::ptrdiff_t>(i + 1), cells.begin() + static_cast<std::ptrdiff_t>(end));
}

// The code point that stands for a cell in the bidirectional algorithm.
// Visible marks and bytes outside UTF-8 are neutral symbols there.
char32_t bidiCharacter(const TextCell& cell) {
  if (cell.kind == TextCell::Kind::atlas) return cell.byte < 0x80 ? cell.byte : 0xFFFD;
  if (cell.kind == TextCell::Kind::invisible || cell.kind == TextCell::Kind::pending || cell.text.empty())
    return 0xFFFD;
  return cell.text[0];
}

// The face that shapes a cell of text `text` in a run, -1 when it stays a
// cell of its own: only characters of the scripts that need shaping, whose
// face has every one of its code points.
int shapingFace(std::u32string_view text) {
  if (text.empty() || !needsShaping(text[0])) return -1;
  const int face = faceFor(text[0], false);
  if (face < 0 || faceAt(face).fixedColour) return -1;
  for (char32_t c : text)
    if (!faceHas(face, c)) return -1;
  return face;
}

// A candidate for shaping: a glyph cell of a script that needs it.
bool mayShape(const TextCell& cell) {
  return cell.kind == TextCell::Kind::glyph && !cell.text.empty() && needsShaping(cell.text[0]);
}

// Pieces of a plan fit in a cell picture's bytes.
constexpr std::size_t kMaxPlanCells = 1000;

char mirroredByte(unsigned char b) {
  switch (b) {
    case '(': return ')';
    case ')': return '(';
    case '[': return ']';
    case ']': return '[';
    case '{': return '}';
    case '}': return '{';
    case '<': return '>';
    case '>': return '<';
    default: return static_cast<char>(b);
  }
}

}  // namespace

bool needsShaping(char32_t c) {
  for (const CodeRange& r : kShapedScripts)
    if (c >= r.first && c <= r.last) return true;
  return false;
}

ShapedRun shapeRun(std::u32string_view run, bool rightToLeft, bool emoji) {
  ShapedRun out;
  if (run.empty()) return out;
  const int face = faceFor(run[0], emoji);
  if (face < 0) return out;
  ++shapedCount;
  const OpenFace& open = faceAt(face);
  hb_font_t* const font = hbFont(face);
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(run.data()), static_cast<int>(run.size()), 0,
                      static_cast<int>(run.size()));
  hb_buffer_set_direction(buffer, rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
  hb_buffer_guess_segment_properties(buffer);
  // Default ignorables in a run can only be those of an emoji sequence
  // (ZWJ, selectors, tags): invisible characters elsewhere never enter a
  // run. Removed, so that a sequence the font does not form shows as more
  // than one glyph.
  hb_buffer_set_flags(buffer, static_cast<hb_buffer_flags_t>(HB_BUFFER_FLAG_BOT | HB_BUFFER_FLAG_EOT |
                                                             HB_BUFFER_FLAG_REMOVE_DEFAULT_IGNORABLES));
  hb_shape(font, buffer, nullptr, 0);
  unsigned count = 0;
  const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
  const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, nullptr);
  bool missing = count == 0;
  for (unsigned i = 0; i < count; ++i) missing = missing || infos[i].codepoint == 0;
  out.face = face;
  if (emoji) {
    hb_codepoint_t first = 0;
    hb_font_get_nominal_glyph(font, run[0], &first);
    // One glyph, and not merely the first character's with the rest
    // dropped (a tag sequence the font lacks).
    // And one that renders with ink: a colour font this FreeType cannot
    // draw (PNG strikes without a PNG decoder) would show nothing where the
    // sequence is, so the cells stay as they are.
    GlyphBitmap test;
    const bool inked = !missing && count == 1 && renderGlyph(open, infos[0].codepoint, kPictureInk, 0, 0, test) &&
                       std::any_of(test.rgba.begin(), test.rgba.end(), [](float v) { return v > 0.0f; });
    if (inked && infos[0].codepoint != first) {
      out.shaped = true;
      out.picture = true;
      out.cells = 1;
      out.glyphs.push_back({infos[0].codepoint, 0, 0});
    }
    hb_buffer_destroy(buffer);
    return out;
  }
  if (missing) {
    hb_buffer_destroy(buffer);
    return out;
  }
  // Pen positions and ink in font units; then the size: the cells'
  // letter size, smaller when the ink would not fit the cell's height.
  const double units = open.face->units_per_EM;
  double pen = 0, inkLeft = 0, inkRight = 0, inkTop = 0, inkBottom = 0;
  bool inked = false;
  std::vector<std::pair<double, double>> origins(count);
  for (unsigned i = 0; i < count; ++i) {
    origins[i] = {pen + positions[i].x_offset, positions[i].y_offset};
    hb_glyph_extents_t e;
    if (hb_font_get_glyph_extents(font, infos[i].codepoint, &e) && e.width != 0 && e.height != 0) {
      const double l = origins[i].first + e.x_bearing, r = l + e.width;
      const double t = origins[i].second + e.y_bearing, b = t + e.height;
      inkLeft = inked ? std::min(inkLeft, l) : l;
      inkRight = inked ? std::max(inkRight, r) : r;
      inkTop = inked ? std::max(inkTop, t) : t;
      inkBottom = inked ? std::min(inkBottom, b) : b;
      inked = true;
    }
    pen += positions[i].x_advance;
  }
  double pixelsPerEm = kCapHeight * units / open.capUnits;
  const double bold = open.bold ? 0.0 : 1.0 / 24;  // emboldening, in ems, each way
  const double embolden = bold * units;
  inkLeft -= embolden, inkRight += embolden, inkTop += embolden, inkBottom -= embolden;
  const double inkHeight = inked ? (inkTop - inkBottom) * pixelsPerEm / units : 0;
  if (inkHeight > kInkRows) pixelsPerEm *= kInkRows / inkHeight;
  const double scale = pixelsPerEm / units;
  const double left = std::min(0.0, inkLeft) * scale, right = std::max(pen, inkRight) * scale;
  out.cells = std::max(1, static_cast<int>(std::ceil((right - left) / kCellPixels - 1e-6)));
  const double originX = (out.cells * kCellPixels - (right - left)) * 0.5 - left;
  // The atlas's baseline where the ink fits below and above it with a
  // row to spare, else as near to it as the ink allows.
  double baseline = kBaseline;
  if (inked) {
    const double top = inkTop * scale, bottom = inkBottom * scale;
    baseline = std::max(baseline, std::ceil(top) + 1.0);
    baseline = std::min(baseline, kCellPixels - 1.0 + std::floor(bottom));
  }
  out.shaped = true;
  out.pixelsPerEm = static_cast<float>(pixelsPerEm);
  out.baselineRow = static_cast<float>(std::round(baseline));
  out.glyphs.reserve(count);
  for (unsigned i = 0; i < count; ++i)
    out.glyphs.push_back({infos[i].codepoint, static_cast<float>(originX + origins[i].first * scale),
                          static_cast<float>(origins[i].second * scale)});
  hb_buffer_destroy(buffer);
  return out;
}

void paintRunSlice(const ShapedRun& run, int slice, unsigned char* rgba) {
  std::memset(rgba, 0, kCellPixels * kCellPixels * 4);
  const Canvas c = paintRun(run);
  if (slice < 0 || (slice + 1) * kCellPixels > c.width) return;
  for (int y = 0; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) {
      const float* s = &c.rgba[(static_cast<std::size_t>(y) * c.width + slice * kCellPixels + x) * 4];
      storeCellPixel(s, rgba + (static_cast<std::size_t>(kCellPixels - 1 - y) * kCellPixels + x) * 4);
    }
}

void paintSliceCell(const TextCell& cell, unsigned char* rgba) {
  // The slices of one run come one after the other: its picture is kept,
  // so a run is painted once for all of them.
  static std::vector<std::pair<std::u32string, std::vector<unsigned char>>> pictures;
  const ShapedRun& run = cachedRun(cell.text, cell.rightToLeft, cell.emoji);
  std::memset(rgba, 0, kCellPixels * kCellPixels * 4);
  if (!run.shaped || cell.slice >= run.cells) return;
  const std::u32string key = runKey(cell.text, cell.rightToLeft, cell.emoji);
  auto found = std::find_if(pictures.begin(), pictures.end(), [&](const auto& p) { return p.first == key; });
  if (found == pictures.end()) {
    if (pictures.size() >= kMaxPictures) pictures.erase(pictures.begin());
    std::vector<unsigned char> slices(static_cast<std::size_t>(run.cells) * kCellPixels * kCellPixels * 4);
    for (int k = 0; k < run.cells; ++k)
      paintRunSlice(run, k, slices.data() + static_cast<std::size_t>(k) * kCellPixels * kCellPixels * 4);
    pictures.emplace_back(key, std::move(slices));
    found = pictures.end() - 1;
  }
  std::memcpy(rgba, found->second.data() + static_cast<std::size_t>(cell.slice) * kCellPixels * kCellPixels * 4,
              kCellPixels * kCellPixels * 4);
}

void layOutCells(std::vector<TextCell>& cells, const RunPlanner& planner, std::size_t nameBegin,
                 std::size_t nameEnd) {
  // Names of the atlas's cells alone (ASCII) have nothing to shape or turn.
  if (std::all_of(cells.begin(), cells.end(), [](const TextCell& c) { return c.kind == TextCell::Kind::atlas; }))
    return;
  const auto inName = [&](const TextCell& cell) { return cell.at >= nameBegin && cell.at < nameEnd; };
  for (std::size_t i = 0; i < cells.size(); ++i)
    if (inName(cells[i])) formEmoji(cells, i, nameEnd, planner);

  // Levels per cell: 0 for the fixed cells and the barriers; each part of
  // the name between them resolved as a paragraph of its own.
  std::vector<unsigned char> levels(cells.size(), 0);
  std::u32string part;
  std::vector<unsigned char> partLevels;
  const auto barrier = [&](const TextCell& cell) {
    if (!inName(cell)) return true;
    if (cell.kind == TextCell::Kind::invisible)
      return isDirectionalControl(cell.text[0]) || isSeparator(cell.text[0]);
    return isSeparator(bidiCharacter(cell));
  };
  bool anyRightToLeft = false;
  const bool mayTurn = std::any_of(cells.begin(), cells.end(), [&](const TextCell& c) {
    return c.kind != TextCell::Kind::atlas && inName(c) && turnsRightToLeft(bidiCharacter(c));
  });
  for (std::size_t i = 0; mayTurn && i < cells.size();) {
    if (barrier(cells[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    part.clear();
    for (; end < cells.size() && !barrier(cells[end]); ++end) part.push_back(bidiCharacter(cells[end]));
    if (resolveLevels(part, partLevels))
      for (std::size_t k = i; k < end; ++k) {
        levels[k] = partLevels[k - i];
        anyRightToLeft = anyRightToLeft || levels[k] > 0;
      }
    i = end;
  }

  // Runs that need shaping become their slices; each unit (a cell, or a
  // run's slices) keeps one level for the reordering.
  std::vector<TextCell> out;
  std::vector<std::pair<std::size_t, unsigned char>> units;  // first cell in `out`, level
  out.reserve(cells.size());
  units.reserve(cells.size());
  std::u32string text;
  const auto pushCell = [&](TextCell&& cell, unsigned char level) {
    units.push_back({out.size(), level});
    out.push_back(std::move(cell));
  };
  for (std::size_t i = 0; i < cells.size();) {
    if (!inName(cells[i]) || !mayShape(cells[i])) {
      pushCell(std::move(cells[i]), levels[i]);
      ++i;
      continue;
    }
    // The stretch of one level that may be shaped; unpointed Hebrew is
    // drawn a letter to a cell.
    std::size_t end = i + 1;
    bool marked = cells[i].text.size() > 1, hebrewOnly = isHebrew(cells[i].text[0]);
    while (end < cells.size() && end - i < kMaxPlanCells && inName(cells[end]) && mayShape(cells[end]) &&
           levels[end] == levels[i]) {
      marked = marked || cells[end].text.size() > 1;
      hebrewOnly = hebrewOnly && isHebrew(cells[end].text[0]);
      ++end;
    }
    const unsigned char level = levels[i];
    const bool rightToLeft = level % 2 == 1;
    const RunPlan* plan = nullptr;
    if (!hebrewOnly || marked) {
      std::u32string key = {kRunPlanKey, rightToLeft ? char32_t{1} : char32_t{0}};
      for (std::size_t k = i; k < end; ++k) {
        key += cells[k].text;
        key.push_back(0);
      }
      plan = planner(key);
      if (plan == nullptr) {
        for (; i < end; ++i) {
          cells[i].kind = TextCell::Kind::pending;
          pushCell(std::move(cells[i]), level);
        }
        continue;
      }
    }
    std::size_t planned = 0;
    if (plan != nullptr)
      for (const RunPiece& piece : plan->pieces) planned += piece.cells;
    if (plan == nullptr || planned != end - i) {
      for (; i < end; ++i) pushCell(std::move(cells[i]), level);
      continue;
    }
    for (const RunPiece& piece : plan->pieces) {
      if (piece.slices == 0) {
        for (std::size_t k = 0; k < piece.cells; ++k, ++i) pushCell(std::move(cells[i]), level);
        continue;
      }
      std::u32string text;
      for (std::size_t k = i; k < i + piece.cells; ++k) text += cells[k].text;
      units.push_back({out.size(), level});
      for (unsigned short k = 0; k < piece.slices; ++k) {
        TextCell slice;
        slice.kind = TextCell::Kind::slice;
        slice.text = text;
        slice.at = cells[i].at;
        slice.slice = k;
        slice.rightToLeft = rightToLeft;
        out.push_back(std::move(slice));
      }
      i += piece.cells;
    }
  }

  if (anyRightToLeft) {
    std::vector<unsigned char> unitLevels(units.size());
    for (std::size_t u = 0; u < units.size(); ++u) unitLevels[u] = units[u].second;
    std::vector<std::size_t> order;
    visualOrder(unitLevels, order);
    cells.clear();
    for (std::size_t u : order) {
      const std::size_t first = units[u].first, last = u + 1 < units.size() ? units[u + 1].first : out.size();
      for (std::size_t k = first; k < last; ++k) {
        TextCell& cell = out[k];
        // Rule L4: a bracket in a right-to-left run shows mirrored.
        if (units[u].second % 2 == 1) {
          if (cell.kind == TextCell::Kind::atlas) cell.byte = static_cast<unsigned char>(mirroredByte(cell.byte));
          else if (cell.kind == TextCell::Kind::glyph && cell.text.size() == 1)
            cell.text[0] = mirroredCharacter(cell.text[0]);
        }
        cells.push_back(std::move(cell));
      }
    }
  } else {
    cells = std::move(out);
  }
}

RunPlan planRun(const std::u32string& key) {
  RunPlan plan;
  if (key.size() < 2 || key[0] != kRunPlanKey) return plan;
  std::vector<std::u32string_view> items;
  const std::u32string_view rest = std::u32string_view(key).substr(2);
  for (std::size_t from = 0; from < rest.size();) {
    const std::size_t zero = std::min(rest.find(char32_t{0}, from), rest.size());
    items.push_back(rest.substr(from, zero - from));
    from = zero + 1;
  }
  if (key[1] == 2) {
    // The longest run of elements that the emoji font forms.
    for (std::size_t n = items.size(); n > 0; --n) {
      std::u32string text;
      for (std::size_t k = 0; k < n; ++k) text += items[k];
      if (cachedRun(text, false, true).shaped) {
        plan.pieces.push_back({static_cast<unsigned short>(n), 1});
        break;
      }
    }
    return plan;
  }
  const bool rightToLeft = key[1] == 1;
  for (std::size_t i = 0; i < items.size();) {
    const int face = shapingFace(items[i]);
    std::size_t end = i + 1;
    while (face >= 0 && end < items.size() && shapingFace(items[end]) == face) ++end;
    std::u32string text;
    for (std::size_t k = i; k < end; ++k) text += items[k];
    const ShapedRun& run = face >= 0 ? cachedRun(text, rightToLeft, false) : ShapedRun{};
    if (run.shaped) {
      plan.pieces.push_back({static_cast<unsigned short>(end - i), static_cast<unsigned short>(run.cells)});
    } else {
      for (std::size_t k = i; k < end; ++k) plan.pieces.push_back({1, 0});
    }
    i = end;
  }
  return plan;
}

void encodeRunPlan(const RunPlan& plan, unsigned char* bytes, std::size_t size) {
  const std::size_t count = std::min(plan.pieces.size(), (size - 3) / 4);
  bytes[0] = 'P';
  bytes[1] = static_cast<unsigned char>(count >> 8);
  bytes[2] = static_cast<unsigned char>(count);
  for (std::size_t k = 0; k < count; ++k) {
    unsigned char* p = bytes + 3 + 4 * k;
    p[0] = static_cast<unsigned char>(plan.pieces[k].cells >> 8), p[1] = static_cast<unsigned char>(plan.pieces[k].cells);
    p[2] = static_cast<unsigned char>(plan.pieces[k].slices >> 8), p[3] = static_cast<unsigned char>(plan.pieces[k].slices);
  }
}

bool decodeRunPlan(const unsigned char* bytes, std::size_t size, RunPlan& plan) {
  plan.pieces.clear();
  if (size < 3 || bytes[0] != 'P') return false;
  const std::size_t count = static_cast<std::size_t>(bytes[1]) << 8 | bytes[2];
  if (3 + 4 * count > size) return false;
  for (std::size_t k = 0; k < count; ++k) {
    const unsigned char* p = bytes + 3 + 4 * k;
    plan.pieces.push_back({static_cast<unsigned short>(p[0] << 8 | p[1]), static_cast<unsigned short>(p[2] << 8 | p[3])});
  }
  return true;
}

const RunPlan* planNow(const std::u32string& key) {
  static std::unordered_map<std::u32string, RunPlan> plans;
  const auto found = plans.find(key);
  if (found != plans.end()) return &found->second;
  if (plans.size() >= kMaxRuns) plans.clear();
  return &plans.emplace(key, planRun(key)).first->second;
}

std::u32string sliceKey(const TextCell& cell) {
  std::u32string key = {kSliceKey, cell.emoji ? char32_t{2} : cell.rightToLeft ? char32_t{1} : char32_t{0}, cell.slice};
  key += cell.text;
  return key;
}

std::size_t runsShaped() { return shapedCount; }
