// How the browser view draws names (display lines and the title): like
// drawShadowedText(), one cell per character of the UTF-8 text on one row.
#pragma once

#include <cstddef>
#include <string_view>

// `text` in black at (x + offset, y + offset), then in (red, green, blue)
// at (x, y), both with alpha 1, one row of cells from (x, y) to the right:
// - every ASCII byte, line feed and carriage return included, and every
//   byte that is not part of a well-formed UTF-8 sequence draws its atlas
//   cell exactly as drawShadowedText() draws it;
// - every other character draws in one cell from the system's fonts, with
//   the marks over it (splitIntoCells() says what shares a cell), through
//   the glyph cache; invisible characters draw a visible mark;
// - but text that needs shaping draws shaped, in whole cells, and emoji
//   sequences the emoji font forms draw in one cell; right-to-left parts
//   of bytes [nameBegin, nameEnd) show in reading order (layOutCells()),
//   and nothing outside those bytes moves.
// A cell the font worker has not painted yet draws the cache's
// placeholder (glyphCacheWaiting() then holds): this never waits for fonts.
// Cells that start at or right of `right` are not drawn (nor rasterised).
// Leaves the state of a text draw: the atlas bound, the colour (red,
// green, blue).
void drawName(std::string_view text, float red, float green, float blue, float x, float y, float offset,
              float right, std::size_t nameBegin = 0, std::size_t nameEnd = static_cast<std::size_t>(-1));
