// The one thread that does everything that may block on fonts: finding a
// font (fontconfig's set-up and its first cache build, the Windows font
// catalogue and the first read of each face) and rasterising with
// FreeType. A font file may be a FIFO, or sit on a network folder that no
// longer answers, so a job may take forever: the event loop only hands
// jobs over and takes finished pictures back, and never waits for one.
//
// A job is a cache key and a function that paints one 32 x 32 RGBA cell
// picture (kCellPixels square, as rasteriseCell() lays it out). The worker
// knows nothing of what the key means or how the picture is made, so a new
// kind of cell is a new key prefix (glyph_cache.h) and a new paint
// function; nothing here changes. Slice k of a shaped run, for one: its
// key holds the run's text and k, its function shapes and rasterises the
// run and copies out slice k; the slices of one run are asked for one
// after the other, so the function may keep the last run it drew, on this
// thread, for the next slice. Everything a paint function touches is
// touched by this thread only, so font code needs no locks.
//
// The worker's state is never destroyed: the process may end (exit, a
// stop signal) while the thread is stuck in a system call, and nothing at
// exit waits for it or pulls memory from under it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Paints one cell picture into `rgba` (kCellPixels x kCellPixels RGBA,
// bottom row first), which is zeroed before the call. Runs on the worker.
using PaintCell = std::function<void(unsigned char* rgba)>;

// A finished job.
struct FontPicture {
  std::u32string key;
  std::vector<unsigned char> rgba;  // kCellPixels x kCellPixels RGBA
};

// Queues `paint` under `key`, starting the thread on the first call. Jobs
// run one at a time in the order asked. Asking the same key twice paints
// it twice: the caller remembers what it asked for.
void requestFontPicture(std::u32string key, PaintCell paint);

// Appends the pictures finished since the last call to `done`, in the
// order they finished; how many were appended.
std::size_t takeFontPictures(std::vector<FontPicture>& done);

// True when finished pictures wait for takeFontPictures(); an atomic read,
// cheap enough to ask once per drawn cell.
bool fontPicturesReady();

// Blocks until no job is queued or running. For tests and benchmarks
// only: a job stuck on a font file blocks the caller with it.
void waitForFontJobs();
