// Names drawn by the view's own routine on a real OpenGL context, read
// back as pixels: one cell per character, from the system's fonts.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "render/glyph_cache.h"
#include "render/glyph_raster.h"
#include "render/name_text.h"
#include "render/system_fonts.h"
#include "render/text.h"
#include "render/text_cells.h"
#include "tests/render/gl_canvas.h"
#include "tests/support/support.h"

namespace {

constexpr int kWidth = 800, kHeight = 100, kY = 40;

class NameTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!testing_support::useTestFonts(why)) GTEST_SKIP() << why;
    if (!openGlContext(why)) GTEST_SKIP() << why;
    canvas = makeCanvas(kWidth, kHeight);
  }
  void TearDown() override {
    if (canvas.framebuffer != 0) freeCanvas(canvas);
  }
  // The settled picture: drawn again once the worker has painted every
  // cell the first draw asked for, as the program's redisplay does, and
  // again while that asks for more (a shaped run's plan, then its slices).
  Picture drawn(const std::function<void()>& draw) {
    Picture picture = drawnNow(draw);
    for (int round = 0; round < 4 && settleGlyphCache(); ++round) picture = drawnNow(draw);
    return picture;
  }
  Picture drawnNow(const std::function<void()>& draw) {
    startFrame(canvas, kWidth, kHeight);
    startGlyphFrame();
    glDisable(GL_DEPTH_TEST);  // as the view's first band leaves it
    draw();
    return readPicture(canvas);
  }
  Picture name(const std::string& text, float x = 32) {
    return drawn([&] { drawName(text, 1, 1, 1, x, kY, 1, kWidth); });
  }

  Canvas canvas;
};

// Pixels of the cell at x that are not the clear colour.
int inkInCell(const Picture& p, int x) {
  const Rgba background = p.at(kWidth - 1, kHeight - 1);
  int ink = 0;
  for (int y = kY; y < kY + 32; ++y)
    for (int px = x; px < x + 32; ++px) {
      const Rgba c = p.at(px, y);
      ink += c.r != background.r || c.g != background.g || c.b != background.b;
    }
  return ink;
}

