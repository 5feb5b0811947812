// Any bytes as a name: cutting it into cells must neither crash nor make
// up characters, and must keep within the cells asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "render/text_cells.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte bounds the cells, as the window's width does.
  const std::size_t maxCells = data[0] == 255 ? static_cast<std::size_t>(-1) : data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<TextCell> cells;
  splitIntoCells(text, cells, maxCells);
  if (cells.size() > text.size() || cells.size() > maxCells) std::abort();
  for (const TextCell& cell : cells) {
    if (cell.kind == TextCell::Kind::atlas) {
      if (!cell.text.empty()) std::abort();
      continue;
    }
    if (cell.text.empty() || cell.text.size() > kMaxCellCharacters) std::abort();
    for (char32_t c : cell.text)
      if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) std::abort();
  }
  return 0;
}
