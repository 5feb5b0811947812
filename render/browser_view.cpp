#include "render/browser_view.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

#include "render/browser_view_internal.h"
#include "render/glyph_cache.h"
#include "render/name_text.h"
#include "render/text.h"

namespace {

const float kNavy[4] = {0.0f, 0.1f, 0.2f, 1.0f};
const float kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};

constexpr float kLineHeight = 32.0f;
constexpr float kLineShadow = 1.0f;

}  // namespace

void drawMarker(float anchor) {
  drawShadowedText("> ", 1.0f, 1.0f, 1.0f, 0.0f, anchor, kLineShadow);
}

void drawLine(const BrowserState& state, std::size_t i, float anchor) {
  // In double so that a selection far from i cannot overflow, rounded to
  // float once.
  const double y = static_cast<double>(anchor) +
                   32.0 * (static_cast<double>(state.selection) - static_cast<double>(i));
  const bool selected = state.selection >= 0 && static_cast<std::size_t>(state.selection) == i;
  const float other = selected ? 0.0f : 1.0f;
  // One line per entry is what the browser keeps; should a line be
  // missing, the entry still gets its row, empty.
  const std::string_view text = i < state.displayLines.size() ? state.displayLines[i] : std::string_view();
  // The mark's two cells and a directory's brackets stay where they are
  // whatever the name's direction.
  const bool directory = i < state.entryWasDirectory.size() && state.entryWasDirectory[i] != 0 &&
                         text.size() >= 4 && text[2] == '[' && text.back() == ']';
  const std::size_t nameBegin = std::min<std::size_t>(text.size(), directory ? 3 : 2);
  const std::size_t nameEnd = directory ? text.size() - 1 : text.size();
  drawName(text, 1.0f, other, other, 32.0f, static_cast<float>(y), kLineShadow, state.viewWidth, nameBegin, nameEnd);
}

namespace {

// drawMarker() `passes` times. After the first, the text state each pass
// would set again is already set, and nothing between the passes changes
// it, so the later passes send only the colour and the glyphs: the same
// pixels for a fraction of the driver's work.
void drawMarkerPasses(float anchor, std::size_t passes) {
  if (passes == 0) return;
  drawMarker(anchor);
  static const std::string marker = "> ";
  for (std::size_t k = 1; k < passes; ++k) {
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    drawString(marker, 0.0f + kLineShadow, anchor + kLineShadow);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    drawString(marker, 0.0f, anchor);
  }
}

// The picture of drawMarker() and drawLine() for every entry in turn,
// sending only what can show.
//
// A line whose cells, shadow included, lie wholly above or below the
// window produces no fragment at all, so leaving it out changes nothing;
// names are drawn on their one row, line feeds included.
//
// The marker is another matter: every entry in turn paints it once each,
// and painting a glyph again over itself does change its smoothed edge
// pixels, which drift toward the marker's colours with every pass. The
// drift stops, though: blending is a fixed, monotone function of each
// pixel's old value, so a pixel's values only move one way and, once a pass
// leaves them alone, every later pass does too; and since the alpha test
// passes only fragments with alpha above 0.25, each pass closes at least a
// quarter of the remaining distance, which in 8-bit channels leaves nothing
// to move after a few dozen passes. So wherever the whole list would paint
// the marker many times in a row between two lines that show (or before the
// first, or after the last), kMarkerSettlePasses passes stand in for any
// number of them.
void drawVisibleLines(const BrowserState& state, float anchor) {
  const std::size_t count = state.entryNames.size();
  const double height = state.viewHeight;
  const double selection = state.selection;
  // Line i spans y .. y + 32 + shadow with y = anchor + 32 (selection - i);
  // it can touch the window 0 .. height only for i strictly between these
  // bounds. One more line on either side keeps rounding out of the
  // question.
  const double low = std::floor(selection - (height - anchor) / kLineHeight) - 1.0;
  const double high =
      std::ceil(selection + (anchor + kLineHeight + kLineShadow) / kLineHeight) + 1.0;
  std::size_t begin = count;
  std::size_t end = count;
  if (low <= high) {  // false for NaN too
    const double b = std::max(low, 0.0);
    const double e = std::min(high + 1.0, static_cast<double>(count));
    if (b < e) {
      begin = static_cast<std::size_t>(b);
      end = static_cast<std::size_t>(e);
    }
  }

  std::size_t markersOwed = 0;  // marker passes since the last line sent
  const auto send = [&](std::size_t i) {
    drawMarkerPasses(anchor, std::min(markersOwed, kMarkerSettlePasses) + 1);
    markersOwed = 0;
    drawLine(state, i, anchor);
  };
  markersOwed += begin;
  for (std::size_t i = begin; i < end; ++i) send(i);
  markersOwed += count - end;
  drawMarkerPasses(anchor, std::min(markersOwed, kMarkerSettlePasses));
}

}  // namespace

float anchorLine(float viewHeight) {
  // std::trunc rather than a cast to int: the same for every real window,
  // and defined for any float.
  return std::trunc(viewHeight * 0.5f - 20.0f);
}

void beginFrame(float viewWidth, float viewHeight) {
  glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, viewWidth, 0.0, viewHeight, 100.0, -100.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void drawGradientBand(const float colourA[4], const float colourB[4],
                      float yA, float yB, float width) {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_TRIANGLES);
  glColor4fv(colourB);
  glVertex3f(0.0f, yB, 0.0f);
  glColor4fv(colourA);
  glVertex3f(0.0f, yA, 0.0f);
  glColor4fv(colourA);
  glVertex3f(width, yA, 0.0f);
  glColor4fv(colourB);
  glVertex3f(width, yB, 0.0f);
  glColor4fv(colourB);
  glVertex3f(0.0f, yB, 0.0f);
  glColor4fv(colourA);
  glVertex3f(width, yA, 0.0f);
  glEnd();
}

void drawBrowserFrame(const BrowserState& state, ListDrawer drawList) {
  startGlyphFrame();
  drawGradientBand(kNavy, kBlack, state.viewHeight, 0.0f, state.viewWidth);
  glDisable(GL_DEPTH_TEST);

  const float anchor = anchorLine(state.viewHeight);
  drawList(state, anchor);

  drawGradientBand(kNavy, kNavy, state.viewHeight, state.viewHeight - 32.0f, state.viewWidth);
  drawName(state.currentDirectory, 0.0f, 1.0f, 1.0f, 0.0f, state.viewHeight - 32.0f, 0.5f,
           state.viewWidth);
}

void drawBrowser(const BrowserState& state) {
  drawBrowserFrame(state, drawVisibleLines);
}
