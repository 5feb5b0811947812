// Shaping and reading order without a display: the bidirectional levels
// against Unicode's own test file, what the shaper chose for a few names,
// and how layOutCells() orders the cells of a line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "render/bidi_order.h"
#include "render/text_cells.h"
#include "render/text_shaping.h"
#include "tests/support/support.h"

namespace {

std::vector<std::string> fieldsOf(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, separator);) fields.push_back(field);
  return fields;
}

std::vector<std::string> wordsOf(const std::string& text) {
  std::vector<std::string> words;
  std::stringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Every line of BidiCharacterTest.txt (its path in
// ORCHARD_BIDI_CHARACTER_TEST) with a left-to-right paragraph: the
// levels, and the visual order of the characters that keep a level.
TEST(BidiOrder, UnicodeBidiCharacterTestLeftToRightLines) {
  const char* path = std::getenv("ORCHARD_BIDI_CHARACTER_TEST");
  ASSERT_NE(path, nullptr) << "set ORCHARD_BIDI_CHARACTER_TEST to BidiCharacterTest.txt";
  std::stringstream file(testing_support::readFile(path));
  std::size_t checked = 0, failed = 0;
  int lineNumber = 0;
  for (std::string line; std::getline(file, line);) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> f = fieldsOf(line, ';');
    if (f.size() < 5 || f[1] != "0") continue;
    std::u32string text;
    for (const std::string& hex : wordsOf(f[0])) text.push_back(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
    const std::vector<std::string> expectedLevels = wordsOf(f[3]), expectedOrder = wordsOf(f[4]);
    std::vector<unsigned char> levels;
    ++checked;
    bool same = resolveLevels(text, levels) && levels.size() == expectedLevels.size();
    // The characters rule X9 removes ("x") take no part in the order.
    std::vector<unsigned char> kept;
    std::vector<std::size_t> keptIndex;
    for (std::size_t i = 0; same && i < levels.size(); ++i) {
      if (expectedLevels[i] == "x") continue;
      same = std::stoi(expectedLevels[i]) == levels[i];
      kept.push_back(levels[i]);
      keptIndex.push_back(i);
    }
    std::vector<std::size_t> order;
    visualOrder(kept, order);
    same = same && order.size() == expectedOrder.size();
    for (std::size_t k = 0; same && k < order.size(); ++k)
      same = std::to_string(keptIndex[order[k]]) == expectedOrder[k];
    if (!same && ++failed <= 5) ADD_FAILURE() << "line " << lineNumber << ": " << line;
  }
  EXPECT_GT(checked, 0u) << "no left-to-right lines in " << path;
  EXPECT_EQ(failed, 0u) << "of " << checked << " lines";
}

// What the shaper chose: ligatures and conjuncts take fewer glyphs than
// characters; emoji sequences are one glyph only when the font forms them.
TEST(TextShaping, TheShaperJoinsWhatTheScriptJoins) {
  struct Row {
    const char* what;
    std::u32string text;
    bool rightToLeft, emoji;
    bool shaped;
    std::size_t maxGlyphs;  // when shaped
  };
  const Row rows[] = {
      {"lam-alef ligature", U"\u0644\u0627", true, false, true, 1},
      {"Devanagari conjunct sa-virama-ta", U"\u0938\u094D\u0924", false, false, true, 2},
      {"French flag", U"\U0001F1EB\U0001F1F7", false, true, true, 1},
      {"family ZWJ sequence", U"\U0001F468\u200D\U0001F469\u200D\U0001F467", false, true, true, 1},
      {"keycap one", U"1\uFE0F\u20E3", false, true, true, 1},
      {"thumbs up, medium skin tone", U"\U0001F44D\U0001F3FD", false, true, true, 1},
      {"flag of England, a tag sequence", U"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F",
       false, true, true, 1},
      {"two teeth joined: no such emoji", U"\U0001F9B7\u200D\U0001F9B7", false, true, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const ShapedRun run = shapeRun(row.text, row.rightToLeft, row.emoji);
    ASSERT_EQ(run.shaped, row.shaped);
    if (!row.shaped) continue;
    EXPECT_LE(run.glyphs.size(), row.maxGlyphs);
    EXPECT_LT(run.glyphs.size(), row.text.size());
    EXPECT_GE(run.cells, 1);
    if (row.emoji) {
      EXPECT_EQ(run.cells, 1);
    }
    // The ligature is none of its letters' own glyphs.
    for (char32_t c : row.text) {
      const ShapedRun alone = shapeRun(std::u32string(1, c), row.rightToLeft, false);
      if (alone.shaped && alone.glyphs.size() == 1 && row.maxGlyphs == 1) {
        EXPECT_NE(alone.glyphs[0].index, run.glyphs[0].index) << std::hex << static_cast<unsigned>(c);
      }
    }
  }
}

std::string describe(const std::vector<TextCell>& cells) {
  std::string out;
  for (const TextCell& cell : cells) {
    if (!out.empty()) out += ' ';
    switch (cell.kind) {
      case TextCell::Kind::atlas: out += cell.byte == ' ' ? '_' : static_cast<char>(cell.byte); continue;
      case TextCell::Kind::invisible: out += "i"; break;
      case TextCell::Kind::glyph: out += "g"; break;
      case TextCell::Kind::slice: out += (cell.emoji ? "e" : "s") + std::to_string(cell.slice); continue;
      case TextCell::Kind::pending: out += "p"; continue;
    }
    std::ostringstream hex;
    hex << std::hex << std::uppercase;
    for (char32_t c : cell.text) hex << ":" << static_cast<unsigned long>(c);
    out += hex.str();
  }
  return out;
}

// Cells in the order they show: right-to-left parts turned round, never
// across an explicit control, the prefix or a directory's brackets.
TEST(TextShaping, CellsShowInReadingOrder) {
  struct Row {
    const char* what;
    std::string text;
    std::size_t nameBegin, nameEnd;  // nameEnd 0: to the end
    std::string cells;
  };
  const Row rows[] = {
      {"Hebrew turns round", "\xD7\x90\xD7\x91\xD7\x92", 0, 0, "g:5D2 g:5D1 g:5D0"},
      {"numbers in Hebrew keep their order", "ab \xD7\x90\xD7\x91 12", 0, 0, "a b _ 1 2 _ g:5D1 g:5D0"},
      {"brackets mirror in a right-to-left run", "\xD7\x90(\xD7\x91)", 0, 0, "( g:5D1 ) g:5D0"},
      {"right-to-left override shown, never applied", "photo\xE2\x80\xAEgpj.exe", 0, 0,
       "p h o t o i:202E g p j . e x e"},
      {"a mark between two Hebrew letters parts them", "\xD7\x90\xE2\x80\x8E\xD7\x91", 0, 0,
       "g:5D0 i:200E g:5D1"},
      {"an isolate parts them too", "\xD7\x90\xE2\x81\xA7\xD7\x91\xE2\x81\xA9", 0, 0, "g:5D0 i:2067 g:5D1 i:2069"},
      {"so does a paragraph separator", "\xD7\x90\xE2\x80\xA9\xD7\x91", 0, 0, "g:5D0 i:2029 g:5D1"},
      {"prefix and directory brackets stay", "* [\xD7\x90\xD7\x91]", 3, 7, "* _ [ g:5D1 g:5D0 ]"},
      {"a ZWJ between letters keeps its cell", "a\xE2\x80\x8D" "b", 0, 0, "a i:200D b"},
      {"a ZWJ after a Hebrew letter keeps its cell", "\xD7\x90\xE2\x80\x8D\xD7\x91", 0, 0, "g:5D1 i:200D g:5D0"},
      {"lam-alef: one run of slices", "\xD9\x84\xD8\xA7", 0, 0, "s0"},
      {"family: one picture", "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7.txt", 0, 0,
       "e0 . t x t"},
      {"flag", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 0, 0, "e0"},
      {"keycap", "1\xEF\xB8\x8F\xE2\x83\xA3", 0, 0, "e0"},
      {"a stored dotted circle makes no keycap", "1\xEF\xB8\x8F\xE2\x97\x8C\xE2\x83\xA3", 0, 0,
       "1 i:FE0F g:25CC:20E3"},
      {"flag of Wales", "\xF0\x9F\x8F\xB4\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xB7\xF3\xA0\x81\xAC\xF3\xA0\x81\xB3\xF3\xA0\x81\xBF",
       0, 0, "e0"},
      {"tags no recommended flag has keep their marks",
       "\xF0\x9F\x8F\xB4\xF3\xA0\x81\xB1\xF3\xA0\x81\xB1\xF3\xA0\x81\xBF", 0, 0, "g:1F3F4 i:E0071 i:E0071 i:E007F"},
      {"an emoji sequence never takes in the prefix", "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 4, 0,
       "g:1F1EB g:1F1F7"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<TextCell> cells;
    splitIntoCells(row.text, cells);
    layOutCells(cells, planNow, row.nameBegin, row.nameEnd == 0 ? row.text.size() : row.nameEnd);
    EXPECT_EQ(describe(cells), row.cells);
  }
}

}  // namespace
