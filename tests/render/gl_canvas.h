// A real OpenGL context on the X display (a freeglut window, GLEW set up as
// the program does it) and offscreen pictures of any size to draw into and
// read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Opens the window and its context once per process, 1920 x 1080, RGBA,
// double-buffered, with depth, and runs glewInit. False, with the reason in
// `why`, when there is no X display or no framebuffer objects.
bool openGlContext(std::string& why);

struct Rgba {
  uint8_t r, g, b, a;
};

// Read-back pixels, bottom row first, as OpenGL counts rows.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  Rgba at(int x, int y) const;
};

// A framebuffer object with 8-bit RGBA colour and a depth buffer.
struct Canvas {
  unsigned int framebuffer = 0;
  unsigned int colour = 0;
  unsigned int depth = 0;
  int width = 0;
  int height = 0;
};

// Makes and binds a `width` x `height` canvas.
Canvas makeCanvas(int width, int height);
void freeCanvas(Canvas& canvas);

// What the display callback sets before it draws: viewport, clear colour
// (0.1, 0.2, 0.3, 1), colour and depth cleared, depth test and blending on,
// glOrtho(0, viewWidth, 0, viewHeight, 100, -100), identity modelview.
void startFrame(const Canvas& canvas, float viewWidth, float viewHeight);

// glFinish, then the canvas's pixels.
Picture readPicture(const Canvas& canvas);

// Pins the driver module that the context loaded, so that it is still
// there, by name, when the leak checker runs at exit. Platform file:
// gl_driver_posix.cpp.
void keepGlDriverLoaded();

// The first pixel where two pictures differ, as "x,y: r g b a vs r g b a";
// empty when they are the same size and identical.
std::string firstDifference(const Picture& a, const Picture& b);
