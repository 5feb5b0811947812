// Parts of the browser view that its tests and benchmarks reach into.
// The program itself only calls drawBrowser().
#pragma once

#include <cstddef>

#include "browser/browser_state.h"

// The y of the selected line (and of the "> " marker) in a view
// `viewHeight` units tall: viewHeight / 2 - 20 in single precision,
// truncated toward zero. Any float gives a result; no failure.
float anchorLine(float viewHeight);

// How drawBrowserFrame() sends the list.
enum class ListDrawing {
  visibleOnly,  // lines whose cells cannot reach the window are skipped
  everyLine,    // every line, as many as there are entries, every frame
};

// How many marker passes it takes at most for the marker's pixels to stop
// changing; see browser_view.cpp. Lists much longer than this on both
// sides of the visible lines are the interesting test cases.
constexpr std::size_t kMarkerSettlePasses = 64;

// drawBrowser() with the list sent as `mode` says. Both modes give the
// same picture pixel for pixel; visibleOnly takes time in proportion to
// the window height instead of the list length.
void drawBrowserFrame(const BrowserState& state, ListDrawing mode);
