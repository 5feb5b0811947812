#include "render/name_text.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "render/glyph_cache.h"
#include "render/text.h"
#include "render/text_cells.h"
#include "render/text_shaping.h"

namespace {

// One cell's strip, as drawString() sends it.
void sendCell(const GlyphEntry& e, float column) {
  const float x0 = column * 32.0f;
  const float x1 = (column + 1.0f) * 32.0f;
  glBegin(GL_TRIANGLE_STRIP);
  glNormal3f(0.0f, 0.0f, 1.0f);
  glTexCoord2fv(e.bottomRight);
  glVertex3f(x1, 0.0f, 0.0f);
  glTexCoord2fv(e.topRight);
  glVertex3f(x1, 32.0f, 0.0f);
  glTexCoord2fv(e.bottomLeft);
  glVertex3f(x0, 0.0f, 0.0f);
  glTexCoord2fv(e.topLeft);
  glVertex3f(x0, 32.0f, 0.0f);
  glEnd();
}

// Cells laid out past the window's right edge.
constexpr std::size_t kLaidOutBeyond = 512;

struct Layout {
  std::vector<TextCell> cells;
  std::vector<GlyphEntry> cached;  // per cell; used for the other kinds
  bool anyCached = false;
};

// One copy of the laid-out text at (x, y) in the current colour: the atlas
// cells, then the cached ones.
void drawCopy(const Layout& layout, float x, float y) {
  if (!glyphTableBuilt) buildGlyphTable();
  bindFontTexture(fontImage);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(x, y, 0.0f);
  for (std::size_t i = 0; i < layout.cached.size(); ++i)
    if (layout.cells[i].kind == TextCell::Kind::atlas)
      sendCell(glyphTable[layout.cells[i].byte], static_cast<float>(i));
  if (layout.anyCached) {
    bindGlyphCache();
    for (std::size_t i = 0; i < layout.cached.size(); ++i)
      if (layout.cells[i].kind != TextCell::Kind::atlas) sendCell(layout.cached[i], static_cast<float>(i));
  }
  glPopMatrix();
}

}  // namespace

void drawName(std::string_view text, float red, float green, float blue, float x, float y, float offset,
              float right, std::size_t nameBegin, std::size_t nameEnd) {
  static Layout layout;
  // Cells from `right` on cannot show, nor can their shadows. Which cells
  // show depends on what follows them once right-to-left parts are turned
  // round, so more is laid out than shows: any name entire, and in a
  // longer text the cells that could reach the window.
  const double room = std::ceil((static_cast<double>(right) - x) / 32.0);
  const std::size_t shown = room > 0 ? static_cast<std::size_t>(std::min(room, 1e6)) : 0;
  splitIntoCells(text, layout.cells, shown == 0 ? 0 : shown + kLaidOutBeyond);
  layOutCells(layout.cells, glyphCacheRunPlan, nameBegin, nameEnd);
  if (layout.cells.size() > shown) layout.cells.resize(shown);
  layout.cached.assign(layout.cells.size(), GlyphEntry{});
  layout.anyCached = false;
  for (std::size_t i = 0; i < layout.cells.size(); ++i)
    if (layout.cells[i].kind != TextCell::Kind::atlas) {
      const TextCell& cell = layout.cells[i];
      if (cell.kind == TextCell::Kind::pending)
        layout.cached[i] = glyphCachePlaceholder();
      else if (cell.kind == TextCell::Kind::slice)
        layout.cached[i] = glyphCachePicture(sliceKey(cell), [&cell]() -> PaintCell {
          return [cell](unsigned char* rgba) { paintSliceCell(cell, rgba); };
        });
      else
        layout.cached[i] = glyphCacheEntry(cell);
      layout.anyCached = true;
    }
  glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
  drawCopy(layout, x + offset, y + offset);
  glColor4f(red, green, blue, 1.0f);
  drawCopy(layout, x, y);
  if (layout.anyCached) bindFontTexture(fontImage);
}
