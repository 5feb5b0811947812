#include "render/text_cells.h"

#include "render/unicode_tables.h"

std::size_t decodeUtf8(const char* text, std::size_t length, std::size_t at, char32_t& codePoint) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char b0 = byte(at);
  std::size_t n;
  char32_t c;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2;
    c = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3;
    c = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;   // overlong below U+0800
    if (b0 == 0xED) high = 0x9F;  // surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4;
    c = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;   // overlong below U+10000
    if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (length - at < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const unsigned char b = byte(at + i);
    if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  codePoint = c;
  return n;
}

namespace {

bool isHangulLead(char32_t c) { return c >= 0x1100 && c <= 0x1112; }
bool isHangulVowel(char32_t c) { return c >= 0x1161 && c <= 0x1175; }
bool isHangulFinal(char32_t c) { return c >= 0x11A8 && c <= 0x11C2; }
bool isHangulLeadVowel(char32_t c) { return c >= 0xAC00 && c <= 0xD7A3 && (c - 0xAC00) % 28 == 0; }

// Whether `c` may join `cell`, the cell before it.
bool joins(const TextCell& cell, char32_t c) {
  if (cell.kind == TextCell::Kind::atlas) return cell.byte >= 0x20 && cell.byte < 0x7F && isCombiningMark(c);
  if (cell.kind != TextCell::Kind::glyph || cell.text.size() >= kMaxCellCharacters) return false;
  if (isCombiningMark(c)) return true;
  const char32_t last = cell.text.back();
  if (cell.text.size() == 1 && isHangulVowel(c)) return isHangulLead(last);
  if (isHangulFinal(c))
    return (cell.text.size() == 1 && isHangulLeadVowel(last)) ||
           (cell.text.size() == 2 && isHangulVowel(last) && isHangulLead(cell.text[0]));
  return false;
}

}  // namespace

void splitIntoCells(std::string_view text, std::vector<TextCell>& cells, std::size_t maxCells) {
  cells.clear();
  // Whether the last cell took a variation selector already.
  bool varied = false;
  for (std::size_t i = 0; i < text.size();) {
    char32_t c = 0;
    const std::size_t n = decodeUtf8(text.data(), text.size(), i, c);
    if (n == 0) {
      if (cells.size() >= maxCells) break;
      TextCell cell;
      cell.byte = static_cast<unsigned char>(text[i]);
      cell.at = i;
      cells.push_back(std::move(cell));
      varied = false;
      ++i;
      continue;
    }
    const std::size_t at = i;
    i += n;
    TextCell* last = cells.empty() ? nullptr : &cells.back();
    if ((c == 0xFE0E || c == 0xFE0F) && last != nullptr && last->kind == TextCell::Kind::glyph && !varied &&
        last->text.size() == 1 && hasEmojiVariation(last->text[0])) {
      last->emoji = c == 0xFE0F;
      varied = true;
      continue;
    }
    if (last != nullptr && joins(*last, c)) {
      if (last->kind == TextCell::Kind::atlas) {
        last->kind = TextCell::Kind::glyph;
        last->text.assign(1, last->byte);
      }
      last->text.push_back(c);
      continue;
    }
    if (cells.size() >= maxCells) break;
    TextCell cell;
    cell.kind = isInvisible(c) ? TextCell::Kind::invisible : TextCell::Kind::glyph;
    cell.emoji = isEmojiPresentation(c);
    // A mark with nothing to stand on would hang in its cell as a stray
    // accent or comma: it gets the dotted circle that stands for a missing
    // letter.
    if (isCombiningMark(c)) {
      cell.text.assign(1, kDottedCircle);
      cell.circled = true;
    }
    cell.text.push_back(c);
    cell.at = at;
    cells.push_back(std::move(cell));
    varied = false;
  }
  for (TextCell& cell : cells)
    if (cell.text.size() > 1) cell.text.resize(composeCanonically(&cell.text[0], cell.text.size()));
}
