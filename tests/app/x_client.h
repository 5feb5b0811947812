// The end-to-end tests' own X client on a display of their own: finds and
// focuses the browser's window, types through XTEST, reads back only the
// screen rows a check needs, and plays the window manager's part (resize,
// close request).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// RGB pixels of a screen rectangle, rows from the top.
struct Screenshot {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width * height * 3
  // Pixel (x, y) in screen coordinates; false outside the rectangle.
  bool pixel(int x, int y, int& r, int& g, int& b) const;
};

// Where a window is on the screen: its inside's top-left corner in root
// coordinates and its size.
struct Place {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// One connection to one X display. Not copyable; closes on destruction.
struct XClient {
  XClient() = default;
  ~XClient();
  XClient(const XClient&) = delete;
  XClient& operator=(const XClient&) = delete;
  void* display = nullptr;  // Display*, kept out of this header
};

// Connects `client` to display `name` (e.g. ":7") and checks that it has
// the XTEST extension; false, with the reason in `why`, when it cannot.
bool connectTo(XClient& client, const std::string& name, std::string& why);

// Closes the connection (before the server goes away); nothing when none.
void disconnect(XClient& client);

// The top-level window titled `title` once it is viewable, 0 while there
// is none.
unsigned long findViewableWindow(XClient& client, const std::string& title);

// Where `window` is now; false when it cannot be read (e.g. it is gone).
bool windowPlace(XClient& client, unsigned long window, Place& place);

// True when `window` carries a _NET_WM_ICON with at least one image.
bool windowHasIcon(XClient& client, unsigned long window);

// Gives `window` the keyboard focus and checks that it holds it; false
// when the server refused it (e.g. the window is not viewable yet).
bool focusWindow(XClient& client, unsigned long window);

// True when `window` has the keyboard focus.
bool holdsFocus(XClient& client, unsigned long window);

// Sends `window` the WM_PROTOCOLS / WM_TAKE_FOCUS client message a window
// manager sends to a window it gives the focus.
bool sendTakeFocus(XClient& client, unsigned long window);

// Sends `window` a _NET_WM_PING and waits for its client's answer on the
// root window: the client has then handled every event sent to it before.
// False when no answer came within the wait limit.
bool pingWindow(XClient& client, unsigned long window);


// Presses and releases one key, named as xdotool names keys: an X keysym
// name ("Down", "BackSpace", "q", "Q"), optionally with a "ctrl+" prefix.
// Shift is added when the keysym needs it. The press and its release
// reach the server in one batch, so the toolkit never takes a second
// press of the same key for auto-repeat, however far the browser lags
// behind (see x_client.cpp). False when the name is unknown or the server
// refused the events.
bool pressKey(XClient& client, const std::string& key);

// Presses `key` and keeps it down until the server has auto-repeated it
// at least `repeats` times on `window` (seen as extra presses). It goes on
// repeating until another key is pressed, which takes the repeat over
// and ends it on its release. False when no repeat arrived within the
// wait limit. releaseKey() lets it go.
bool holdKey(XClient& client, unsigned long window, const std::string& key, int repeats);
// Releases a held `key`.
bool releaseKey(XClient& client, const std::string& key);

// Moves the pointer to (x, y) and clicks `button` there.
bool clickAt(XClient& client, int x, int y, int button);

// The screen rectangle (left, top, width, height), clipped to the screen;
// an empty Screenshot when it cannot be read.
Screenshot grabRect(XClient& client, int left, int top, int width, int height);

// Resizes `window` as a window manager would; false on failure.
bool resizeWindow(XClient& client, unsigned long window, int width, int height);

// Sends `window` the WM_PROTOCOLS / WM_DELETE_WINDOW client message a
// window manager sends when the user closes a window.
bool sendCloseRequest(XClient& client, unsigned long window);

// Destroys `window` under its client, as xdotool windowclose does.
bool destroyWindow(XClient& client, unsigned long window);

// Writes `shot` as a binary PPM (for a look at a failing screen).
bool writePpm(const Screenshot& shot, const std::string& path);

}  // namespace testing_support
