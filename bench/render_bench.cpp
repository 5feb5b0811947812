// Frame time of the browser view: one drawBrowser() plus glFinish() into
// the 1920 x 1080 window, at 100 and at 100,000 entries, and the path that
// sends every line, at 100,000, for comparison; and a step down a list of
// 3,000 ASCII or Chinese names, one frame per step, where every step
// brings a line of characters not seen before onto the screen. Needs an X
// display:
//   source scripts/xvfb.sh; start_xvfb; build/bench/render_bench
#include <GL/glew.h>
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "render/browser_view.h"
#include "render/browser_view_internal.h"
#include "render/glyph_cache.h"
#include "render/glyph_raster.h"
#include "render/text_cells.h"
#include "render/text_shaping.h"

namespace {

void openWindow() {
  int argc = 1;
  char name[] = "render_bench";
  char* argv[] = {name, nullptr};
  glutInitWindowPosition(0, 0);
  glutInitWindowSize(1920, 1080);
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutCreateWindow("render bench");
  glewInit();
}

// A listing of `count` entries as the browser shows it: one in ten a
// directory in brackets, some marked, names of 10-40 letters and digits.
BrowserState listing(int count) {
  BrowserState s;
  s.currentDirectory = "/home/ada/a/rather/deep/directory/of/many/files";
  s.viewWidth = 1920;
  s.viewHeight = 1080;
  s.selection = count / 2;
  std::mt19937 random(7);
  const char chars[] = "abcdefghijklmnopqrstuvwxyz0123456789_.";
  for (int i = 0; i < count; ++i) {
    std::string name;
    const int length = 10 + static_cast<int>(random() % 31);
    for (int c = 0; c < length; ++c) name += chars[random() % (sizeof chars - 1)];
    s.entryNames.push_back(name);
    const char* mark = (i % 7 == 0) ? "* " : "  ";
    s.displayLines.push_back(mark + (i % 10 == 0 ? "[" + name + "]" : name));
  }
  return s;
}

// The path that sends every line: the marker and the line of each entry.
void drawEveryLine(const BrowserState& state, float anchor) {
  for (std::size_t i = 0; i < state.entryNames.size(); ++i) {
    drawMarker(anchor);
    drawLine(state, i, anchor);
  }
}

void frame(const BrowserState& s, bool everyLine) {
  glViewport(0, 0, 1920, 1080);
  beginFrame(s.viewWidth, s.viewHeight);
  if (everyLine)
    drawBrowserFrame(s, drawEveryLine);
  else
    drawBrowser(s);
  glFinish();
}

void BM_Frame(benchmark::State& state) {
  const BrowserState s = listing(static_cast<int>(state.range(0)));
  const bool everyLine = state.range(1) != 0;
  frame(s, everyLine);  // the first frame uploads the atlas
  for (auto _ : state) frame(s, everyLine);
  state.SetLabel(everyLine ? "every line" : "visible lines");
}
BENCHMARK(BM_Frame)->Args({100, 0})->Args({100000, 0})->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Frame)->Args({100000, 1})->Unit(benchmark::kMillisecond)->Iterations(3);

void appendUtf8(std::string& s, char32_t c) {
  s += static_cast<char>(0xE0 | (c >> 12));
  s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  s += static_cast<char>(0x80 | (c & 0x3F));
}

enum class Names { ascii, chinese, arabic };

// The 28 letters of the Arabic alphabet.
const char32_t kArabicLetters[] = U"\u0627\u0628\u062A\u062B\u062C\u062D\u062E\u062F\u0630\u0631"
                                  U"\u0632\u0633\u0634\u0635\u0636\u0637\u0638\u0639\u063A\u0641"
                                  U"\u0642\u0643\u0644\u0645\u0646\u0647\u0648\u064A";

// 3,000 names of 4 to 12 characters: ASCII letters, CJK ideographs
// drawn from the 20,000 of U+4E00 on, so that nearly every line brings
// characters of its own, or Arabic letters in words of 2 to 6, so that
// every line brings runs to shape.
BrowserState namesToStep(Names kind) {
  BrowserState s;
  s.currentDirectory = "/home/ada/names";
  s.viewWidth = 1920;
  s.viewHeight = 1080;
  s.selection = 0;
  std::mt19937 random(11);
  for (int i = 0; i < 3000; ++i) {
    std::string name;
    const int length = 4 + static_cast<int>(random() % 9);
    for (int c = 0; c < length; ++c) {
      if (kind == Names::chinese) {
        appendUtf8(name, 0x4E00 + static_cast<char32_t>(random() % 20000));
      } else if (kind == Names::arabic) {
        if (c > 1 && c + 1 < length && random() % 4 == 0) name += ' ';
        const char32_t letter = kArabicLetters[random() % 28];
        name += static_cast<char>(0xC0 | (letter >> 6));
        name += static_cast<char>(0x80 | (letter & 0x3F));
      } else {
        name += static_cast<char>('a' + random() % 26);
      }
    }
    name += ".txt";
    s.entryNames.push_back(name);
    s.displayLines.push_back("  " + name);
  }
  return s;
}

