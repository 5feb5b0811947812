// Any bytes as a file name, through what the window does with it short of
// the upload: cut into the cells a window row shows, each cell's fonts
// found through the system's font lookup (fontconfig, the machine's own
// fonts) and opened with FreeType, the cell rasterised. Fonts opened for
// one name stay open for the next, as in the program. No name may crash
// it, and no cell may come out blank.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "render/glyph_raster.h"
#include "render/text_cells.h"

namespace {

// The cells of one row of the 1920-pixel window.
constexpr std::size_t kCellsInARow = 1920 / 32;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view name(reinterpret_cast<const char*>(data), size);
  std::vector<TextCell> cells;
  splitIntoCells(name, cells, kCellsInARow);
  unsigned char rgba[kCellPixels * kCellPixels * 4];
  for (const TextCell& cell : cells) {
    if (cell.kind == TextCell::Kind::atlas) continue;
    rasteriseCell(cell, rgba);
    bool ink = false;
    for (std::size_t i = 3; i < sizeof rgba && !ink; i += 4) ink = rgba[i] != 0;
    if (!ink) std::abort();
  }
  return 0;
}
