// Text drawing on a real OpenGL context, checked on read-back pixels.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "render/text.h"
#include "tests/render/gl_canvas.h"
#include "tests/support/support.h"

namespace {

// The frame's clear colour as the framebuffer stores it.
Rgba kBackground = {0, 0, 0, 0};

bool same(Rgba a, Rgba b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!openGlContext(why)) GTEST_SKIP() << why;
    canvas = makeCanvas(400, 600);
    start();
    kBackground = readPicture(canvas).at(0, 0);
  }
  void TearDown() override {
    if (canvas.framebuffer != 0) freeCanvas(canvas);
  }
  // The frame as the browser view hands it to text drawing: its first
  // band has turned the depth test off.
  void start() {
    startFrame(canvas, 400.0f, 600.0f);
    glDisable(GL_DEPTH_TEST);
  }

  Canvas canvas;
};

int atlasInk(int code, int tx, int ty) { return testing_support::atlasInk(fontImage, code, tx, ty); }

// Compares one glyph drawn in white at (x, y) with its atlas cell. At two
// pixels per texel, linear filtering gives each pixel 3/4 of its own texel
// and 1/4 of the neighbour on its side, across and up or down: a pixel
// whose four texels are all empty keeps the background, and one whose
// four texels all carry at least alpha m (above the alpha test's cut)
// shows at least that share of white. Around the 32 x 32 cell nothing is
// drawn. Returns how many pixels were checked as ink, so that an empty
// result cannot pass unnoticed.
int expectGlyphMatchesAtlas(const Picture& p, int code, int x, int y) {
  int inked = 0;
  for (int ty = 1; ty < 15; ++ty)
    for (int tx = 1; tx < 15; ++tx)
      for (int py = 0; py < 2; ++py)
        for (int px = 0; px < 2; ++px) {
          const int nx = tx + (px == 0 ? -1 : 1);
          const int ny = ty + (py == 0 ? 1 : -1);  // pixel rows go up, texel rows down
          const int four[4] = {atlasInk(code, tx, ty), atlasInk(code, nx, ty), atlasInk(code, tx, ny),
                               atlasInk(code, nx, ny)};
          const int least = *std::min_element(four, four + 4);
          const int most = *std::max_element(four, four + 4);
          const int sx = x + 2 * tx + px;
          const int sy = y + 32 - 2 * ty - 2 + py;
          const Rgba got = p.at(sx, sy);
          if (most == 0) {
            EXPECT_TRUE(same(got, kBackground)) << "code " << code << " texel " << tx << "," << ty << " pixel "
                                                << sx << "," << sy << " should be empty";
          } else if (least > 70) {
            // At least this much of white over the background, less rounding.
            auto floor = [&](int bg) { return bg + (255 - bg) * least / 255 - 2; };
            EXPECT_TRUE(got.r >= floor(kBackground.r) && got.g >= floor(kBackground.g) &&
                        got.b >= floor(kBackground.b))
                << "code " << code << " texel " << tx << "," << ty << " pixel " << sx << "," << sy << " is "
                << int(got.r) << " " << int(got.g) << " " << int(got.b) << ", want ink of alpha " << least;
            ++inked;
          }
        }
  for (int i = -2; i < 34; ++i)
    for (int ring : {-2, -1, 32, 33}) {
      EXPECT_TRUE(same(p.at(x + i, y + ring), kBackground)) << "below/above the cell at " << x + i;
      EXPECT_TRUE(same(p.at(x + ring, y + i), kBackground)) << "left/right of the cell at " << y + i;
    }
  return inked;
}

TEST_F(TextTest, EachGlyphShowsItsAtlasCellUpright) {
  // 193 is read as an unsigned byte; 9 (tab) and 127 are drawn like any
  // other code.
  const int codes[] = {'A', 'g', 'W', '0', 9, 1, 127, 128, 193, 225, 255};
  for (int code : codes) {
    SCOPED_TRACE(code);
    start();
    glColor4f(1, 1, 1, 1);
    const char text[2] = {static_cast<char>(code), 0};
    drawText(text, 200, 300);
    EXPECT_GT(expectGlyphMatchesAtlas(readPicture(canvas), code, 200, 300), 0);
  }
}

// Line feed starts the next line 32 lower at the text's x, carriage return
// goes back to the line's start; every other byte draws and advances.
TEST_F(TextTest, EveryByteDrawsItsCellAndAdvancesOneCell) {
  struct Cell {
    const char* glyph;
    float x, y;
  };
  struct Row {
    const char* text;
    std::vector<Cell> cells;  // where each glyph must land, in drawing order
  };
  const Row rows[] = {
      {"ab\ncd", {{"a", 100, 500}, {"b", 132, 500}, {"c", 100, 468}, {"d", 132, 468}}},
      {"abc\rX", {{"a", 100, 500}, {"b", 132, 500}, {"c", 164, 500}, {"X", 100, 500}}},
      {"\tA", {{"\t", 100, 500}, {"A", 132, 500}}},
      {" A", {{"A", 132, 500}}},
      {"A\n\nB", {{"A", 100, 500}, {"B", 100, 436}}},
      {"\r\nZ", {{"Z", 100, 468}}},
      {"\xC1\x80", {{"\xC1", 100, 500}, {"\x80", 132, 500}}},
      {"", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::string(row.text)));
    start();
    glColor4f(1, 1, 1, 1);
    drawText(row.text, 100, 500);
    const Picture drawn = readPicture(canvas);

    start();
    glColor4f(1, 1, 1, 1);
    for (const Cell& cell : row.cells) drawText(cell.glyph, cell.x, cell.y);
    const Picture expected = readPicture(canvas);
    EXPECT_EQ(firstDifference(drawn, expected), "");
  }
}

