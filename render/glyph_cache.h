// The cache texture of the cells the atlas cannot draw: each distinct cell
// (character with its marks, emoji or text form, or an invisible
// character's mark) is rasterised once, on first sight, into a slot of one
// texture. Rasterising runs on the font worker (font_worker.h), never on
// the caller: until a cell's picture is back, the cell draws a placeholder,
// and the caller learns from glyphCacheHasArrivals() when a redraw shows
// more. The texture has a fixed number of slots; when all are taken the
// one used longest ago is painted over (see startGlyphFrame() for the
// cells that are not). Nothing is written to disk.
// Calls that touch the texture need the window's OpenGL context current;
// all calls belong to the thread that draws.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "render/font_worker.h"
#include "render/text.h"
#include "render/text_cells.h"
#include "render/text_shaping.h"

// The slots: a 2048 x 1024 RGBA texture (8 MiB) of 34 x 34 slots, each a
// cell's 32 x 32 texels inside an empty border; one more holds the
// placeholder.
constexpr std::size_t kGlyphCacheSlots = 60 * 30 - 1;

// The first code unit of a cache key says what kind of picture it names;
// the rest is the kind's own. These are the cells of glyphCacheEntry().
// Another kind (one slice of a shaped run, say) takes a value of its own
// and goes through glyphCachePicture() with a paint function of its own.
constexpr char32_t kGlyphKey = 0, kEmojiKey = 1, kInvisibleKey = 2;
// Slices of shaped runs and plans of runs take kSliceKey and kRunPlanKey
// (text_shaping.h).

// Call before each frame (a picture drawn from scratch): a cell drawn in
// this frame or the one before is never painted over. When every slot
// holds such a cell (the screen shows more distinct cells than there are
// slots), pictures that come back wait, and their cells keep the
// placeholder until the screen shows fewer. Uploads the pictures that came
// back; may leave the cache texture bound.
void startGlyphFrame();

// The texture coordinates of `cell` (a glyph or invisible cell) in the
// cache. First uploads the pictures the worker has finished. A cell not
// there yet gets the placeholder's coordinates, and the worker is asked
// for it, once however often it is drawn before it arrives. Never waits
// for the worker. Creates the texture on the first call. Leaves the cache
// texture bound.
GlyphEntry glyphCacheEntry(const TextCell& cell);

// The texture coordinates of the picture cached under `key`, as
// glyphCacheEntry() gives a cell's: the placeholder's until the picture is
// back, the worker asked once, with the function `paint` returns (called
// only then; the worker runs it).
GlyphEntry glyphCachePicture(std::u32string key, const std::function<PaintCell()>& paint);

// The plan of a run to shape (text_shaping.h) under `key`, once the worker
// has made it; until then null, and the worker is asked for it once. Plans
// come back with the pictures and are kept (a bounded number) here, on
// the drawing thread.
const RunPlan* glyphCacheRunPlan(const std::u32string& key);

// The placeholder's texture coordinates, for a cell that waits for its
// plan. Creates the texture on the first call; leaves it bound.
GlyphEntry glyphCachePlaceholder();

// The text drawing state of bindFontTexture() with the cache texture
// bound instead of the atlas.
void bindGlyphCache();

// How many cells have been rasterised and uploaded since the start; for
// tests and benchmarks.
std::size_t glyphCacheRasterised();

// True while some cell asked for has not been uploaded yet: a cell on the
// screen may still be a placeholder.
bool glyphCacheWaiting();

// True when pictures have come back that the next frame will upload, or
// that the last frame took while it drew, after cells that showed their
// placeholder: a redraw now shows more. Needs no OpenGL context.
bool glyphCacheHasArrivals();

// For tests and benchmarks only: blocks until the worker has painted every
// cell asked for (forever when a font file never answers), then says
// whether a redraw shows more, as glyphCacheHasArrivals().
bool settleGlyphCache();
