// Names as their scripts write them, on the fixed pitch. Text of a script
// that joins its letters, forms conjuncts, reorders or stacks its vowel
// signs or places marks (Arabic, Syriac, N'Ko, Mongolian, the Indic and
// South-East Asian scripts, Tibetan, pointed Hebrew) is shaped by HarfBuzz
// as one run with the font the system's fallback picks for it, and takes
// its natural width rounded up to whole cells: slices of one picture. An
// emoji sequence (ZWJ sequence, flag, keycap, skin tone, one of the
// subdivision flags Unicode recommends) that the emoji font draws as one
// glyph takes one cell. Everything else keeps
// its cell per character. Right-to-left runs are put in reading order by
// the bidirectional algorithm (bidi_order.h), never across an explicit
// directional control, which keeps its visible mark.
//
// Shaping and painting are pure of graphics and may block on a font file:
// the program runs them on the font worker (font_worker.h), which alone
// touches the fonts and caches they keep. The layout of a line runs where
// it is drawn: what it needs from the fonts (how a stretch of text splits
// into shaped runs, and how wide each is) comes as a RunPlan that the
// worker makes (planRun()) and the caller hands in through a RunPlanner.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "render/text_cells.h"

// One glyph of a shaped run: its index in the run's font and where its
// origin lies, in pixels, from the run's left edge on its baseline (x to
// the right, y up).
struct ShapedGlyph {
  unsigned index = 0;
  float x = 0, y = 0;
};

// A run shaped for the pitch.
struct ShapedRun {
  bool shaped = false;    // false: the font lacks a character (or no font
                          // has the run), or an emoji sequence is not one glyph
  int face = -1;          // the font: an index of openFace() (font_faces.h)
  bool picture = false;   // a colour emoji scaled into its one cell
  int cells = 0;          // width in cells of kCellPixels
  float pixelsPerEm = 0;
  float baselineRow = 0;  // the baseline's distance from the top, in pixels
  std::vector<ShapedGlyph> glyphs;
};

// Shapes `run` (code points in stored order, one script's letters with
// their marks) with the face faceFor() (font_faces.h) picks for its first
// code point, right to left when `rightToLeft`, glyphs left to right. With
// `emoji` the run is an emoji sequence and is shaped only when the emoji
// font forms it into one glyph other than that of its first character,
// and that glyph draws with ink; it then takes one cell. Otherwise the glyphs are sized like the cells'
// letters, or smaller when they would not fit the cell's height, and the
// width is rounded up to whole cells with the ink centred.
ShapedRun shapeRun(std::u32string_view run, bool rightToLeft, bool emoji);

// Paints slice `slice` (0 <= slice < run.cells, from the left) of `run`
// into `rgba`, kCellPixels x kCellPixels RGBA texels, bottom row first, as
// rasteriseCell() paints a cell: white ink in alpha, a picture in its
// colours.
void paintRunSlice(const ShapedRun& run, int slice, unsigned char* rgba);

// paintRunSlice() for a slice cell made by layOutCells(): the run is shaped
// (or taken from the cache of shaped runs) and painted once for all its
// slices.
void paintSliceCell(const TextCell& cell, unsigned char* rgba);

// What the fonts make of a stretch of cells that may be shaped, in stored
// order: pieces of `cells` cells each, shaped into `slices` cells, or left
// as they are (slices 0). An emoji sequence is one piece, of one slice
// when the emoji font forms it.
struct RunPiece {
  unsigned short cells = 0;
  unsigned short slices = 0;
};
struct RunPlan {
  std::vector<RunPiece> pieces;
};

// Plans are asked for by key: the first code unit kRunPlanKey, then the
// kind (0: text left to right, 1: right to left, 2: an emoji sequence),
// then each cell's code points followed by a 0.
constexpr char32_t kRunPlanKey = 16;

// The plan for `key`: each cell is shaped with the face faceFor() picks
// for its first character, and consecutive cells of one face as one run
// (shapeRun()); a cell whose face lacks one of its characters stays as it
// is. Touches the fonts: the font worker's.
RunPlan planRun(const std::u32string& key);

// A plan as the bytes of a cell picture (the font worker's way back), and
// back; false when `bytes` holds none.
void encodeRunPlan(const RunPlan& plan, unsigned char* bytes, std::size_t size);
bool decodeRunPlan(const unsigned char* bytes, std::size_t size, RunPlan& plan);

// The plan for a key, or null while it is not known yet (its cells then
// draw as placeholders, and the caller draws again once it is).
using RunPlanner = std::function<const RunPlan*(const std::u32string& key)>;

// A planner that plans at once, on the calling thread, keeping what it
// planned: for tests, benchmarks and tools, which have no worker.
const RunPlan* planNow(const std::u32string& key);

// Turns `cells`, as splitIntoCells() made them, into the cells to draw,
// left to right: emoji sequences the emoji font forms become one slice
// cell; runs that need shaping become their slice cells; then the cells
// are put in visual order. Only cells whose text starts in bytes
// [nameBegin, nameEnd) take part; the others stay where they are, as do
// explicit directional controls and separators (tab, line feed, paragraph
// separator), which split the name into parts ordered each on its own as
// a left-to-right paragraph. Cells whose plan `planner` does not know yet
// become pending cells. Touches no font.
void layOutCells(std::vector<TextCell>& cells, const RunPlanner& planner, std::size_t nameBegin = 0,
                 std::size_t nameEnd = static_cast<std::size_t>(-1));

// The cache key of a slice cell's picture: kSliceKey, its kind, its slice,
// then the run's text.
constexpr char32_t kSliceKey = 17;
std::u32string sliceKey(const TextCell& cell);

// Whether a character belongs to a script that needs shaping.
bool needsShaping(char32_t c);

// How many runs have been shaped since the start; for tests and benchmarks.
std::size_t runsShaped();
