// The cache texture of the cells the atlas cannot draw: each distinct cell
// (character with its marks, emoji or text form, or an invisible
// character's mark) is rasterised once, on first sight, into a slot of one
// texture. The texture has a fixed number of slots; when all are taken the
// one used longest ago is painted over. Nothing is written to disk.
// All calls need the window's OpenGL context current.
#pragma once

#include <cstddef>

#include "render/text.h"
#include "render/text_cells.h"

// The slots: a 2048 x 1024 RGBA texture (8 MiB) of 34 x 34 slots, each a
// cell's 32 x 32 texels inside an empty border.
constexpr std::size_t kGlyphCacheSlots = 60 * 30;

// The texture coordinates of `cell` (a glyph, invisible or slice cell) in the
// cache, rasterising and uploading it first when it is not there. Creates
// the texture on the first call. Leaves the cache texture bound.
GlyphEntry glyphCacheEntry(const TextCell& cell);

// The text drawing state of bindFontTexture() with the cache texture
// bound instead of the atlas.
void bindGlyphCache();

// How many cells have been rasterised since the start; for tests and
// benchmarks.
std::size_t glyphCacheRasterised();
