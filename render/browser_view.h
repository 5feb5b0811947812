// Drawing one whole browser frame from the BrowserState.
#pragma once

#include "browser/browser_state.h"

// Paints background, the list placed around the selected line, the "> "
// marker, the title bar and the title. Needs an orthographic projection of
// one unit per pixel (0..viewWidth, 0..viewHeight). Reads `state` only.
// Lines that cannot reach the window are not sent, so a frame costs the
// same for a hundred entries as for a hundred thousand.
void drawBrowser(const BrowserState& state);

// A band from y = yA (colourA) to y = yB (colourB), x 0 to width, drawn
// untextured without depth test. Each colour is red, green, blue, alpha.
void drawGradientBand(const float colourA[4], const float colourB[4],
                      float yA, float yB, float width);
