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
BOOL WINAPI onConsoleEvent(DWORD event) {
  stopRequested = 1;
  if (watchedWindow != nullptr) PostMessageA(watchedWindow, WM_CLOSE, 0, 0);
  // For these the process is ended once the handler returns: the event
  // loop gets a few seconds to save first (its exit ends this thread).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    Sleep(5000);
  return TRUE;
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
