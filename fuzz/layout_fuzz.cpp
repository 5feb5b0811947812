// Any bytes as a name, laid out for drawing with the system's fonts:
// shaping and reordering must neither crash nor move any cell across an
// explicit directional control, a separator or the fixed cells around the
// name, and a run's slices must stay together, in order.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "render/bidi_order.h"
#include "render/text_cells.h"
#include "render/text_shaping.h"

namespace {

bool isBarrier(const TextCell& cell, std::size_t nameBegin, std::size_t nameEnd) {
  if (cell.at < nameBegin || cell.at >= nameEnd) return true;
  if (cell.kind == TextCell::Kind::invisible) return isDirectionalControl(cell.text[0]) || isSeparator(cell.text[0]);
  return cell.kind == TextCell::Kind::atlas && cell.byte < 0x80 && isSeparator(cell.byte);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes place the name within the text, as the prefix
  // and a directory's brackets do.
  const std::string_view text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t nameBegin = data[0] % 8, nameEnd = text.size() - std::min<std::size_t>(text.size(), data[1] % 4);
  std::vector<TextCell> cells;
  splitIntoCells(text, cells);
  const std::size_t before = cells.size();
  layOutCells(cells, planNow, nameBegin, nameEnd);
  if (before > 0 && cells.empty()) std::abort();
  std::size_t lastBarrier = 0;
  bool anyBarrier = false;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const TextCell& cell = cells[i];
    if (cell.kind == TextCell::Kind::slice) {
      if (cell.text.empty()) std::abort();
      if (cell.slice > 0 && (i == 0 || cells[i - 1].kind != TextCell::Kind::slice ||
                             cells[i - 1].slice + 1 != cell.slice || cells[i - 1].text != cell.text))
        std::abort();
    }
    if (isBarrier(cell, nameBegin, nameEnd)) {
      // Barriers in stored order, and everything before this one stored
      // before it.
      if (anyBarrier && cell.at <= lastBarrier) std::abort();
      for (std::size_t k = 0; k < i; ++k)
        if (cells[k].at > cell.at) std::abort();
      lastBarrier = cell.at;
      anyBarrier = true;
    } else if (anyBarrier && cell.at < lastBarrier) {
      std::abort();
    }
  }
  return 0;
}