TEST_F(TextTest, DrawingLeavesTheModelviewMatrixAsItWas) {
  start();
  glTranslatef(3, 4, 0);
  float before[16], after[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, before);
  drawText("ab\ncd", 100, 500);
  drawShadowedText("x", 1, 0, 0, 10, 10, 1);
  glGetFloatv(GL_MODELVIEW_MATRIX, after);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(before[i], after[i]) << i;
}

TEST_F(TextTest, ShadowSitsUpRightUnderTheColouredCopy) {
  // Code 128 is a solid square on texels 2-13: pixels 4-27 of the cell.
  struct Row {
    float r, g, b;
    Rgba ink;
  };
  const Row rows[] = {
      {1, 0, 0, {255, 0, 0, 255}},
      {0, 1, 1, {0, 255, 255, 255}},
      {1, 1, 1, {255, 255, 255, 255}},
  };
  const int x = 100, y = 200;
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.r << " " << row.g << " " << row.b);
    start();
    glColor4f(1, 1, 1, 0.1f);  // the current alpha plays no part
    drawShadowedText("\x80", row.r, row.g, row.b, x, y, 4);
    const Picture p = readPicture(canvas);
    EXPECT_TRUE(same(p.at(x + 16, y + 16), row.ink))
        << int(p.at(x + 16, y + 16).r) << " " << int(p.at(x + 16, y + 16).g) << " " << int(p.at(x + 16, y + 16).b);
    EXPECT_TRUE(same(p.at(x + 30, y + 16), Rgba{0, 0, 0, 255})) << "shadow right of the square";
    EXPECT_TRUE(same(p.at(x + 16, y + 30), Rgba{0, 0, 0, 255})) << "shadow above the square";
    EXPECT_TRUE(same(p.at(x + 2, y + 16), kBackground)) << "no shadow to the left";
    EXPECT_TRUE(same(p.at(x + 16, y + 2), kBackground)) << "no shadow below";
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], row.r);
    EXPECT_EQ(colour[1], row.g);
    EXPECT_EQ(colour[2], row.b);
    EXPECT_EQ(colour[3], 1.0f);
  }
}

TEST_F(TextTest, TheAtlasIsUploadedOnce) {
  start();
  drawText("A", 10, 10);
  const unsigned int name = fontTexture;
  ASSERT_NE(name, 0u);

  // Empty the texture behind the program's back: a later draw that
  // uploaded the atlas again would bring the glyph back.
  std::vector<unsigned char> clear(256 * 256 * 4, 0);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, clear.data());
  start();
  glColor4f(1, 1, 1, 1);
  drawText("A", 200, 300);
  const Picture p = readPicture(canvas);
  start();
  EXPECT_EQ(firstDifference(p, readPicture(canvas)), "") << "the glyph came back: uploaded again";

  glBindTexture(GL_TEXTURE_2D, name);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 256, 256, GL_RGBA, GL_UNSIGNED_BYTE, fontImage);
  start();
  glColor4f(1, 1, 1, 1);
  drawText("A", 200, 300);
  EXPECT_GT(expectGlyphMatchesAtlas(readPicture(canvas), 'A', 200, 300), 0);
}

TEST_F(TextTest, OtherTextureUnitsAreSwitchedOff) {
  // A texture of one transparent texel on a higher unit would multiply the
  // glyph away if text drawing left that unit on.
  GLuint blank = 0;
  const unsigned char texel[4] = {0, 0, 0, 0};
  glGenTextures(1, &blank);
  for (GLenum unit : {GL_TEXTURE1, GL_TEXTURE4, GL_TEXTURE7}) {
    SCOPED_TRACE(unit - GL_TEXTURE0);
    start();
    glActiveTexture(unit);
    glBindTexture(GL_TEXTURE_2D, blank);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glEnable(GL_TEXTURE_2D);
    glActiveTexture(GL_TEXTURE0);
    glColor4f(1, 1, 1, 1);
    drawText("A", 200, 300);
    EXPECT_GT(expectGlyphMatchesAtlas(readPicture(canvas), 'A', 200, 300), 0);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE0);
  }
  glDeleteTextures(1, &blank);
}

TEST_F(TextTest, WithoutTheMultitextureEntryPointTextStillDrawsOnUnitZero) {
  start();
  glColor4f(1, 1, 1, 1);
  drawText("A", 200, 300);
  const Picture normal = readPicture(canvas);

  const PFNGLACTIVETEXTUREARBPROC saved = glActiveTextureARB;
  glActiveTextureARB = nullptr;
  start();
  glColor4f(1, 1, 1, 1);
  drawText("A", 200, 300);
  const Picture without = readPicture(canvas);
  glActiveTextureARB = saved;

  EXPECT_EQ(firstDifference(normal, without), "");
  EXPECT_GT(expectGlyphMatchesAtlas(without, 'A', 200, 300), 0);
}

}  // namespace
