#include "tests/app/x_client.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <poll.h>

#include <chrono>
#include <fstream>

namespace testing_support {

namespace {

// The toolkit tells auto-repeat from typing by asking the server, as it
// handles a release, whether that key is down: if so it drops the release
// and the next press. A browser lagging behind the keys would so drop a
// second press of the same key made while it had not yet handled the
// first one's release. Each press and its release are therefore sent in
// one batch, which the server turns into input together, so the key is
// never seen down between two presses; and each press waits this long
// on the server, so no two presses share a millisecond stamp either.
constexpr unsigned long kPressGap = 3;

Display* dpy(XClient& client) { return static_cast<Display*>(client.display); }

// Xlib's default handler ends the process on any error; a refused focus
// or a vanished window must be an answer instead.
int lastError = 0;
int recordError(Display*, XErrorEvent* event) {
  lastError = event->error_code;
  return 0;
}

// Runs everything sent so far and reports whether the server refused any.
bool syncOk(Display* d) {
  lastError = 0;
  XSync(d, False);
  return lastError == 0;
}

// The key codes to hold, modifiers first, for an xdotool-style key name
// ("ctrl+j", "Q"); empty when the name is unknown.
std::vector<KeyCode> keyCodesFor(Display* d, const std::string& key) {
  std::vector<KeyCode> codes;
  std::string name = key;
  if (name.size() > 5 && name.compare(0, 5, "ctrl+") == 0) {
    codes.push_back(XKeysymToKeycode(d, XK_Control_L));
    name = name.substr(5);
  }
  const KeySym sym = XStringToKeysym(name.c_str());
  const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(d, sym);
  if (code == 0) return {};
  if (XkbKeycodeToKeysym(d, code, 0, 0) != sym) codes.push_back(XKeysymToKeycode(d, XK_Shift_L));
  codes.push_back(code);
  return codes;
}

}  // namespace

bool Screenshot::pixel(int x, int y, int& r, int& g, int& b) const {
  if (x < left || y < top || x >= left + width || y >= top + height) return false;
  const std::size_t i = (static_cast<std::size_t>(y - top) * static_cast<std::size_t>(width) +
                         static_cast<std::size_t>(x - left)) * 3;
  r = rgb[i];
  g = rgb[i + 1];
  b = rgb[i + 2];
  return true;
}

XClient::~XClient() { disconnect(*this); }

void disconnect(XClient& client) {
  if (client.display) XCloseDisplay(dpy(client));
  client.display = nullptr;
}

bool connectTo(XClient& client, const std::string& name, std::string& why) {
  Display* d = XOpenDisplay(name.c_str());
  if (!d) {
    why = "cannot open display " + name;
    return false;
  }
  XSetErrorHandler(recordError);
  int event, error, major, minor;
  if (!XTestQueryExtension(d, &event, &error, &major, &minor)) {
    XCloseDisplay(d);
    why = "display " + name + " has no XTEST extension";
    return false;
  }
  client.display = d;
  return true;
}

unsigned long findViewableWindow(XClient& client, const std::string& title) {
  Display* d = dpy(client);
  Window root = 0, parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
  unsigned long found = 0;
  for (unsigned int i = 0; i < count && found == 0; ++i) {
    char* name = nullptr;

    if (XFetchName(d, children[i], &name) && name) {
      XWindowAttributes attributes;
      if (title == name && XGetWindowAttributes(d, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        found = children[i];
      }
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

bool windowPlace(XClient& client, unsigned long window, Place& place) {
  Display* d = dpy(client);
  Window root = 0, child = 0;
  int x = 0, y = 0;
  unsigned int width = 0, height = 0, border = 0, depth = 0;
  if (!XGetGeometry(d, window, &root, &x, &y, &width, &height, &border, &depth) || !syncOk(d))
    return false;
  // A window's own origin is relative to its parent, which under wine or a
  // window manager need not be the root.
  if (!XTranslateCoordinates(d, window, root, 0, 0, &x, &y, &child) || !syncOk(d)) return false;
  place = {x, y, static_cast<int>(width), static_cast<int>(height)};
  return true;
}

bool windowHasIcon(XClient& client, unsigned long window) {
  Display* d = dpy(client);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int result = XGetWindowProperty(d, window, XInternAtom(d, "_NET_WM_ICON", False), 0, 2,
                                        False, XA_CARDINAL, &type, &format, &count, &after, &data);
  if (data) XFree(data);
  // Width and height of the first image, then its pixels.
  return result == Success && type == XA_CARDINAL && format == 32 && count == 2 && after > 0;
}

bool focusWindow(XClient& client, unsigned long window) {
  Display* d = dpy(client);
  XSetInputFocus(d, window, RevertToPointerRoot, CurrentTime);
  if (!syncOk(d)) return false;
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(d, &focused, &revert);
  return focused == window;
}

bool holdsFocus(XClient& client, unsigned long window) {
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(dpy(client), &focused, &revert);
  return focused == window;
}

bool pressKey(XClient& client, const std::string& key) {
  Display* d = dpy(client);
  const std::vector<KeyCode> codes = keyCodesFor(d, key);
  if (codes.empty()) return false;
  for (KeyCode code : codes) XTestFakeKeyEvent(d, code, True, kPressGap);
  for (auto it = codes.rbegin(); it != codes.rend(); ++it) XTestFakeKeyEvent(d, *it, False, 0);
  return syncOk(d);
}

bool holdKey(XClient& client, unsigned long window, const std::string& key, int repeats) {
  Display* d = dpy(client);
  const std::vector<KeyCode> codes = keyCodesFor(d, key);
  if (codes.size() != 1) return false;
  // Key events go to every client that asks for them, so the test sees
  // the server's repeats on the browser's window as the browser does.
  XSelectInput(d, window, KeyPressMask);
  XTestFakeKeyEvent(d, codes[0], True, kPressGap);
  bool ok = syncOk(d);
  int presses = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ok && presses < 1 + repeats && std::chrono::steady_clock::now() < end) {
    if (XPending(d) == 0) {
      struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
      poll(&p, 1, 100);
      continue;
    }
    XEvent event;
    XNextEvent(d, &event);
    if (event.type == KeyPress && event.xkey.keycode == codes[0]) ++presses;
  }
  XSelectInput(d, window, NoEventMask);
  return syncOk(d) && ok && presses >= 1 + repeats;
}

bool releaseKey(XClient& client, const std::string& key) {
  Display* d = dpy(client);
  const std::vector<KeyCode> codes = keyCodesFor(d, key);
  if (codes.size() != 1) return false;
  XTestFakeKeyEvent(d, codes[0], False, 0);
  return syncOk(d);
}

bool clickAt(XClient& client, int x, int y, int button) {
  Display* d = dpy(client);
  XTestFakeMotionEvent(d, -1, x, y, 0);
  XTestFakeButtonEvent(d, static_cast<unsigned>(button), True, kPressGap);
  XTestFakeButtonEvent(d, static_cast<unsigned>(button), False, 0);
  return syncOk(d);
}

Screenshot grabRect(XClient& client, int left, int top, int width, int height) {
  Screenshot shot;
  Display* d = dpy(client);
  const int screenWidth = DisplayWidth(d, DefaultScreen(d));
  const int screenHeight = DisplayHeight(d, DefaultScreen(d));
  const int right = std::min(left + width, screenWidth);
  const int bottom = std::min(top + height, screenHeight);
  left = std::max(left, 0);
  top = std::max(top, 0);
  if (right <= left || bottom <= top) return shot;

  XImage* image = XGetImage(d, DefaultRootWindow(d), left, top, static_cast<unsigned>(right - left),
                            static_cast<unsigned>(bottom - top), AllPlanes, ZPixmap);
  if (!image) return shot;
  shot.left = left;
  shot.top = top;
  shot.width = image->width;
  shot.height = image->height;
  shot.rgb.resize(static_cast<std::size_t>(shot.width) * static_cast<std::size_t>(shot.height) * 3);
  std::size_t i = 0;
  // The tests' Xvfb screens are 24-bit TrueColor: 0xRRGGBB pixels.
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      shot.rgb[i++] = static_cast<uint8_t>(p >> 16);
      shot.rgb[i++] = static_cast<uint8_t>(p >> 8);
      shot.rgb[i++] = static_cast<uint8_t>(p);
    }
  }
  XDestroyImage(image);
  return shot;
}

bool resizeWindow(XClient& client, unsigned long window, int width, int height) {
  Display* d = dpy(client);
  XResizeWindow(d, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  return syncOk(d);
}

namespace {

bool sendProtocol(XClient& client, unsigned long window, const char* protocol) {
  Display* d = dpy(client);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, protocol, False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(d, window, False, NoEventMask, &event);
  return syncOk(d) && sent != 0;
}

}  // namespace

bool sendCloseRequest(XClient& client, unsigned long window) {
  return sendProtocol(client, window, "WM_DELETE_WINDOW");
}

bool sendTakeFocus(XClient& client, unsigned long window) {
  return sendProtocol(client, window, "WM_TAKE_FOCUS");
}

bool pingWindow(XClient& client, unsigned long window) {
  Display* d = dpy(client);
  const Window root = DefaultRootWindow(d);
  const Atom ping = XInternAtom(d, "_NET_WM_PING", False);
  static long serial = 0;
  const long stamp = ++serial;
  XSelectInput(d, root, SubstructureNotifyMask);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(ping);
  event.xclient.data.l[1] = stamp;
  event.xclient.data.l[2] = static_cast<long>(window);
  bool answered = false;
  if (XSendEvent(d, window, False, NoEventMask, &event) != 0 && syncOk(d)) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!answered && std::chrono::steady_clock::now() < end) {
      if (XPending(d) == 0) {
        struct pollfd p = {ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, 100);
        continue;
      }
      XNextEvent(d, &event);
      answered = event.type == ClientMessage && event.xclient.window == root &&
                 static_cast<Atom>(event.xclient.data.l[0]) == ping && event.xclient.data.l[1] == stamp;
    }
  }
  XSelectInput(d, root, NoEventMask);
  return syncOk(d) && answered;
}

bool destroyWindow(XClient& client, unsigned long window) {
  Display* d = dpy(client);
  XDestroyWindow(d, window);
  return syncOk(d);
}

bool writePpm(const Screenshot& shot, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << shot.width << " " << shot.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(shot.rgb.data()),
            static_cast<std::streamsize>(shot.rgb.size()));
  return static_cast<bool>(out);
}

}  // namespace testing_support
