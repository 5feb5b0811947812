// The browser frame on a real OpenGL context, checked on read-back pixels.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "render/browser_view.h"
#include "render/browser_view_internal.h"
#include "render/text.h"
#include "tests/render/gl_canvas.h"

namespace {

bool near(Rgba p, int r, int g, int b, int tolerance) {
  return std::abs(p.r - r) <= tolerance && std::abs(p.g - g) <= tolerance && std::abs(p.b - b) <= tolerance;
}
bool isRed(Rgba p) { return p.r >= 200 && p.g <= 60 && p.b <= 60; }
bool isWhite(Rgba p) { return p.r >= 200 && p.g >= 200 && p.b >= 200; }
bool isCyan(Rgba p) { return p.r <= 60 && p.g >= 200 && p.b >= 200; }

BrowserState stateWith(int entries, int32_t selection, float width, float height) {
  BrowserState s;
  s.currentDirectory = "/home/ada/projects/orchard.menu";
  s.viewWidth = width;
  s.viewHeight = height;
  s.selection = selection;
  for (int i = 0; i < entries; ++i) {
    const std::string n = std::to_string(i);
    // Directories, marks, blanks, quotes and bytes above 0x7F, as the
    // browser shows them.
    switch (i % 4) {
      case 0: s.displayLines.push_back("  [folder " + n + "]"); break;
      case 1: s.displayLines.push_back("* marked_" + n + ".txt"); break;
      case 2: s.displayLines.push_back("  caf\xE9 \"" + n + "\"\t\xC1\xFF"); break;
      default: s.displayLines.push_back("  x" + n); break;
    }
    s.entryNames.push_back("entry" + n);
  }
  return s;
}

class BrowserViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!openGlContext(why)) GTEST_SKIP() << why;
  }
};

TEST_F(BrowserViewTest, GradientBandRunsFromColourAToColourBAcrossItsWidth) {
  Canvas canvas = makeCanvas(100, 200);
  startFrame(canvas, 100, 200);
  const float red[4] = {1, 0, 0, 1}, blue[4] = {0, 0, 1, 1};
  glEnable(GL_TEXTURE_2D);
  drawGradientBand(red, blue, 150, 50, 60);
  const Picture p = readPicture(canvas);
  EXPECT_TRUE(near(p.at(10, 149), 255, 0, 0, 4));
  EXPECT_TRUE(near(p.at(59, 50), 0, 0, 255, 4));
  EXPECT_TRUE(near(p.at(30, 100), 128, 0, 128, 4));
  EXPECT_TRUE(near(p.at(60, 100), 26, 51, 77, 1)) << "past the width";
  EXPECT_TRUE(near(p.at(10, 150), 26, 51, 77, 1)) << "above yA";
  EXPECT_TRUE(near(p.at(10, 49), 26, 51, 77, 1)) << "below yB";
  freeCanvas(canvas);
}

// The list as the plain loop draws it: the marker and the line of every
// entry, however far outside the window.
void drawEveryLine(const BrowserState& state, float anchor) {
  for (std::size_t i = 0; i < state.entryNames.size(); ++i) {
    drawMarker(anchor);
    drawLine(state, i, anchor);
  }
}

// The list drawn around the anchor a test gives rather than the one the
// frame computes.
float givenAnchor = 0;
void drawEveryLineAroundGivenAnchor(const BrowserState& state, float) {
  drawEveryLine(state, givenAnchor);
}

