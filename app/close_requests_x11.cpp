#include "app/close_requests.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <csignal>
#include <cstdlib>
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

// Every thread keeps the stop signals blocked from the start of main(),
// and one thread takes them with sigwait(): nothing of the program runs
// inside a signal handler (unless that thread cannot be made). The stop
// signals the program was started with ignored (nohup, a script's
// background job) are left out, and stay ignored.
sigset_t watchedSignals;

// The first stop signal taken; 0 while none came.
std::atomic<int> stopSignal{0};
// Set once the event loop takes stop requests; before that nothing has
// been shown, and a stop signal ends the program at once.
std::atomic<bool> loopTakesStops{false};

// How long the event loop has to save and end after a stop signal, before
// the signal thread ends the process anyway: a loop stuck on anything
// (an X server that does not answer, a file system that hangs) must not
// keep a stopped program alive. Every mark change is on disk by then.
constexpr long stopGraceMilliseconds = 1500;

Display* toolkitDisplay = nullptr;
Window watchedWindow = 0;
Atom protocolsAtom = 0;
Atom deleteWindowAtom = 0;
// The event loop sleeps in select() on the toolkit's X connection and has
// no timer, so a stop reaches it through the X server: the signal thread
// sends the window, on a connection of its own, the WM_DELETE_WINDOW
// message that the window manager's close would send.
Display* closeConnection = nullptr;
bool windowDestroyed = false;
// The thread that takes the stop signals could be made.
bool signalThread = false;

XErrorHandler defaultErrorHandler = nullptr;

XEvent closeMessage(Display* display) {
  XEvent close;
  std::memset(&close, 0, sizeof close);
  close.xclient.type = ClientMessage;
  close.xclient.display = display;
  close.xclient.window = watchedWindow;
  close.xclient.message_type = protocolsAtom;
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(deleteWindowAtom);
  return close;
}

// Ends the process by `signal`, its default action restored, from
// whichever thread calls it.
[[noreturn]] void endBySignal(int signal) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  raise(signal);
  pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  // Not reached: the default action of all three ends the process.
  std::_Exit(128 + signal);
}

void* takeStopSignals(void*) {
  int signal = 0;
  if (sigwait(&watchedSignals, &signal) != 0) return nullptr;
  stopSignal.store(signal);
  if (!loopTakesStops.load()) endBySignal(signal);
  if (closeConnection != nullptr) {
    XEvent close = closeMessage(closeConnection);
    XSendEvent(closeConnection, watchedWindow, False, NoEventMask, &close);
    XFlush(closeConnection);
  }
  // Later stop signals stay pending, and end the process once the save
  // is done (endAfterSave()), or once the grace has run out.
  struct timespec grace = {stopGraceMilliseconds / 1000, (stopGraceMilliseconds % 1000) * 1000000};
  while (nanosleep(&grace, &grace) != 0 && errno == EINTR) {
  }
  endBySignal(signal);
}

// After the save: the way the process was asked to end. A stop signal
// ends it by the same signal; anything else exits with `status`.
[[noreturn]] void endAfterSave(int status) {
  const int signal = stopSignal.load();
  if (signal != 0) endBySignal(signal);
  std::exit(status);
}

// The toolkit's close callback: the window manager's close, a destroyed
// window and a stop signal all arrive here, on the event loop.
void onWindowClose() {
  if (saveBeforeQuit()) endAfterSave(0);
}

// Where no thread can take the signals: a handler notes the first, and
// the loop looks for it a few times a second.
void noteStopSignal(int signal) {
  int none = 0;
  stopSignal.compare_exchange_strong(none, signal);
}

void pollStopSignal(int) {
  if (stopSignal.load() != 0) onWindowClose();
  glutTimerFunc(100, pollStopSignal, 0);
}

// Xlib's own handlers end the process with status 1 at once. Errors on
// the close connection concern only the close message, which is sent
// once; once the window is gone, the toolkit's own requests on it at exit
// (it destroys its windows then) fail. Anything else is still fatal.
int onXError(Display* display, XErrorEvent* error) {
  if (display == closeConnection || windowDestroyed) return 0;
  return defaultErrorHandler(display, error);
}

