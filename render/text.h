// Fixed-pitch text drawing with the font built into the program.
//
// Every byte draws its 32 x 32 cell of the glyph atlas and advances one
// cell to the right, except line feed, which starts a new line one cell
// lower at the text's x, and carriage return, which goes back to the
// line's start; neither draws anything. (x, y) is the lower-left corner of
// the first cell, y grows upwards. All calls need the window's OpenGL
// context current and a projection of one unit per pixel. The browser
// view draws names through drawName() (name_text.h), never these.
#pragma once

#include <cstdint>
#include <string>

// Texture coordinates (u, v) of the four corners of one atlas cell.
struct GlyphEntry {
  float topLeft[2];
  float topRight[2];
  float bottomRight[2];
  float bottomLeft[2];
};

// The atlas: 256 x 256 RGBA texels, bottom row first, 16 x 16 cells, one
// per character code; white colour channels, the ink in alpha.
extern const unsigned char fontImage[256 * 256 * 4];

extern GlyphEntry glyphTable[256];
extern bool glyphTableBuilt;
extern unsigned int fontTexture;  // 0 until the first text draw

// Fills glyphTable for every code and sets glyphTableBuilt.
void buildGlyphTable();

// Sets the text drawing state (alpha test, blending, unit 0 textured,
// units 1-7 not) and binds the atlas, uploading `image` with its mipmaps
// on the first call only.
void bindFontTexture(const unsigned char* image);

// Draws `text` (length-counted) in the current colour at (x, y), one cell
// per byte but line feed and carriage return, which move the pen.
void drawString(const std::string& text, float x, float y);

// drawString() of the zero-terminated `text`, after making sure the glyph
// table and the atlas texture exist. A null `text` draws nothing.
void drawText(const char* text, float x, float y);

// `text` in black at (x + offset, y + offset), then in (red, green, blue)
// at (x, y); both with alpha 1.
void drawShadowedText(const char* text, float red, float green, float blue,
                      float x, float y, float offset);
