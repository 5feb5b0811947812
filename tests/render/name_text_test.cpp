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
#include "render/name_text.h"
#include "render/system_fonts.h"
#include "render/text.h"
#include "tests/render/gl_canvas.h"

namespace {

constexpr int kWidth = 800, kHeight = 100, kY = 40;

class NameTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!openGlContext(why)) GTEST_SKIP() << why;
    canvas = makeCanvas(kWidth, kHeight);
  }
  void TearDown() override {
    if (canvas.framebuffer != 0) freeCanvas(canvas);
  }
  // The settled picture: drawn again once the worker has painted every
  // cell the first draw asked for, as the program's redisplay does.
  Picture drawn(const std::function<void()>& draw) {
    Picture first = drawnNow(draw);
    return settleGlyphCache() ? drawnNow(draw) : first;
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
