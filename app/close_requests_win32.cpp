#include "app/close_requests.h"

#include <windows.h>
#include <GL/freeglut.h>

#include <csignal>
#include <cstdlib>

#include "app/commands.h"

namespace {

// Set by the console's handler, which Windows runs on a thread of its own.
volatile std::sig_atomic_t stopRequested = 0;
HWND watchedWindow = nullptr;

// The request goes to the event loop as the window manager's close would:
// the toolkit's close handling then saves and exits on its own thread.
BOOL WINAPI onConsoleEvent(DWORD) {
  stopRequested = 1;
  if (watchedWindow != nullptr) PostMessageA(watchedWindow, WM_CLOSE, 0, 0);
  // The event loop gets 1.5 s to save and exit, which ends this thread
  // too. A loop stuck on anything must not keep the program alive: then
  // the system's own handling of the event ends the process.
  Sleep(1500);
  return FALSE;
}

// The toolkit's close callback, for the window manager's close and the
// console's events alike.
void onWindowClose() {
  if (saveBeforeQuit()) std::exit(0);
}

}  // namespace

void holdStopRequests() {}

void watchCloseRequests() {
  glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
  glutCloseFunc(onWindowClose);
  watchedWindow = WindowFromDC(wglGetCurrentDC());
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
