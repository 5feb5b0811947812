// Ending the program from outside its keys: the window manager's close, a
// window destroyed under the program, and the requests to stop that the
// platform sends a process (POSIX: SIGTERM, SIGHUP, SIGINT; Windows: the
// console's Ctrl+C, close, logoff and shutdown events). Each saves the
// marks and the selection on the event loop, as the quit key does. The
// window's close (and Windows' console events) then exit with status 0; a
// stop signal ends the process by that same signal, so that whoever
// started it (a shell script) sees how it ended. One realisation per
// window system (close_requests_x11.cpp, close_requests_win32.cpp),
// picked by the build.
#pragma once

// Call first in the main routine, before any thread exists: from here on
// a stop request is held, not acted on, until watchCloseRequests() takes
// it, so one that comes during start-up still saves. (Windows: nothing to
// hold; the console's events are taken from watchCloseRequests() on.)
void holdStopRequests();

// Call once, after the window is created and while it is the current one,
// and after any start-up thread has finished, right before the event loop.
// Registers the toolkit's close handling and takes the platform's stop
// requests, held ones included. A request to stop only wakes the event
// loop, which then saves and ends the process; nothing is saved from
// inside a signal handler or beside the event loop.
void watchCloseRequests();
