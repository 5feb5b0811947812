// Names in every script drawn through the program's window and read back
// from the screen. Line i of the list (".", "..", then the names in byte
// order; the selected line 2 on the anchor line) and cell k of a name
// (after the two prefix cells) are found relative to the window, so the
// same rows read the Linux window and the Windows one under wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/app/browser_session.h"

using namespace testing_support;

namespace {

constexpr int kCell = 32;
constexpr int kNamesLeft = 96;
// Far enough right for every cell a row reads: a word's ".txt" may start
// as late as cell 7.
constexpr int kCellsRead = 12;

// Screen row of the top of line `line`: the anchor line's bottom is
// height / 2 - 20 up from the window's bottom, as the program lays it out.
int lineTop(const Place& w, int line) {
  const int anchor = static_cast<int>(static_cast<float>(w.height) * 0.5f - 20.0f);
  return w.top + w.height - anchor - kCell + kCell * (line - 2);
}

int cellLeft(const Place& w, int cell) { return w.left + kNamesLeft + kCell * cell; }

// Only the red channel counts: text is white or red, the background and
// the shadow have no red, so a glyph reads the same on every line,
// selected or not.
int redAt(const Screenshot& shot, int x, int y) {
  int r = -1, g = 0, b = 0;
  return shot.pixel(x, y, r, g, b) ? r : -1;
}

// Whether `count` cells from cell `first` of line `line` show the same
// red as those from cell `refFirst` of line `refLine`; false where the
// screenshot does not reach.
bool sameCells(const Screenshot& shot, const Place& w, int line, int first, int count,
               int refLine, int refFirst) {
  for (int y = 0; y < kCell; ++y) {
    for (int x = 0; x < kCell * count; ++x) {
      const int red = redAt(shot, cellLeft(w, first) + x, lineTop(w, line) + y);
      if (red < 0 || red != redAt(shot, cellLeft(w, refFirst) + x, lineTop(w, refLine) + y))
        return false;
    }
  }
  return true;
}

// Whether the `width` pixel columns of line `line` from screen column
// `left` hold ink: a pixel more than half red.
bool inkIn(const Screenshot& shot, const Place& w, int line, int left, int width) {
  for (int y = lineTop(w, line); y < lineTop(w, line) + kCell; ++y)
    for (int x = left; x < left + width; ++x)
      if (redAt(shot, x, y) > 128) return true;
  return false;
}

bool cellHasInk(const Screenshot& shot, const Place& w, int line, int cell) {
  return inkIn(shot, w, line, cellLeft(w, cell), kCell);
}

// Ink on both sides of the left edge of cell `cell`, as joined letters and
// a head stroke have.
bool edgeHasInk(const Screenshot& shot, const Place& w, int line, int cell) {
  return inkIn(shot, w, line, cellLeft(w, cell) - 1, 2);
}

// The cells a word starting in cell 1 of line `line` takes before ".txt",
// found by line 2's ("aXb.txt") cells 3 to 6; 0 when ".txt" is not found.
int wordCells(const Screenshot& shot, const Place& w, int line) {
  for (int k = 1; k <= 6; ++k)
    if (sameCells(shot, w, line, 1 + k, 4, 2, 3)) return k;
  return 0;
}

// Line `line` holds one thing under test in cell 1 that takes one cell and
// has ink: "b.txt" then starts in cell 2, as on line 2, "aXb.txt".
struct OneCellRow {
  int line;
  std::string name;
  const char* what;
};

// `count` cells from cell `first` of line `line` draw as those from cell
// `refFirst` of line `refLine`.
struct SameRow {
  int line, first, count, refLine, refFirst;
  const char* what;
};

// A word between an ASCII letter and ".txt" on line `line` takes `least`
// to `most` cells, its ink running on across its cells' edges as joined
// letters and a head stroke do.
struct WordRow {
  int line, least, most;
  const char* what;
};

struct Scenario {
  const char* testName;
  const char* what;
  std::vector<OneCellRow> oneCell;
  std::vector<std::string> otherNames;  // the words of `words`, then names for the eye
  std::vector<SameRow> same;
  std::vector<WordRow> words;
};

// What holds in any of the test fonts (see useTestFonts and the fonts
// tests/windows/wine_run.sh puts into the prefix: DejaVu Sans Bold, Noto
// Sans CJK Bold, the Noto Sans Bold faces for Arabic, Hebrew and
// Devanagari, and the emoji font): the one-cell things take one cell, a
// character no font has its placeholder; the Hebrew word shows its last
// letter first, each letter drawn as it is alone; the Arabic word takes
// fewer cells than its five letters; the Arabic and the Hindi word's ink
// runs on across the cells they span.
const Scenario kScenarios[] = {
    {"Drawn", "names drawn",
     {{3, "b日b.txt", "a CJK character"},
      {4, "c\U0001F600b.txt", "an emoji"},
      {5, "d\U0010FFFDb.txt", "a character no font has"},
      {6, "fДb.txt", "a Cyrillic letter"},
      {7, "g\u200Bb.txt", "a zero-width space"},
      {8, "he\u0301b.txt", "e and a combining acute"},
      {9, "i\u00E9b.txt", "\u00E9"}},
     {"école.txt", "Ελληνικά.txt", "Документы.odt", "עברית.txt", "العربية.txt", "日本語.txt",
      "资料.xlsx", "한국어.txt", "\U0001F600 party.txt"},
     {{8, 1, 1, 9, 1, "e and a combining acute draw as \u00E9"}},
     {}},
    {"Shaped", "names shaped",
     {{3, "b\U0001F1EB\U0001F1F7b.txt", "a flag"},
      {4, "c\U0001F468\u200D\U0001F469\u200D\U0001F467b.txt", "a family joined by ZWJs"},
      {5, "d1\uFE0F\u20E3b.txt", "a keycap"},
      {6, "e\U0001F44D\U0001F3FDb.txt", "a thumbs-up with a skin tone"},
      {7, "f\u0644\u0627b.txt", "lam and alef"},
      {8, "g\u05DDb.txt", "the Hebrew letter final mem"},
      {9, "h\u05E9b.txt", "the Hebrew letter shin"}},
     // None of the names for the eye starts before "l": the lines above stay.
     {"i\u05E9\u05DC\u05D5\u05DD.txt", "j\u062A\u062D\u0645\u064A\u0644.txt",
      "k\u0928\u092E\u0938\u094D\u0924\u0947.txt", "report שלום עולם 2024 (final).txt",
      "مرحبا بالعالم", "שלום עולם", "नमस्ते दुनिया",
      "\U0001F468\u200D\U0001F469\u200D\U0001F467 family.txt", "\U0001F1EB\U0001F1F7 flag.txt",
      "the 1\uFE0F\u20E3 keycap.txt", "\U0001F44D\U0001F3FD", "photo\u202Egpj.exe"},
     // שלום: ם ו ל ש from the left.
     {{10, 1, 1, 8, 1, "the Hebrew word on line 10 starts with its last letter, \u05DD"},
      {10, 4, 1, 9, 1, "the Hebrew word on line 10 ends with its first letter, \u05E9"},
      {10, 5, 4, 2, 3, "the Hebrew word on line 10 takes four cells before .txt"}},
     {{11, 1, 4, "the Arabic word (5 letters)"}, {12, 2, 6, "the Hindi word"}}},
};

void PrintTo(const Scenario& s, std::ostream* out) { *out << s.what; }

class DrawnNamesTest : public BrowserSession, public ::testing::WithParamInterface<Scenario> {
 protected:
  void SetUp() override {
    BrowserSession::SetUp();
    std::string why;
    ASSERT_TRUE(target().windows || useTestFonts(why)) << why;
  }

