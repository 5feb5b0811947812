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
// installed font has and one whose glyph has no ink draw as
// drawCodePointBox() (dashed for invisible ones): never a blank; the marks
// of a character no font has stand over its box. A mark no font has draws
// as a small box where the mark goes, never as nothing.
// Each character comes from the first font in the system's order
// (systemFaceFor()) that really has it; fonts are opened once and stay
// open. Works without a graphics context, from any one thread at a time
// (the fonts opened so far are shared by all calls, unlocked); may block
// on a font file: the program calls it on the font worker only
// (font_worker.h).
void rasteriseCell(const TextCell& cell, unsigned char* rgba);

// Paints the placeholder of `codePoint` into `rgba` as rasteriseCell()
// does: its hexadecimal digits, four (or six, with leading zeros) in two
// rows, inside a box, dashed when `dashed`.
void drawCodePointBox(char32_t codePoint, bool dashed, unsigned char* rgba);
