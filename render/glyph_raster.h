// The picture of one cell of a name that the built-in atlas cannot draw:
// a character (with the marks over it) from the system's fonts, in the
// atlas's look, or a visible mark in its place.
#pragma once

#include "render/text_cells.h"

// Cells are this many pixels square on the screen, and rasterised so.
constexpr int kCellPixels = 32;

// Paints `cell` (a glyph or invisible cell) into `rgba`, kCellPixels x
// kCellPixels RGBA texels, bottom row first, colour not premultiplied.
// Outline glyphs are white with their ink in alpha, bold sans, on the
// atlas's baseline (4 pixels above the bottom) and capital height (24);
// colour glyphs keep their colours. An invisible character, a character no
// installed font has and one whose glyph has no ink draw the code point's
// hexadecimal digits in a box (dashed for invisible ones): never a blank.
// Fonts are found through systemFaceFor() and opened once; works without
// a graphics context. Not thread-safe, and may block on a font file: the
// program calls it on the font worker only (font_worker.h).
void rasteriseCell(const TextCell& cell, unsigned char* rgba);
