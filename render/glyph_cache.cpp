#include "render/glyph_cache.h"

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "render/font_worker.h"
#include "render/glyph_raster.h"

namespace {

constexpr int kTextureWidth = 2048, kTextureHeight = 1024;
constexpr int kSlot = kCellPixels + 2;  // one empty texel on each side
constexpr int kSlotsPerRow = kTextureWidth / kSlot;
// Plans kept; past this many they are asked for again.
constexpr std::size_t kMaxPlans = 4096;
// The slot after the cache's own holds the placeholder.
constexpr std::size_t kPlaceholderSlot = kGlyphCacheSlots;

struct Cache {
  unsigned int texture = 0;
  std::unordered_map<std::u32string, std::size_t> slotOf;
  std::vector<std::u32string> keyOf;  // per slot used so far
  std::vector<uint64_t> lastUse;      // per slot
  std::vector<uint64_t> lastFrame;    // per slot: the frame that last drew or got it
  uint64_t clock = 0;
  uint64_t frame = 1;
  std::size_t rasterised = 0;
  std::unordered_set<std::u32string> asked;  // handed to the worker, not uploaded yet
  std::vector<FontPicture> arrived;          // reused between takes
  // Back from the worker, but every slot holds a cell of the screen.
  std::vector<FontPicture> parked;
  // Plans of runs to shape, back from the worker: not pictures, never in
  // a slot.
  std::unordered_map<std::u32string, RunPlan> plans;
  uint64_t parkedTried = 0;  // the frame that last looked for slots for them
  // A picture or plan taken while a frame was drawn, after some of its
  // cells may have drawn their placeholder: only a redraw shows it.
  bool tookInFrame = false;
};

Cache& cache() {
  static Cache c;
  return c;
}

// What a cell shows while the worker paints it: a faint flat block from
// the baseline to the capital height, with its corners cut. No glyph of
// the fonts is that faint and flat, nor is either mark box (their lines
// are opaque), so a pending cell passes for no character.
void paintPendingCell(unsigned char* rgba) {
  constexpr int kLeft = 5, kRight = 26, kTop = 4, kBottom = 27;  // inclusive, rows from the top
  for (int y = 0; y < kCellPixels; ++y)
    for (int x = 0; x < kCellPixels; ++x) {
      const int row = kCellPixels - 1 - y;  // rows are stored bottom first
      const bool inside = x >= kLeft && x <= kRight && row >= kTop && row <= kBottom;
      const bool corner = (x == kLeft || x == kRight) && (row == kTop || row == kBottom);
      unsigned char* p = rgba + (static_cast<std::size_t>(y) * kCellPixels + x) * 4;
      p[0] = p[1] = p[2] = 255;
      p[3] = inside && !corner ? 72 : 0;
    }
}

// Puts a cell picture into `slot` of the bound texture, inside the
// slot's empty border.
void upload(std::size_t slot, const unsigned char* picture) {
  std::vector<unsigned char> pixels(kSlot * kSlot * 4, 0);
  for (int y = 0; y < kCellPixels; ++y)
    std::copy(picture + y * kCellPixels * 4, picture + (y + 1) * kCellPixels * 4,
              pixels.begin() + ((y + 1) * kSlot + 1) * 4);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, static_cast<int>(slot % kSlotsPerRow) * kSlot,
                  static_cast<int>(slot / kSlotsPerRow) * kSlot, kSlot, kSlot, GL_RGBA, GL_UNSIGNED_BYTE,
                  pixels.data());
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
  unsigned char placeholder[kCellPixels * kCellPixels * 4];
  paintPendingCell(placeholder);
  upload(kPlaceholderSlot, placeholder);
}

