// Names drawn by the view's own routine on a real OpenGL context, read
// back as pixels: one cell per character, from the system's fonts.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "render/glyph_cache.h"
#include "render/name_text.h"
#include "render/system_fonts.h"
#include "render/text.h"
#include "render/text_cells.h"
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
  Picture drawn(const std::function<void()>& draw) {
    startFrame(canvas, kWidth, kHeight);
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

}  // namespace
