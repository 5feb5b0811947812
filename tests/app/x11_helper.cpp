#include "tests/app/x11_helper.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fstream>

namespace testing_support {

namespace {

// The position of the lowest set bit and the width of a channel mask.
void maskShape(unsigned long mask, int& shift, int& bits) {
  shift = 0;
  bits = 0;
  if (mask == 0) return;
  while (!(mask & 1ul)) {
    mask >>= 1;
    ++shift;
  }
  while (mask & 1ul) {
    mask >>= 1;
    ++bits;
  }
}

uint8_t channel(unsigned long pixel, int shift, int bits) {
  if (bits == 0) return 0;
  const unsigned long value = (pixel >> shift) & ((1ul << bits) - 1);
  return static_cast<uint8_t>(value * 255 / ((1ul << bits) - 1));
}

}  // namespace

Screenshot grabScreen(const std::string& display) {
  Screenshot shot;
  Display* x = XOpenDisplay(display.c_str());
  if (!x) return shot;
  const Window root = DefaultRootWindow(x);
  XWindowAttributes attributes;
  XGetWindowAttributes(x, root, &attributes);
  XImage* image = XGetImage(x, root, 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image) {
    int rs, rb, gs, gb, bs, bb;
    maskShape(image->red_mask, rs, rb);
    maskShape(image->green_mask, gs, gb);
    maskShape(image->blue_mask, bs, bb);
    shot.width = image->width;
    shot.height = image->height;
    shot.rgb.resize(static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height) * 3);
    std::size_t i = 0;
    for (int y = 0; y < shot.height; ++y) {
      for (int xx = 0; xx < shot.width; ++xx) {
        const unsigned long p = XGetPixel(image, xx, y);
        shot.rgb[i++] = channel(p, rs, rb);
        shot.rgb[i++] = channel(p, gs, gb);
        shot.rgb[i++] = channel(p, bs, bb);
      }
    }
    XDestroyImage(image);
  }
  XCloseDisplay(x);
  return shot;
}

bool sendCloseRequest(const std::string& display, unsigned long window) {
  Display* x = XOpenDisplay(display.c_str());
  if (!x) return false;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(x, window, False, NoEventMask, &event);
  XSync(x, False);
  XCloseDisplay(x);
  return sent != 0;
}

bool writePpm(const Screenshot& shot, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << shot.width << " " << shot.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(shot.rgb.data()),
            static_cast<std::streamsize>(shot.rgb.size()));
  return static_cast<bool>(out);
}

}  // namespace testing_support