// Where the ink of one frame lies, line by line; the frame is, pixel for
// pixel, the list drawn around the row's anchor.
TEST_F(BrowserViewTest, FramePlacesTheListAroundTheAnchor) {
  struct Row {
    const char* name;
    float height;
    int entries;
    int32_t selection;
    int anchor;             // y of the selected line and the marker
    int red;                // y of the red line's cell; INT_MIN for none
    std::vector<int> white; // y of the other lines' cells
  };
  const Row rows[] = {
      {"three entries, the middle one selected", 1080, 3, 1, 520, 520, {552, 488}},
      {"first selected: nothing above the anchor", 1080, 3, 0, 520, 520, {488, 456}},
      {"selection past the end", 1080, 3, 5, 520, INT_MIN, {680, 648, 616}},
      {"selection before the start", 1080, 3, -2, 520, INT_MIN, {456, 424, 392}},
      {"no entries: no marker", 1080, 0, 2, 520, INT_MIN, {}},
      {"odd height", 1081, 3, 1, 520, 520, {552, 488}},
      {"short window, lines run out at the bottom", 200, 6, 0, 80, 80, {48, 16, -16, -48, -80}},
      {"lines under the title bar are covered", 200, 6, 5, 80, 80, {112, 144, 176, 208, 240}},
      {"the bar covers a window 25 high", 25, 3, 0, -7, INT_MIN, {}},
      {"39 high: half the height less 20 rounds toward zero", 39, 3, 0, 0, 0, {-32, -64}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const int w = 1920, h = static_cast<int>(row.height);
    const BrowserState state = stateWith(row.entries, row.selection, w, row.height);
    Canvas canvas = makeCanvas(w, h);
    startFrame(canvas, w, row.height);
    drawBrowser(state);
    const Picture p = readPicture(canvas);
    givenAnchor = static_cast<float>(row.anchor);
    startFrame(canvas, w, row.height);
    drawBrowserFrame(state, drawEveryLineAroundGivenAnchor);
    EXPECT_EQ(firstDifference(readPicture(canvas), p), "") << "not drawn around y " << row.anchor;
    freeCanvas(canvas);

    const int barBottom = h - 32;
    auto inCell = [](int y, int cell) { return y >= cell && y < cell + 32; };
    int redCount = 0, markerCount = 0, cyanCount = 0;
    std::vector<int> whiteCount(row.white.size(), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const Rgba px = p.at(x, y);
        if (isCyan(px)) {
          ++cyanCount;
          EXPECT_GE(y, barBottom) << "title ink at " << x << "," << y;
        }
        if (y >= barBottom) {
          EXPECT_FALSE(isRed(px) || isWhite(px)) << "list ink over the bar at " << x << "," << y;
          continue;
        }
        if (isRed(px)) {
          ++redCount;
          EXPECT_TRUE(row.red != INT_MIN && inCell(y, row.red) && x >= 32) << "red at " << x << "," << y;
        }
        if (!isWhite(px)) continue;
        if (x < 32) {
          ++markerCount;
          EXPECT_TRUE(inCell(y, row.anchor)) << "marker ink at " << x << "," << y;
          continue;
        }
        bool placed = false;
        for (size_t i = 0; i < row.white.size(); ++i)
          if (inCell(y, row.white[i])) {
            ++whiteCount[i];
            placed = true;
          }
        EXPECT_TRUE(placed) << "white at " << x << "," << y;
      }
    EXPECT_EQ(redCount > 0, row.red != INT_MIN);
    EXPECT_EQ(markerCount > 0, row.entries > 0 && row.anchor < barBottom);
    EXPECT_GT(cyanCount, 0) << "no title";
    for (size_t i = 0; i < row.white.size(); ++i) {
      if (row.white[i] >= 0 && row.white[i] + 32 <= barBottom) {
        EXPECT_GT(whiteCount[i], 0) << "line at " << row.white[i] << " missing";
      }
    }
    // The bar, away from the title; the background fades to black.
    EXPECT_TRUE(near(p.at(w - 10, h - 10), 0, 26, 51, 1));
    if (h > 64) {
      EXPECT_TRUE(near(p.at(w - 10, 0), 0, 0, 0, 1));
    }
  }
}

void setLine(BrowserState& s, int index, const std::string& text) {
  std::vector<std::string> lines(s.displayLines.begin(), s.displayLines.end());
  lines[static_cast<size_t>(index)] = text;
  s.displayLines = zub::StringList(lines);
}

// Line feeds and carriage returns draw their own cells (arrows) on the
// entry's row. Each row draws one frame with `text` as entry `line`'s
// display line (or, for line -1, as the title) and one with its line feeds
// and carriage returns made blanks: the two may differ only inside those
// cells, where the first shows the line's colour, so no neighbouring row,
// nor any later cell of the same line, moves or is overdrawn.
TEST_F(BrowserViewTest, LineFeedAndCarriageReturnShowAsCellsOnTheirOwnRow) {
  struct Row {
    const char* what;
    int line;  // -1: the title
    std::string text;
  };
  const int32_t selection = 2;
  const Row rows[] = {
      {"a name over the selected entry below it", 1, "  nl\n[Documents]"},
      {"the selected entry over the one below", 2, "  nl\n[Documents]"},
      {"carriage return back over the name's start", 3, "* secret\r  other"},
      {"line feed last, CR LF, and one first", 0, "  \nx\r\n y\n"},
      {"the title over the list", -1, "/home/ada/nl\n[Documents]"},
      {"the title's carriage return", -1, "/home/ada\r/etc"},
  };
  const int w = 640, h = 400;
  const int anchor = static_cast<int>(anchorLine(h));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto frameWith = [&](const std::string& text) {
      BrowserState s = stateWith(5, selection, w, h);
      if (row.line < 0)
        s.currentDirectory = text;
      else
        setLine(s, row.line, text);
      Canvas canvas = makeCanvas(w, h);
      startFrame(canvas, w, h);
      drawBrowser(s);
      const Picture p = readPicture(canvas);
      freeCanvas(canvas);
      return p;
    };
    std::string blanked = row.text;
    std::vector<int> cells;  // x of each line feed's or carriage return's cell
    const int x0 = row.line < 0 ? 0 : 32;
    for (size_t c = 0; c < blanked.size(); ++c)
      if (blanked[c] == '\n' || blanked[c] == '\r') {
        blanked[c] = ' ';
        cells.push_back(x0 + 32 * static_cast<int>(c));
      }
    const int y = row.line < 0 ? h - 32 : anchor + 32 * (selection - row.line);
    const Picture drawn = frameWith(row.text);
    const Picture blank = frameWith(blanked);

    const auto ink = row.line < 0 ? isCyan : row.line == selection ? isRed : isWhite;
    // Which cell, shadow and a pixel to spare included, holds a pixel; -1
    // for none.
    const auto cellAt = [&](int px, int py) {
      for (size_t k = 0; k < cells.size(); ++k)
        if (px >= cells[k] - 2 && px < cells[k] + 34 && py >= y - 2 && py < y + 34) return static_cast<int>(k);
      return -1;
    };
    std::vector<int> inked(cells.size(), 0);
    int moved = 0, blankInk = 0;
    std::string firstMoved;
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        const Rgba a = drawn.at(px, py), b = blank.at(px, py);
        const int cell = cellAt(px, py);
        if (cell >= 0) {
          inked[static_cast<size_t>(cell)] += ink(a);
          blankInk += ink(b);
        } else if ((a.r != b.r || a.g != b.g || a.b != b.b) && moved++ == 0) {
          firstMoved = std::to_string(px) + "," + std::to_string(py);
        }
      }
    EXPECT_EQ(moved, 0) << "pixels outside the cells changed, the first at " << firstMoved;
    EXPECT_EQ(blankInk, 0);
    for (size_t k = 0; k < cells.size(); ++k) EXPECT_GT(inked[k], 20) << "no cell shown at x " << cells[k];
  }
}

