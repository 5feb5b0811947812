// Drawing one whole browser frame from the BrowserState.
#pragma once

#include "browser/browser_state.h"

// Sets the state every frame starts from: colour (0.1, 0.2, 0.3, 1) and
// depth cleared, depth test and blending (source alpha, one minus source
// alpha) on, a projection of one unit per pixel (0..viewWidth,
// 0..viewHeight, near 100, far -100) and an identity modelview matrix.
void beginFrame(float viewWidth, float viewHeight);

// Paints background, the list placed around the selected line, the "> "
// marker, the title bar and the title. Needs an orthographic projection of
// one unit per pixel (0..viewWidth, 0..viewHeight). Reads `state` only.
// Lines that cannot reach the window are not sent, so a frame costs the
// same for a hundred entries as for a hundred thousand. Starts a glyph
// cache frame (startGlyphFrame()): names draw what the font worker has
// painted so far, placeholders for the rest.
void drawBrowser(const BrowserState& state);

// A band from y = yA (colourA) to y = yB (colourB), x 0 to width, drawn
// untextured without depth test. Each colour is red, green, blue, alpha.
void drawGradientBand(const float colourA[4], const float colourB[4],
                      float yA, float yB, float width);
