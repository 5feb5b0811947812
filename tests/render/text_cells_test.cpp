// Cutting names into cells: the UTF-8 decoder and what shares a cell.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/text_cells.h"

namespace {

TEST(TextCells, OnlyWellFormedSequencesDecode) {
  struct Row {
    const char* what;
    std::string bytes;
    std::size_t length;  // 0: not well-formed at its first byte
    char32_t codePoint;
  };
  const Row rows[] = {
      {"two bytes", "\xC3\xA9", 2, 0xE9},
      {"three bytes", "\xE6\x97\xA5", 3, 0x65E5},
      {"four bytes", "\xF0\x9F\x98\x80", 4, 0x1F600},
      {"the last code point", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"ASCII is the atlas's", "A", 0, 0},
      {"overlong two bytes", "\xC1\x81", 0, 0},
      {"overlong NUL", "\xC0\x80", 0, 0},
      {"overlong three bytes", "\xE0\x9F\xBF", 0, 0},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", 0, 0},
      {"surrogate", "\xED\xA0\x80", 0, 0},
      {"last surrogate", "\xED\xBF\xBF", 0, 0},
      {"above U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
      {"lead byte beyond F4", "\xF5\x80\x80\x80", 0, 0},
      {"truncated three", "\xE6\x97", 0, 0},
      {"truncated four", "\xF0\x9F\x98", 0, 0},
      {"continuation alone", "\x80", 0, 0},
      {"second byte not a continuation", "\xC3(", 0, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    char32_t c = 0;
    EXPECT_EQ(decodeUtf8(row.bytes.data(), row.bytes.size(), 0, c), row.length);
    if (row.length != 0) {
      EXPECT_EQ(c, row.codePoint);
    }
  }
}

std::string describe(const std::vector<TextCell>& cells) {
  std::string out;
  for (const TextCell& cell : cells) {
    if (!out.empty()) out += ' ';
    if (cell.kind == TextCell::Kind::atlas) {
      out += "b" + std::to_string(cell.byte);
      continue;
    }
    out += cell.kind == TextCell::Kind::invisible ? "i" : cell.emoji ? "e" : "g";
    for (char32_t c : cell.text) out += ":" + std::to_string(static_cast<unsigned long>(c));
  }
  return out;
}

std::string repeat(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

TEST(TextCells, OneCellPerCharacterMarksJoinInvisiblesStandAlone) {
  struct Row {
    const char* what;
    std::string text;
    std::string cells;
    std::size_t maxCells = static_cast<std::size_t>(-1);
  };
  const Row rows[] = {
      {"ASCII and a broken sequence: atlas cells", "a\xE6\x97\n", "b97 b230 b151 b10"},
      {"decomposed e and acute compose", "e\xCC\x81x", "g:233 b120"},
      {"composed and decomposed agree", "\xC3\xA9x", "g:233 b120"},
      {"marks reordered before composing", "a\xCC\x81\xCC\xA3", "g:7841:769"},
      {"a mark whose decomposition never composes stays", "?\xCD\x84\xCD\x84", "g:63:836:836"},
      {"a mark after a line feed stands on a dotted circle", "\n\xCC\x81", "b10 g:9676:769"},
      {"a mark after DEL stands on a dotted circle", "\x7F\xCC\x81", "b127 g:9676:769"},
      {"a mark first in a name stands on a dotted circle", "\xCC\xA3x", "g:9676:803 b120"},
      {"no more than eight code points a cell", "a" + repeat("\xCC\x81", 9),
       "g:225" + repeat(":769", 6) + " g:9676:769:769"},
      {"a long stack: cells of a dotted circle and seven marks", "a" + repeat("\xCC\x81", 40),
       "g:225" + repeat(":769", 6) + repeat(" g:9676" + repeat(":769", 7), 4) + " g:9676" + repeat(":769", 5)},
      {"two marks of one class: the second is blocked", "a\xCC\x85\xCC\x81", "g:97:773:769"},
      {"wide characters one cell each", "\xE6\x97\xA5\xE6\x9C\xAC", "g:26085 g:26412"},
      {"Hangul jamo join into a syllable", "\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", "g:54620"},
      {"a syllable and a final jamo make one syllable", "\xEA\xB0\x80\xE1\x86\xA8", "g:44033"},
      {"emoji by default", "\xF0\x9F\x98\x80", "e:128512"},
      {"U+FE0F asks for the emoji form", "\xE2\x9D\xA4\xEF\xB8\x8F", "e:10084"},
      {"U+FE0E keeps the text form", "\xE2\x9D\xA4\xEF\xB8\x8E", "g:10084"},
      {"U+FE0E turns an emoji (watch) into text", "\xE2\x8C\x9A\xEF\xB8\x8E", "g:8986"},
      {"a variation selector with nothing to vary", "a\xEF\xB8\x8F", "b97 i:65039"},
      {"a second selector", "\xE2\x9D\xA4\xEF\xB8\x8F\xEF\xB8\x8E", "e:10084 i:65038"},
      {"zero-width space, joiner, BOM, RLO, NBSP, C1", "\xE2\x80\x8B\xE2\x80\x8D\xEF\xBB\xBF\xE2\x80\xAE\xC2\xA0\xC2\x85",
       "i:8203 i:8205 i:65279 i:8238 i:160 i:133"},
      {"a mark after an invisible stands on a dotted circle", "\xE2\x80\x8B\xCC\x81", "i:8203 g:9676:769"},
      {"no more than the cells that show", "abc\xCC\x81\xE6\x97\xA5", "b97 b98 g:263", 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<TextCell> cells;
    splitIntoCells(row.text, cells, row.maxCells);
    EXPECT_EQ(describe(cells), row.cells);
  }
}

}  // namespace