// The toolkit's connection lost (the X server gone, as at the end of a
// session, which often sends SIGHUP too): the marks and the selection are
// saved before the process ends, by the stop signal when one came, else
// with status 1 as Xlib's own handler would.
int onConnectionLost(Display* display) {
  if (display == toolkitDisplay && saveBeforeQuit()) endAfterSave(1);
  return 0;
}

// The close connection lost: its thread goes on without it. Xlib leaves
// the connection marked broken when this returns, instead of exiting.
void keepRunning(Display*, void*) {}

// The toolkit passes over DestroyNotify, so a window destroyed under it
// (xdotool windowclose, a crashed window manager) would leave the program
// running with no window. Xlib turns wire events into XEvents through a
// table of converters; the one for DestroyNotify on the toolkit's
// connection turns the destruction of the browser's window into the same
// WM_DELETE_WINDOW message.
Bool (*convertDestroyNotify)(Display*, XEvent*, xEvent*) = nullptr;

Bool destroyedWindowCloses(Display* display, XEvent* event, xEvent* wire) {
  const Bool keep = convertDestroyNotify(display, event, wire);
  if (keep && event->type == DestroyNotify && event->xdestroywindow.window == watchedWindow) {
    const unsigned long serial = event->xany.serial;
    *event = closeMessage(display);
    event->xclient.serial = serial;
    windowDestroyed = true;
  }
  return keep;
}

}  // namespace

void holdStopRequests() {
  sigemptyset(&watchedSignals);
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    struct sigaction current;
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaddset(&watchedSignals, signal);
  }
  pthread_sigmask(SIG_BLOCK, &watchedSignals, nullptr);
  // The toolkit's connection is the event loop's, the close connection
  // the signal thread's; Xlib's shared state then needs its locks.
  XInitThreads();
  pthread_t taker;
  if (pthread_create(&taker, nullptr, takeStopSignals, nullptr) == 0) {
    pthread_detach(taker);
    signalThread = true;
    return;
  }
  // Without the thread, a stop signal keeps its default action until the
  // event loop takes it.
  pthread_sigmask(SIG_UNBLOCK, &watchedSignals, nullptr);
}

void watchCloseRequests() {
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutCloseFunc(onWindowClose);

  toolkitDisplay = glXGetCurrentDisplay();
  watchedWindow = static_cast<Window>(glXGetCurrentDrawable());
  if (toolkitDisplay != nullptr && watchedWindow != 0) {
    protocolsAtom = XInternAtom(toolkitDisplay, "WM_PROTOCOLS", False);
    deleteWindowAtom = XInternAtom(toolkitDisplay, "WM_DELETE_WINDOW", False);
    convertDestroyNotify = XESetWireToEvent(toolkitDisplay, DestroyNotify, destroyedWindowCloses);
    if (convertDestroyNotify == nullptr) XESetWireToEvent(toolkitDisplay, DestroyNotify, nullptr);
    if (signalThread) closeConnection = XOpenDisplay(DisplayString(toolkitDisplay));
    if (closeConnection != nullptr) XSetIOErrorExitHandler(closeConnection, keepRunning, nullptr);
  }
  defaultErrorHandler = XSetErrorHandler(onXError);
  XSetIOErrorHandler(onConnectionLost);

  // From here a stop is the event loop's to act on; one the thread took
  // before has ended the program already.
  loopTakesStops.store(true);
  if (signalThread && closeConnection != nullptr) return;
  // The signal thread cannot wake the loop, or there is none: the loop
  // looks for a stop a few times a second, noted by the thread or, without
  // it, by a handler.
  if (!signalThread) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = noteStopSignal;
    action.sa_mask = watchedSignals;
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
      if (sigismember(&watchedSignals, signal)) sigaction(signal, &action, nullptr);
  }
  glutTimerFunc(100, pollStopSignal, 0);
}
