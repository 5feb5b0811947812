// Parts of the browser view that its tests and benchmarks reach into.
// The program itself only calls drawBrowser().
#pragma once

#include <cstddef>

#include "browser/browser_state.h"

// The y of the selected line (and of the "> " marker) in a view
// `viewHeight` units tall: viewHeight / 2 - 20 in single precision,
// truncated toward zero. Any float gives a result; no failure.
float anchorLine(float viewHeight);

// How many marker passes it takes at most for the marker's pixels to stop
// changing; see browser_view.cpp. Lists much longer than this on both
// sides of the visible lines are the interesting test cases.
constexpr std::size_t kMarkerSettlePasses = 64;

// The two steps the list is drawn in: the "> " marker on the anchor line,
// and entry i's display line on its row (empty when the line is missing),
// red when selected.
void drawMarker(float anchor);
void drawLine(const BrowserState& state, std::size_t i, float anchor);

// drawBrowser() with the list drawn by `drawList` instead of by its own
// visible-lines pass, which gives the picture of drawMarker() and
// drawLine() for every entry in turn, pixel for pixel, in time in
// proportion to the window height instead of the list length.
using ListDrawer = void (*)(const BrowserState& state, float anchor);
void drawBrowserFrame(const BrowserState& state, ListDrawer drawList);