// A frame as the user finally sees it: drawn, and when cells of it went
// to the font worker, drawn again once their pictures are back (the
// program's redisplay). Returns how long the first frame took, in ms:
// what the event loop spends before the step shows, placeholders and all.
double settledFrame(const BrowserState& s) {
  const auto start = std::chrono::steady_clock::now();
  frame(s, false);
  const std::chrono::duration<double, std::milli> first = std::chrono::steady_clock::now() - start;
  // Shaped names take two rounds: their plans, then their slices.
  for (int round = 0; round < 4 && settleGlyphCache(); ++round) frame(s, false);
  return first.count();
}

// One step: the selection moves down one line and the frame is drawn
// until it shows every character. The first screen is drawn before the
// clock starts; 500 steps stay inside the list, so every step shows a
// line never shown before.
void BM_Step(benchmark::State& state) {
  const auto kind = static_cast<Names>(state.range(0));
  BrowserState s = namesToStep(kind);
  settledFrame(s);
  const std::size_t before = glyphCacheRasterised();
  const std::size_t shapedBefore = runsShaped();
  double firstFrames = 0;
  for (auto _ : state) {
    ++s.selection;
    firstFrames += settledFrame(s);
  }
  state.counters["first_frame_ms"] = firstFrames / static_cast<double>(state.iterations());
  state.counters["new_cells_per_step"] =
      static_cast<double>(glyphCacheRasterised() - before) / static_cast<double>(state.iterations());
  state.counters["runs_shaped_per_step"] =
      static_cast<double>(runsShaped() - shapedBefore) / static_cast<double>(state.iterations());
  state.SetLabel(kind == Names::chinese ? "Chinese names" : kind == Names::arabic ? "Arabic names" : "ASCII names");
}
BENCHMARK(BM_Step)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(500);

// Shaping one Arabic word never shaped before, without painting it.
void BM_ShapeArabicWord(benchmark::State& state) {
  // The fonts belong to the worker while it has work.
  settleGlyphCache();
  std::mt19937 random(5);
  std::u32string word;
  for (auto _ : state) {
    word.clear();
    for (int c = 0; c < 8; ++c) word.push_back(kArabicLetters[random() % 28]);
    benchmark::DoNotOptimize(shapeRun(word, true, false));
  }
}
BENCHMARK(BM_ShapeArabicWord)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The first character from the system's fonts in a process: the font
// configuration read, the fonts sorted, the font opened. Meaningful only
// as the first benchmark of its process:
//   render_bench --benchmark_filter=BM_FirstCharacter
void BM_FirstCharacter(benchmark::State& state) {
  TextCell cell;
  cell.kind = TextCell::Kind::glyph;
  cell.text.assign(1, 0x65E5);
  unsigned char rgba[kCellPixels * kCellPixels * 4];
  for (auto _ : state) {
    rasteriseCell(cell, rgba);
    benchmark::DoNotOptimize(rgba);
  }
}
BENCHMARK(BM_FirstCharacter)->Unit(benchmark::kMillisecond)->Iterations(1);

// What a character costs on first sight, without the drawing: finding its
// font and rasterising it, for ideographs never rasterised before.
void BM_RasteriseIdeograph(benchmark::State& state) {
  TextCell cell;
  cell.kind = TextCell::Kind::glyph;
  char32_t next = 0x6000;
  unsigned char rgba[kCellPixels * kCellPixels * 4];
  for (auto _ : state) {
    cell.text.assign(1, next++);
    rasteriseCell(cell, rgba);
    benchmark::DoNotOptimize(rgba);
  }
}
BENCHMARK(BM_RasteriseIdeograph)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace

int main(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    std::printf("render_bench: skipped, it draws into a window and DISPLAY is unset "
                "(start a display: source scripts/xvfb.sh; start_xvfb)\n");
    return 0;
  }
  openWindow();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
