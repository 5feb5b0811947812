#include "app/close_requests.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>

// Xlib's own, declared in Xlibint.h, whose min and max macros would break
// the C++ headers.
extern "C" Bool (*XESetWireToEvent(Display*, int, Bool (*)(Display*, XEvent*, xEvent*)))(
    Display*, XEvent*, xEvent*);

#include "app/commands.h"

namespace {

// Set by a signal; what the event loop acts on when it wakes.
volatile sig_atomic_t stopRequested = 0;

// The event loop sleeps in select() on the toolkit's X connection and has
// no timer, so a signal has to reach it through that connection: the
// handler writes a prepared SendEvent request on a second connection of
// its own (write() is safe in a handler; Xlib is not), and the server
// hands the toolkit a WM_DELETE_WINDOW message for the window, which ends
// the program the way the window manager's close does.
int wakeFd = -1;
unsigned char wakeRequest[44];

Window watchedWindow = 0;
Atom protocolsAtom = 0;
Atom deleteWindowAtom = 0;

void onStopSignal(int) {
  const int savedErrno = errno;
  if (!stopRequested) {
    stopRequested = 1;
    if (wakeFd >= 0) {
      const ssize_t ignored = write(wakeFd, wakeRequest, sizeof wakeRequest);
      (void)ignored;
    }
  }
  errno = savedErrno;
}

void put32(unsigned char* at, uint32_t value) { std::memcpy(at, &value, sizeof value); }

// The request in the connection's byte order, which Xlib makes the
// client's own: SendEvent (25) of a ClientMessage (33), format 32, type
// WM_PROTOCOLS, data WM_DELETE_WINDOW, to the client that made the window
// (event mask 0).
void prepareWakeRequest() {
  std::memset(wakeRequest, 0, sizeof wakeRequest);
  wakeRequest[0] = X_SendEvent;
  const uint16_t length = sizeof wakeRequest / 4;
  std::memcpy(wakeRequest + 2, &length, sizeof length);
  put32(wakeRequest + 4, static_cast<uint32_t>(watchedWindow));
  unsigned char* event = wakeRequest + 12;
  event[0] = ClientMessage;
  event[1] = 32;
  put32(event + 4, static_cast<uint32_t>(watchedWindow));
  put32(event + 8, static_cast<uint32_t>(protocolsAtom));
  put32(event + 12, static_cast<uint32_t>(deleteWindowAtom));
}

bool openWakeConnection(Display* toolkitDisplay) {
  // Kept for the life of the process and never used through Xlib again,
  // so the stream stays at a request boundary for the handler's write.
  static Display* own = nullptr;
  own = XOpenDisplay(DisplayString(toolkitDisplay));
  if (own == nullptr) return false;
  XSync(own, False);
  wakeFd = ConnectionNumber(own);
  return true;
}

// The toolkit passes over DestroyNotify, so a window destroyed under it
// (xdotool windowclose, a crashed window manager) would leave the program
// running with no window. Xlib turns wire events into XEvents through a
// table of converters; the one for DestroyNotify on the toolkit's
// connection turns the destruction of the browser's window into the same
// WM_DELETE_WINDOW message.
Bool (*convertDestroyNotify)(Display*, XEvent*, xEvent*) = nullptr;

// Once the window is gone, the toolkit's own requests on it at exit (it
// destroys its windows then) fail, and Xlib's default handler would end
// the process with status 1 from inside exit().
int ignoreXError(Display*, XErrorEvent*) { return 0; }

Bool destroyedWindowCloses(Display* display, XEvent* event, xEvent* wire) {
  const Bool keep = convertDestroyNotify(display, event, wire);
  if (keep && event->type == DestroyNotify && event->xdestroywindow.window == watchedWindow) {
    XEvent close;
    std::memset(&close, 0, sizeof close);
    close.xclient.type = ClientMessage;
    close.xclient.serial = event->xany.serial;
    close.xclient.send_event = False;
    close.xclient.display = display;
    close.xclient.window = watchedWindow;
    close.xclient.message_type = protocolsAtom;
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(deleteWindowAtom);
    *event = close;
    XSetErrorHandler(ignoreXError);
  }
  return keep;
}

// Without a wake connection the loop looks at the flag a few times a
// second instead.
void pollStopFlag(int) {
  if (stopRequested) quitBrowser();
  glutTimerFunc(100, pollStopFlag, 0);
}

}  // namespace

void watchCloseRequests() {
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutCloseFunc(onWindowClose);

  Display* display = glXGetCurrentDisplay();
  watchedWindow = static_cast<Window>(glXGetCurrentDrawable());
  bool wakes = false;
  if (display != nullptr && watchedWindow != 0) {
    protocolsAtom = XInternAtom(display, "WM_PROTOCOLS", False);
    deleteWindowAtom = XInternAtom(display, "WM_DELETE_WINDOW", False);
    convertDestroyNotify = XESetWireToEvent(display, DestroyNotify, destroyedWindowCloses);
    if (convertDestroyNotify == nullptr) XESetWireToEvent(display, DestroyNotify, nullptr);
    prepareWakeRequest();
    wakes = openWakeConnection(display);
  }
  if (!wakes) glutTimerFunc(100, pollStopFlag, 0);

  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) sigaddset(&action.sa_mask, signal);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) sigaction(signal, &action, nullptr);
}