// Each name must draw as its pieces drawn one cell apart, and every piece
// but a blank must show ink in its cell.
TEST_F(NameTextTest, EachCharacterTakesOneCellAndShows) {
  struct Row {
    const char* what;
    std::string text;
    std::vector<std::string> pieces;
  };
  const Row rows[] = {
      {"after a CJK character", "\xE6\x97\xA5x", {"\xE6\x97\xA5", "x"}},
      {"after an emoji", "\xF0\x9F\x98\x80x", {"\xF0\x9F\x98\x80", "x"}},
      {"after a character no font has (unassigned U+0378)", "\xCD\xB8x", {"\xCD\xB8", "x"}},
      {"decomposed as composed", "e\xCC\x81" "cole", {"\xC3\xA9", "c", "o", "l", "e"}},
      {"Cyrillic and Greek", "\xD0\x94\xCE\xA9", {"\xD0\x94", "\xCE\xA9"}},
      {"invisible characters each in a cell of its own",
       "a\xE2\x80\x8B" "b\xE2\x80\x8D" "c\xC2\xAD" "d\xEF\xBB\xBF" "e\xE2\x80\xAE" "f\xE2\x81\xA6" "g\xC2\x85" "h"
       "\xEF\xB8\x8F" "i\xC2\xA0",
       {"a", "\xE2\x80\x8B", "b", "\xE2\x80\x8D", "c", "\xC2\xAD", "d", "\xEF\xBB\xBF", "e", "\xE2\x80\xAE", "f",
        "\xE2\x81\xA6", "g", "\xC2\x85", "h", "\xEF\xB8\x8F", "i", "\xC2\xA0"}},
      {"a Latin-1 byte and a broken sequence: their bytes' cells", "caf\xE9 \xE6\x97.",
       {"c", "a", "f", "\xE9", " ", "\xE6", "\x97", "."}},
      {"Hebrew letters right to left", "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D",
       {"\xD7\x9D", "\xD7\x95", "\xD7\x9C", "\xD7\xA9"}},
      {"a right-to-left override shown where it is stored, never applied", "o\xE2\x80\xAEgpj.exe",
       {"o", "\xE2\x80\xAE", "g", "p", "j", ".", "e", "x", "e"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Picture whole = name(row.text);
    const Picture pieces = drawn([&] {
      for (std::size_t k = 0; k < row.pieces.size(); ++k)
        drawName(row.pieces[k], 1, 1, 1, 32.0f + 32.0f * k, kY, 1, kWidth);
    });
    EXPECT_EQ(firstDifference(whole, pieces), "");
    for (std::size_t k = 0; k < row.pieces.size(); ++k)
      if (row.pieces[k] != " ") {
        EXPECT_GT(inkInCell(whole, 32 + 32 * static_cast<int>(k)), 20) << "piece " << k;
      }
  }
}

// ASCII, the bytes outside well-formed sequences and the rest of a line
// draw exactly the atlas's cells.
TEST_F(NameTextTest, AtlasBytesDrawAsTheTextModuleDrawsThem) {
  const char* const rows[] = {"  [Documents] readme.txt", "* caf\xE9 \"1\"\t\xC1\xFF", "\xE6\x97 cut short",
                              "\xC0\x80 overlong", "\xED\xA0\x80 surrogate", "\xF4\x90\x80\x80 beyond"};
  for (const char* text : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    const Picture atlas = drawn([&] { drawShadowedText(text, 1, 1, 1, 32, kY, 1); });
    EXPECT_EQ(firstDifference(name(text), atlas), "");
  }
}

// Text that needs shaping takes fewer cells than it has characters, its
// joined letters touching; an emoji sequence takes one cell.
TEST_F(NameTextTest, ShapedTextTakesWholeCellsAndEmojiSequencesOne) {
  struct Row {
    const char* what;
    std::string text;
    bool oneCell;  // else: fewer cells than unshaped
    bool joined;   // no empty column inside the ink
  };
  const Row rows[] = {
      {"Arabic letters joined", "\xD8\xB3\xD9\x84\xD8\xB3\xD8\xA8\xD9\x8A\xD9\x84", false, true},
      {"Arabic, two words", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 \xD8\xA8\xD8\xA7\xD9\x84\xD8\xB9\xD8\xA7\xD9\x84\xD9\x85",
       false, false},
      {"Devanagari with a conjunct", "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87", false,
       false},
      {"family", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", true, false},
      {"flag", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", true, false},
      {"keycap", "1\xEF\xB8\x8F\xE2\x83\xA3", true, false},
      {"skin tone", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Picture p = name(row.text);
    std::vector<TextCell> unshaped;
    splitIntoCells(row.text, unshaped);
    int first = -1, last = -1;
    for (int k = 0; k < static_cast<int>(unshaped.size()); ++k)
      if (inkInCell(p, 32 + 32 * k) > 0) {
        if (first < 0) first = k;
        last = k;
      }
    ASSERT_EQ(first, 0);
    if (row.oneCell) {
      EXPECT_EQ(last, 0);
    } else {
      EXPECT_LT(last + 1, static_cast<int>(unshaped.size()));
    }
    if (row.joined) {
      const Rgba background = p.at(kWidth - 1, kHeight - 1);
      int left = -1, right = -1;
      std::vector<bool> inked(kWidth, false);
      for (int x = 0; x < kWidth; ++x)
        for (int y = kY; y < kY + 32; ++y) {
          const Rgba c = p.at(x, y);
          if (c.r > 128 && (c.r != background.r || c.g != background.g)) inked[x] = true;
        }
      for (int x = 0; x < kWidth; ++x)
        if (inked[x]) {
          if (left < 0) left = x;
          right = x;
        }
      EXPECT_EQ(std::count(inked.begin() + left, inked.begin() + right + 1, false), 0) << "empty columns";
    }
  }
}

// The pixels of the 32 x 32 cell at x, on the name's row.
std::vector<uint8_t> cellAt(const Picture& p, int x) {
  std::vector<uint8_t> cell;
  for (int y = kY; y < kY + 32; ++y)
    for (int px = x; px < x + 32; ++px) {
      const Rgba c = p.at(px, y);
      cell.insert(cell.end(), {c.r, c.g, c.b, c.a});
    }
  return cell;
}

// A cell the worker has not painted yet draws the placeholder, the same
// for every character and unlike either mark box, while the ASCII beside
// it draws at once; the redraw once the worker is done shows the glyph.
TEST_F(NameTextTest, APendingCellDrawsThePlaceholderUntilItsGlyphIsBack) {
  const auto draw = [&](const std::string& text) { return [&, text] { drawName(text, 1, 1, 1, 32, kY, 0, kWidth); }; };
  const std::vector<uint8_t> solidBox = cellAt(drawn(draw("\xCD\xB8")), 32);
  const std::vector<uint8_t> dashedBox = cellAt(drawn(draw("\xE2\x80\x8B")), 32);
  // Ideographs from U+8000 on, which no other test draws, fresh on every
  // repeat of the test; the second with an acute over it.
  static unsigned char next = 0;
  const std::string ideograph = std::string("\xE8\x80") + static_cast<char>(0x80 + next++ % 64);
  const std::string rows[] = {ideograph, std::string("\xE8\x81") + ideograph.back() + "\xCC\x81"};
  std::vector<uint8_t> placeholder;
  for (const std::string& cell : rows) {
    SCOPED_TRACE(testing::PrintToString(cell));
    const Picture pending = drawnNow(draw("a" + cell + "b"));
    ASSERT_TRUE(settleGlyphCache());
    const Picture settled = drawnNow(draw("a" + cell + "b"));
    for (int ascii : {32, 96}) EXPECT_EQ(cellAt(pending, ascii), cellAt(settled, ascii)) << "cell at " << ascii;
    if (placeholder.empty()) placeholder = cellAt(pending, 64);
    EXPECT_EQ(cellAt(pending, 64), placeholder);
    EXPECT_GT(inkInCell(pending, 64), 20);
    EXPECT_NE(cellAt(settled, 64), placeholder);
    EXPECT_NE(placeholder, solidBox);
    EXPECT_NE(placeholder, dashedBox);
  }
}

struct Ink {
  int left = 1 << 20, right = -1, bottom = 1 << 20, top = -1;
};

Ink inkOf(const Picture& p) {
  Ink ink;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      if (p.at(x, y).r > 128) {
        ink.left = std::min(ink.left, x), ink.right = std::max(ink.right, x);
        ink.bottom = std::min(ink.bottom, y), ink.top = std::max(ink.top, y);
      }
  return ink;
}

TEST_F(NameTextTest, LettersStandOnTheAtlasBaselineAtItsCapitalHeight) {
  struct Row {
    const char* atlas;
    const char* font;
    bool sameWidth;  // the same letter shape
  };
  const Row rows[] = {
      {"H", "\xD0\x9D", true},   // Cyrillic En
      {"E", "\xCE\x95", true},   // Greek Epsilon
      {"T", "\xD0\xA2", true},   // Cyrillic Te
      {"x", "\xD1\x85", true},   // Cyrillic ha: the x-height too
      {"E", "\xC3\x89", false},  // E acute: the accent above, the E on the baseline
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.font);
    const Ink a = inkOf(drawn([&] { drawName(row.atlas, 1, 1, 1, 32, kY, 0, kWidth); }));
    const Ink f = inkOf(drawn([&] { drawName(row.font, 1, 1, 1, 32, kY, 0, kWidth); }));
    ASSERT_GE(a.top, 0);
    ASSERT_GE(f.top, 0);
    EXPECT_NEAR(f.bottom, a.bottom, 1);
    if (row.sameWidth) {
      EXPECT_NEAR(f.top, a.top, 1);
      EXPECT_NEAR(f.left, a.left, 1);
      EXPECT_NEAR(f.right, a.right, 1);
    } else {
      EXPECT_GT(f.top, a.top + 1);
      EXPECT_LT(f.top, kY + 32);
    }
  }
}

TEST_F(NameTextTest, EmojiKeepTheirColours) {
  FontFace face;
  if (!systemFaceFor(0x1F600, true, face)) GTEST_SKIP() << "no emoji font installed";
  const Picture p = name("\xF0\x9F\x98\x80");
  int coloured = 0;
  for (int y = kY; y < kY + 32; ++y)
    for (int x = 32; x < 64; ++x) {
      const Rgba c = p.at(x, y);
      coloured += std::abs(c.r - c.b) > 60;
    }
  EXPECT_GT(coloured, 50);
}

// Each cell is rasterised once; when every slot is taken, the one used
// longest ago is painted over, and drawn again it comes back the same.
TEST_F(NameTextTest, CellsAreRasterisedOnceAndComeBackAfterEviction) {
  const std::string sun = "\xE6\x97\xA5";
  const Picture first = name(sun);
  const std::size_t before = glyphCacheRasterised();
  EXPECT_EQ(firstDifference(name(sun), first), "");
  EXPECT_EQ(glyphCacheRasterised(), before);

  // Enough other characters to take every slot: U+4E00 on, 16 a line.
  std::string line;
  for (char32_t c = 0x4E00; c < 0x4E00 + kGlyphCacheSlots; ++c) {
    line += static_cast<char>(0xE0 | (c >> 12));
    line += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    line += static_cast<char>(0x80 | (c & 0x3F));
    if (line.size() == 16 * 3) {
      name(line);
      line.clear();
    }
  }
  if (!line.empty()) name(line);
  EXPECT_EQ(glyphCacheRasterised(), before + kGlyphCacheSlots);
  EXPECT_EQ(firstDifference(name(sun), first), "");
  EXPECT_EQ(glyphCacheRasterised(), before + kGlyphCacheSlots + 1);
}

// The text form and the emoji form of one character are two cells of the
// cache; U+FE0E asks for the text form's.
TEST_F(NameTextTest, TextAndEmojiFormsTakeSlotsOfTheirOwn) {
  const std::size_t before = glyphCacheRasterised();
  const Picture text = name("\xE2\x9D\xA4");
  const Picture emoji = name("\xE2\x9D\xA4\xEF\xB8\x8F");
  EXPECT_EQ(glyphCacheRasterised(), before + 2);
  EXPECT_NE(firstDifference(text, emoji), "");
  EXPECT_EQ(firstDifference(name("\xE2\x9D\xA4\xEF\xB8\x8E"), text), "");
  EXPECT_EQ(glyphCacheRasterised(), before + 2);
}

// A cell shows the rasterised picture on its own pixels, alpha-tested and
// blended as text is: the first time, just rasterised, and again from the
// cache.
TEST_F(NameTextTest, CachedCellsShowTheRasterisedPicture) {
  const std::string text = "\xD0\x96\xCC\x81";  // Zhe with an acute
  std::vector<TextCell> cells;
  splitIntoCells(text, cells);
  ASSERT_EQ(cells.size(), 1u);
  unsigned char rgba[kCellPixels * kCellPixels * 4];
  rasteriseCell(cells[0], rgba);
  for (const char* when : {"rasterised", "cached"}) {
    SCOPED_TRACE(when);
    const Picture p = drawn([&] { drawName(text, 1, 1, 1, 32, kY, 0, kWidth); });
    const double background = p.at(kWidth - 1, kHeight - 1).r;
    int wrong = 0;
    for (int y = 0; y < kCellPixels; ++y)
      for (int x = 0; x < kCellPixels; ++x) {
        const int alpha = rgba[(y * kCellPixels + x) * 4 + 3];
        if (alpha >= 60 && alpha <= 68) continue;  // at the alpha test's edge
        const double a = alpha / 255.0;
        // The black copy, then the white one on the same spot.
        const double expected = a > 0.25 ? 255 * a + background * (1 - a) * (1 - a) : background;
        wrong += std::abs(p.at(32 + x, kY + y).r - expected) > 4;
      }
    EXPECT_EQ(wrong, 0);
  }
}

// Cells that start left of the right edge are drawn whole, the part past
// the edge too; a cell that starts at the edge is not.
TEST_F(NameTextTest, ACellCutByTheRightEdgeStillShows) {
  struct Row {
    const char* text;
    float right;  // from the name's start
    bool thirdShows;
  };
  const Row rows[] = {
      {"\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5", 80, true},
      {"HHH", 80, true},
      {"\xE6\x97\xA5\xE6\x97\xA5\xE6\x97\xA5", 64, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.text << " to " << row.right);
    const Picture p = drawn([&] { drawName(row.text, 1, 1, 1, 32, kY, 1, 32 + row.right); });
    EXPECT_GT(inkInCell(p, 32 + 32), 20);
    EXPECT_EQ(inkInCell(p, 32 + 64) > 20, row.thirdShows);
  }
}

// More distinct cells in one frame than there are slots: the cache fills,
// the rest keep the placeholder, and no cell of the frame is painted over,
// so nothing is asked again and the redraws end. Once the frame shows
// other cells, the rest come in.
TEST_F(NameTextTest, AFrameOfMoreCellsThanSlotsLeavesTheRestPending) {
  std::string many;  // ideographs from U+5600 on, after the eviction test's
  for (char32_t c = 0x5600; c < 0x5600 + kGlyphCacheSlots + 20; ++c)
    for (int shift : {12, 6, 0}) many += static_cast<char>((shift == 12 ? 0xE0 : 0x80) | ((c >> shift) & 0x3F));
  const auto all = [&] { drawName(many, 1, 1, 1, 32, kY, 0, 1e9f); };
  const std::size_t before = glyphCacheRasterised();
  drawn(all);
  EXPECT_FALSE(settleGlyphCache());
  drawnNow(all);
  EXPECT_EQ(glyphCacheRasterised(), before + kGlyphCacheSlots);
  EXPECT_TRUE(glyphCacheWaiting());
  name("x");
  name("x");
  EXPECT_FALSE(glyphCacheWaiting());
  EXPECT_EQ(glyphCacheRasterised(), before + kGlyphCacheSlots + 20);
}

}  // namespace
