// Cells rasterised from the test fonts (testing_support::useTestFonts):
// names whose marks need fonts not yet open, marks no font has, marks with
// nothing to stand on, and the placeholder boxes. No display needed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/glyph_raster.h"
#include "render/text_cells.h"
#include "tests/support/support.h"

namespace {

using Cell = std::vector<unsigned char>;

class GlyphRasterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testing_support::useTestFonts(why)) GTEST_SKIP() << why;
  }
};

Cell raster(const TextCell& cell) {
  Cell rgba(kCellPixels * kCellPixels * 4);
  rasteriseCell(cell, rgba.data());
  return rgba;
}

Cell raster(TextCell::Kind kind, std::u32string text) {
  TextCell cell;
  cell.kind = kind;
  cell.text = std::move(text);
  return raster(cell);
}

Cell box(char32_t c, bool dashed) {
  Cell rgba(kCellPixels * kCellPixels * 4);
  drawCodePointBox(c, dashed, rgba.data());
  return rgba;
}

// The pictures of every cell of `name` that the atlas does not draw.
std::vector<Cell> rasterised(const std::string& name) {
  std::vector<TextCell> cells;
  splitIntoCells(name, cells);
  std::vector<Cell> out;
  for (const TextCell& cell : cells)
    if (cell.kind != TextCell::Kind::atlas) out.push_back(raster(cell));
  return out;
}

// Alpha at column x, row y counted from the cell's top.
int alphaAt(const Cell& c, int x, int y) { return c[((kCellPixels - 1 - y) * kCellPixels + x) * 4 + 3]; }

// Inked pixels from row `top` down.
int inkFrom(const Cell& c, int top = 0) {
  int ink = 0;
  for (int y = top; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) ink += alphaAt(c, x, y) > 127;
  return ink;
}

// The first of these rows runs in a fresh process (each test is one under
// ctest): its marks come from fonts opened while the base's is in use.
TEST_F(GlyphRasterTest, EveryMarkShowsAndChangesTheCell) {
  struct Row {
    const char* what;
    std::string name;
    std::string without;  // the same name without the mark
  };
  const Row rows[] = {
      {"a mark from a font opened meanwhile, then another", "x\xE3\x82\x99\xCC\x81", "x\xCC\x81"},
      {"a mark no font has, then one the base's font has", "x\xE1\xB7\xA2\xCC\x95", "x\xCC\x95"},
      {"a mark no font has, under a composed letter", "caf\xC3\xA9\xE1\xB7\xBA", "caf\xC3\xA9"},
      {"a mark over a character no font has", "\xCD\xB8\xCC\x81", "\xCD\xB8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::vector<Cell> with = rasterised(row.name), without = rasterised(row.without);
    ASSERT_EQ(with.size(), without.size());
    EXPECT_NE(with, without);
    for (const Cell& cell : with) EXPECT_GT(inkFrom(cell), 20);
  }
}

// A mark with nothing to stand on shows the dotted circle under it, in the
// lower half of its own cell, not an accent hanging under the row above.
TEST_F(GlyphRasterTest, MarksStandingAloneGetAVisibleBase) {
  const std::string acute = "\xCC\x81";
  std::string stack = "a";
  for (int i = 0; i < 40; ++i) stack += acute;
  const std::string rows[] = {acute, "\xE2\x80\x8B" + acute, stack};
  for (const std::string& name : rows) {
    SCOPED_TRACE(testing::PrintToString(name));
    for (const Cell& cell : rasterised(name))
      EXPECT_GT(inkFrom(cell, kCellPixels / 2), 20);
  }
}

// A mark that does not compose with its letter sits clear of it: at least
// one row apart, over the letter or under it as the mark goes.
TEST_F(GlyphRasterTest, MarksThatDoNotComposeStayClearOfTheirLetter) {
  struct Row {
    const char* what;
    std::u32string base, marked;
    bool above;
  };
  const Row rows[] = {
      {"x acute", U"x", U"x\u0301", true},
      {"x dot below", U"x", U"x\u0323", false},
      {"Cyrillic ha breve", U"\u0445", U"\u0445\u0306", true},
      {"Cyrillic capital Zhe acute", U"\u0416", U"\u0416\u0301", true},
      {"Cyrillic capital Zhe dot below", U"\u0416", U"\u0416\u0323", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Cell base = raster(TextCell::Kind::glyph, row.base), marked = raster(TextCell::Kind::glyph, row.marked);
    int letterTop = kCellPixels, letterBottom = -1, markTop = kCellPixels, markBottom = -1;
    for (int y = 0; y < kCellPixels; ++y)
      for (int x = 0; x < kCellPixels; ++x) {
        if (alphaAt(base, x, y) > 31) letterTop = std::min(letterTop, y), letterBottom = std::max(letterBottom, y);
        if (alphaAt(marked, x, y) > 31 && alphaAt(base, x, y) == 0)
          markTop = std::min(markTop, y), markBottom = std::max(markBottom, y);
      }
    ASSERT_GE(markBottom, 0) << "no mark drawn";
    if (row.above)
      EXPECT_LT(markBottom, letterTop - 1);
    else
      EXPECT_GT(markTop, letterBottom + 1);
  }
}

// An invisible character draws the dashed box of its code point, a
// character no font has (unassigned U+0378) the solid one; a character the
// first font in the order claims but lacks comes from the next font.
TEST_F(GlyphRasterTest, CellsDrawTheirCharacterOrItsBox) {
  struct Row {
    TextCell::Kind kind;
    char32_t c;
    int box;  // 0: none, 1: dashed, 2: solid
  };
  const Row rows[] = {{TextCell::Kind::invisible, 0x0378, 1},
                      {TextCell::Kind::glyph, 0x0378, 2},
                      {TextCell::Kind::glyph, testing_support::kClaimedButMissing, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.c << " box " << row.box);
    const Cell drawn = raster(row.kind, std::u32string(1, row.c));
    EXPECT_EQ(drawn == box(row.c, true), row.box == 1);
    EXPECT_EQ(drawn == box(row.c, false), row.box == 2);
    EXPECT_GT(inkFrom(drawn), 50);
  }
  EXPECT_LT(inkFrom(box(0x0378, true)), inkFrom(box(0x0378, false)));
}

// A four-digit code point shows its four digits two to a row: code points
// that differ in one digit differ in that digit's quarter of the box only.
TEST_F(GlyphRasterTest, FourDigitCodePointsShowFourDigits) {
  struct Row {
    char32_t a, b;
    int quarter;  // 0 top left, 1 top right, 2 bottom left, 3 bottom right
  };
  const Row rows[] = {{0x200B, 0x300B, 0}, {0x200B, 0x210B, 1}, {0x200B, 0x201B, 2}, {0x200B, 0x200C, 3}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << row.a << " " << row.b);
    const Cell a = box(row.a, true), b = box(row.b, true);
    for (int q = 0; q < 4; ++q) {
      const int x0 = (q % 2) * 16, y0 = (q / 2) * 16;
      bool differs = false;
      for (int y = y0; y < y0 + 16; ++y)
        for (int x = x0; x < x0 + 16; ++x) differs = differs || alphaAt(a, x, y) != alphaAt(b, x, y);
      EXPECT_EQ(differs, q == row.quarter) << "quarter " << q;
    }
  }
}

}  // namespace