  // Every check of `s` on `shot`; with `report`, each one that does not
  // hold is a failure naming its row.
  bool rowsHold(const Scenario& s, const Screenshot& shot, bool report) {
    bool held = true;
    auto check = [&](bool ok, const std::string& problem) {
      held = held && ok;
      if (report) {
        EXPECT_TRUE(ok) << s.what << ": " << problem << " (" << picture << ")";
      }
    };
    for (const OneCellRow& row : s.oneCell) {
      const std::string line = "line " + std::to_string(row.line) + " (" + row.what + ")";
      check(cellHasInk(shot, rect, row.line, 1), line + " has no ink in its cell");
      check(sameCells(shot, rect, row.line, 2, 5, 2, 2),
            line + " does not take one cell: b.txt does not start one cell on");
    }
    for (const SameRow& row : s.same) {
      check(sameCells(shot, rect, row.line, row.first, row.count, row.refLine, row.refFirst),
            std::string(row.what) + ": the cells differ");
    }
    for (const WordRow& row : s.words) {
      const int cells = wordCells(shot, rect, row.line);
      const std::string word = std::string(row.what) + " on line " + std::to_string(row.line);
      check(cells >= row.least && cells <= row.most,
            word + " does not take " + std::to_string(row.least) + " to " +
                std::to_string(row.most) + " cells (.txt after " + std::to_string(cells) + ")");
      for (int k = 2; k <= cells; ++k)
        check(edgeHasInk(shot, rect, row.line, k),
              word + " has no ink across the edge of its cell " + std::to_string(k));
    }
    return held;
  }

  Place rect;
  std::string picture;
};

TEST_P(DrawnNamesTest, TakeTheirCellsInReadingOrder) {
  const Scenario& s = GetParam();
  const std::string dir = root + "/names";
  ASSERT_TRUE(makeDir(dir));
  ASSERT_TRUE(writeFile(dir + "/aXb.txt", ""));
  for (const OneCellRow& row : s.oneCell) ASSERT_TRUE(writeFile(dir + "/" + row.name, ""));
  for (const std::string& name : s.otherNames) ASSERT_TRUE(writeFile(dir + "/" + name, ""));
  startBrowser({dir});
  ASSERT_FALSE(HasFailure());
  rect = place();
  ASSERT_GT(rect.width, 0) << "where the window is cannot be read";
  // The glyphs may come in over more than one frame. Lines 2 to 12 are read.
  Screenshot shot;
  const auto grab = [&] {
    return grabRect(x, rect.left, lineTop(rect, 2), kNamesLeft + kCell * kCellsRead, kCell * 11);
  };
  if (!waitUntil([&] { return rowsHold(s, shot = grab(), false); }, std::chrono::seconds(60))) {
    // Beside the temporary folder, which goes away with the test.
    picture = root + "-failed-screen.ppm";
    writePpm(grabRect(x, rect.left, rect.top, rect.width, rect.height), picture);
    rowsHold(s, shot, true);
    return;  // as every wait of the session does once the test has failed
  }
  focus();  // fails the test when the window never gets the focus
  type({"Escape"});
  EXPECT_EQ(0, waitForBrowserExit()) << s.what << ": the program did not end cleanly";
}

INSTANTIATE_TEST_SUITE_P(Scripts, DrawnNamesTest, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.testName);
                         });

}  // namespace
