#include "render/glyph_cache.h"

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "render/glyph_raster.h"
#include "render/text_shaping.h"

namespace {

constexpr int kTextureWidth = 2048, kTextureHeight = 1024;
constexpr int kSlot = kCellPixels + 2;  // one empty texel on each side
constexpr int kSlotsPerRow = kTextureWidth / kSlot;

struct Cache {
  unsigned int texture = 0;
  std::unordered_map<std::u32string, std::size_t> slotOf;
  std::vector<std::u32string> keyOf;  // per slot used so far
  std::vector<uint64_t> lastUse;      // per slot
  uint64_t clock = 0;
  std::size_t rasterised = 0;
};

Cache& cache() {
  static Cache c;
  return c;
}

void createTexture(Cache& c) {
  GLuint name = 0;
  glGenTextures(1, &name);
  c.texture = name;
  glBindTexture(GL_TEXTURE_2D, c.texture);
  // Cells are drawn one texel per pixel; linear filtering only blends a
  // slot's border in when a copy sits half a pixel off (the title's
  // shadow), as the atlas's cells do.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kTextureWidth, kTextureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
}

std::u32string keyFor(const TextCell& cell) {
  std::u32string key;
  key.reserve(cell.text.size() + 2);
  if (cell.kind == TextCell::Kind::slice) {
    // Slices: 3 to 5 by kind, then which slice.
    key.push_back(cell.emoji ? 5 : cell.rightToLeft ? 4 : 3);
    key.push_back(cell.slice);
    key += cell.text;
    return key;
  }
  key.push_back(cell.kind == TextCell::Kind::invisible ? 2 : cell.emoji ? 1 : 0);
  key += cell.text;
  return key;
}

GlyphEntry entryOf(std::size_t slot) {
  const float x0 = static_cast<float>(static_cast<int>(slot % kSlotsPerRow) * kSlot + 1);
  const float y0 = static_cast<float>(static_cast<int>(slot / kSlotsPerRow) * kSlot + 1);
  const float u0 = x0 / kTextureWidth, u1 = (x0 + kCellPixels) / kTextureWidth;
  const float v0 = y0 / kTextureHeight, v1 = (y0 + kCellPixels) / kTextureHeight;
  // Slots hold their rows bottom first, as OpenGL counts them.
  GlyphEntry e;
  e.bottomLeft[0] = u0, e.bottomLeft[1] = v0;
  e.bottomRight[0] = u1, e.bottomRight[1] = v0;
  e.topLeft[0] = u0, e.topLeft[1] = v1;
  e.topRight[0] = u1, e.topRight[1] = v1;
  return e;
}

}  // namespace

GlyphEntry glyphCacheEntry(const TextCell& cell) {
  Cache& c = cache();
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
  std::u32string key = keyFor(cell);
  const auto found = c.slotOf.find(key);
  if (found != c.slotOf.end()) {
    c.lastUse[found->second] = ++c.clock;
    return entryOf(found->second);
  }
  std::size_t slot = c.keyOf.size();
  if (slot < kGlyphCacheSlots) {
    c.keyOf.emplace_back();
    c.lastUse.push_back(0);
  } else {
    slot = 0;
    for (std::size_t s = 1; s < kGlyphCacheSlots; ++s)
      if (c.lastUse[s] < c.lastUse[slot]) slot = s;
    c.slotOf.erase(c.keyOf[slot]);
  }
  std::vector<unsigned char> pixels(kSlot * kSlot * 4, 0);
  unsigned char picture[kCellPixels * kCellPixels * 4];
  if (cell.kind == TextCell::Kind::slice)
    paintSliceCell(cell, picture);
  else
    rasteriseCell(cell, picture);
  for (int y = 0; y < kCellPixels; ++y)
    std::copy(picture + y * kCellPixels * 4, picture + (y + 1) * kCellPixels * 4,
              pixels.begin() + ((y + 1) * kSlot + 1) * 4);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, static_cast<int>(slot % kSlotsPerRow) * kSlot,
                  static_cast<int>(slot / kSlotsPerRow) * kSlot, kSlot, kSlot, GL_RGBA, GL_UNSIGNED_BYTE,
                  pixels.data());
  ++c.rasterised;
  c.keyOf[slot] = key;
  c.lastUse[slot] = ++c.clock;
  c.slotOf.emplace(std::move(key), slot);
  return entryOf(slot);
}

void bindGlyphCache() {
  bindFontTexture(fontImage);
  Cache& c = cache();
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
}

std::size_t glyphCacheRasterised() { return cache().rasterised; }
