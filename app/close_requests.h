// Ending the program from outside its keys: the window manager's close, a
// window destroyed under the program, and the requests to stop that the
// platform sends a process (POSIX: SIGTERM, SIGHUP, SIGINT; Windows: the
// console's Ctrl+C, close, logoff and shutdown events). Each ends the
// program as the quit key does: quitBrowser() on the event loop, so the
// marks and the selection are saved and the exit status is 0. One
// realisation per platform (close_requests_posix.cpp for X11,
// close_requests_win32.cpp), picked by the build.
#pragma once

// Call once, after the window is created and while it is the current one,
// and after any start-up thread has finished, right before the event loop.
// Registers the toolkit's close handling and the platform's stop requests.
// A request to stop only sets a flag and wakes the event loop, which then
// saves and exits; nothing is saved from inside a signal handler.
void watchCloseRequests();