// The first code unit tells the kinds of picture apart (kGlyphKey...).
std::u32string keyFor(const TextCell& cell) {
  std::u32string key;
  key.reserve(cell.text.size() + 1);
  key.push_back(cell.kind == TextCell::Kind::invisible ? kInvisibleKey : cell.emoji ? kEmojiKey : kGlyphKey);
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

// Whether a slot may be painted over in frame `frame`: not when the frame
// before drew it, nor this one. Were it, a screen with more distinct cells
// than slots would evict cells it shows, ask for them again and redraw
// without end.
bool reusable(const Cache& c, std::size_t slot, uint64_t frame) { return c.lastFrame[slot] + 1 < frame; }

// The slot a finished picture goes to: a free one while there are any,
// else the reusable one used longest ago; kPlaceholderSlot when none is.
std::size_t slotForNew(Cache& c) {
  std::size_t slot = c.keyOf.size();
  if (slot < kGlyphCacheSlots) {
    c.keyOf.emplace_back();
    c.lastUse.push_back(0);
    c.lastFrame.push_back(0);
    return slot;
  }
  slot = kPlaceholderSlot;
  for (std::size_t s = 0; s < kGlyphCacheSlots; ++s)
    if (reusable(c, s, c.frame) && (slot == kPlaceholderSlot || c.lastUse[s] < c.lastUse[slot])) slot = s;
  if (slot != kPlaceholderSlot) c.slotOf.erase(c.keyOf[slot]);
  return slot;
}

// Uploads what the worker has finished, and what waited for a slot; the
// texture is bound. A picture with no slot waits, its cell still asked
// for, so the worker is not asked again.
void takeFinished(Cache& c) {
  c.parkedTried = c.frame;
  c.arrived.clear();
  c.arrived.swap(c.parked);
  takeFontPictures(c.arrived);
  bool full = false;  // once no slot is free, none frees up in this take
  for (FontPicture& p : c.arrived) {
    if (!p.key.empty() && p.key[0] == kRunPlanKey) {
      c.tookInFrame = true;
      RunPlan plan;
      decodeRunPlan(p.rgba.data(), p.rgba.size(), plan);
      if (c.plans.size() >= kMaxPlans) c.plans.clear();
      c.asked.erase(p.key);
      c.plans.emplace(std::move(p.key), std::move(plan));
      continue;
    }
    const std::size_t slot = full ? kPlaceholderSlot : slotForNew(c);
    full = slot == kPlaceholderSlot;
    if (full) {
      c.parked.push_back(std::move(p));
      continue;
    }
    c.asked.erase(p.key);
    c.tookInFrame = true;
    upload(slot, p.rgba.data());
    ++c.rasterised;
    c.keyOf[slot] = p.key;
    c.lastUse[slot] = ++c.clock;
    c.lastFrame[slot] = c.frame;  // as if drawn: the next picture must not take it
    c.slotOf.emplace(std::move(p.key), slot);
  }
}

}  // namespace

GlyphEntry glyphCachePicture(std::u32string key, const std::function<PaintCell()>& paint) {
  Cache& c = cache();
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
  if (fontPicturesReady() || (!c.parked.empty() && c.parkedTried != c.frame)) takeFinished(c);
  const auto found = c.slotOf.find(key);
  if (found != c.slotOf.end()) {
    c.lastUse[found->second] = ++c.clock;
    c.lastFrame[found->second] = c.frame;
    return entryOf(found->second);
  }
  if (c.asked.insert(key).second) requestFontPicture(std::move(key), paint());
  return entryOf(kPlaceholderSlot);
}

GlyphEntry glyphCacheEntry(const TextCell& cell) {
  return glyphCachePicture(keyFor(cell), [&cell]() -> PaintCell {
    return [cell](unsigned char* rgba) { rasteriseCell(cell, rgba); };
  });
}

const RunPlan* glyphCacheRunPlan(const std::u32string& key) {
  Cache& c = cache();
  if (fontPicturesReady() || (!c.parked.empty() && c.parkedTried != c.frame)) {
    if (c.texture == 0) createTexture(c);
    glBindTexture(GL_TEXTURE_2D, c.texture);
    takeFinished(c);
  }
  const auto found = c.plans.find(key);
  if (found != c.plans.end()) return &found->second;
  if (c.asked.insert(key).second)
    requestFontPicture(key, [key](unsigned char* rgba) {
      encodeRunPlan(planRun(key), rgba, kCellPixels * kCellPixels * 4);
    });
  return nullptr;
}

GlyphEntry glyphCachePlaceholder() {
  Cache& c = cache();
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
  return entryOf(kPlaceholderSlot);
}

void bindGlyphCache() {
  bindFontTexture(fontImage);
  Cache& c = cache();
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
}

std::size_t glyphCacheRasterised() { return cache().rasterised; }

bool glyphCacheWaiting() { return !cache().asked.empty(); }

void startGlyphFrame() {
  Cache& c = cache();
  ++c.frame;
  c.tookInFrame = false;
  // Here, not only at the first lookup: a frame with no cell from the
  // cache (an ASCII screen) still takes them, so they stop counting as
  // arrivals that call for a redraw.
  if (!fontPicturesReady() && c.parked.empty()) return;
  if (c.texture == 0) createTexture(c);
  glBindTexture(GL_TEXTURE_2D, c.texture);
  takeFinished(c);
  // Taken before any cell of this frame is drawn.
  c.tookInFrame = false;
}

bool glyphCacheHasArrivals() {
  if (fontPicturesReady()) return true;
  const Cache& c = cache();
  if (c.tookInFrame) return true;
  if (c.parked.empty()) return false;
  for (std::size_t s = 0; s < c.lastFrame.size(); ++s)
    if (reusable(c, s, c.frame + 1)) return true;
  return false;
}

bool settleGlyphCache() {
  waitForFontJobs();
  return glyphCacheHasArrivals();
}
