// A small X11 client for the end-to-end tests: screen contents read back
// and the window manager's close request, on a display of our own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// An RGB image, rows from the top of the screen.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3
  void pixel(int x, int y, int& r, int& g, int& b) const {
    const std::size_t i = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                           static_cast<std::size_t>(x)) * 3;
    r = rgb[i];
    g = rgb[i + 1];
    b = rgb[i + 2];
  }
};

// The whole root window of `display` (e.g. ":7"); an empty image on
// failure.
Screenshot grabScreen(const std::string& display);

// Sends window `window` the WM_PROTOCOLS / WM_DELETE_WINDOW client message
// a window manager sends when the user closes a window. False when the
// display cannot be opened or the message cannot be sent.
bool sendCloseRequest(const std::string& display, unsigned long window);

// Writes `shot` as a binary PPM (for a look at a failing screen).
bool writePpm(const Screenshot& shot, const std::string& path);

}  // namespace testing_support