// A change for the table below: entry `index` shows "0top" and 45 line
// feeds with numbers, 46 rows' worth were line feeds to break the line.
std::function<void(BrowserState&)> withRowsBelow(int index) {
  return [index](BrowserState& s) {
    std::string line = "  0top";
    for (int row = 1; row <= 45; ++row) line += "\n" + std::to_string(row);
    setLine(s, index, line);
  };
}

// The frame with only the visible lines sent must be the frame with every
// line sent, to the last pixel: the marker's repeated passes included.
// Each row is one frame drawn both ways; `change`, when set, adjusts the
// state (e.g. its lines) before drawing.
TEST_F(BrowserViewTest, SendingOnlyVisibleLinesChangesNoPixel) {
  struct Row {
    const char* what;
    float height;
    int entries;
    int32_t selection;
    std::function<void(BrowserState&)> change;
  };
  // Long lists leave well over kMarkerSettlePasses lines hidden on a side.
  const int n = 6 * static_cast<int>(kMarkerSettlePasses);
  const Row rows[] = {
      {"long list, cut above and below", 1080, n, n / 2, nullptr},
      {"first selected", 1080, n, 0, nullptr},
      {"last selected", 1080, n, n - 1, nullptr},
      {"selection far before the list", 1080, n, -300, nullptr},
      {"selection past the end", 1080, n, n + 5, nullptr},
      {"smallest selection", 1080, n, INT32_MIN, nullptr},
      {"largest selection", 1080, n, INT32_MAX, nullptr},
      {"odd height, few lines hidden above", 1081, n, 17, nullptr},
      {"hidden lines near the settle count on both sides", 100, 131, 65, nullptr},
      {"short window", 60, n, n / 2, nullptr},
      {"the title bar covers the window", 25, n, 0, nullptr},
      {"the whole list shows", 1080, 20, 19, nullptr},
      {"one entry", 1080, 1, 0, nullptr},
      {"no entries", 1080, 0, 0, nullptr},
      // Names full of line feeds above the window: nothing of them shows.
      {"rows of a name that starts above the window", 1080, 41, 40, withRowsBelow(0)},
      {"rows of a name above a long list's end", 1080, n, n - 1, withRowsBelow(n - 41)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.what << ": height " << row.height << ", " << row.entries
                                    << " entries, selection " << row.selection);
    const int h = static_cast<int>(row.height);
    BrowserState s = stateWith(row.entries, row.selection, 1920, row.height);
    if (row.change) row.change(s);
    Canvas canvas = makeCanvas(1920, h);
    startFrame(canvas, 1920, row.height);
    drawBrowserFrame(s, drawEveryLine);
    const Picture every = readPicture(canvas);
    startFrame(canvas, 1920, row.height);
    drawBrowser(s);
    const Picture visible = readPicture(canvas);
    freeCanvas(canvas);
    EXPECT_EQ(firstDifference(every, visible), "");
  }
}

}  // namespace
