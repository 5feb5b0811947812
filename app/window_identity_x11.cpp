#include "app/window_identity.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

#include "app/icon_images.h"

namespace {

// _NET_WM_ICON: for each size its width, its height, then its pixels as
// ARGB, all CARDINALs. Xlib takes format-32 data as longs, whatever their
// width.
std::vector<unsigned long> iconProperty() {
  std::vector<unsigned long> data;
  for (size_t i = 0; i < iconImageCount; ++i) {
    const IconImage& image = iconImages[i];
    data.push_back(image.width);
    data.push_back(image.height);
    const size_t count = static_cast<size_t>(image.width) * image.height;
    data.insert(data.end(), image.argb, image.argb + count);
  }
  return data;
}

}  // namespace

bool setWindowIdentity() {
  // freeglut hides its X handles, but the window it has just created is
  // the current GLX drawable, on freeglut's own display connection, so
  // these requests reach the server in order after the window's creation.
  Display* display = glXGetCurrentDisplay();
  const GLXDrawable window = glXGetCurrentDrawable();
  if (!display || window == None) return false;

  char name[sizeof windowClass];
  char klass[sizeof windowClass];
  std::copy(windowClass, windowClass + sizeof windowClass, name);
  std::copy(windowClass, windowClass + sizeof windowClass, klass);
  XClassHint hint;
  hint.res_name = name;
  hint.res_class = klass;
  XSetClassHint(display, window, &hint);

  const std::vector<unsigned long> icon = iconProperty();
  const Atom netWmIcon = XInternAtom(display, "_NET_WM_ICON", False);
  XChangeProperty(display, window, netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(icon.data()),
                  static_cast<int>(icon.size()));
  XFlush(display);
  return true;
}
