// Ending the program from outside its keys: the window manager's close, a
// window destroyed under the program, and the requests to stop that the
// platform sends a process (POSIX: SIGTERM, SIGHUP, SIGINT; Windows: the
// console's Ctrl+C, close, logoff and shutdown events). Each saves the
// marks and the selection on the event loop, as the quit key does. The
// window's close (and Windows' console events) then exit with status 0; a
// stop signal ends the process by that same signal, so that whoever
// started it (a shell script) sees how it ended. A stop request ends the
// process within two seconds even when the event loop cannot save (every
// mark change is on disk already); one that comes before the event loop
// runs ends it at once, since nothing has been shown. A stop signal the
// program was started with ignored (nohup) stays ignored. One realisation
// per window system (close_requests_x11.cpp, close_requests_win32.cpp),
// picked by the build.
#pragma once

// Call first in the main routine, before any thread exists: from here on
// every thread leaves the stop signals to one thread of their own, which
// ends the process by the signal at once until watchCloseRequests() has
// run. (Windows: nothing to do; the console's events are taken from
// watchCloseRequests() on, and end the process at once before.)
void holdStopRequests();

// Call once, after the window is created and while it is the current one,
// and after any start-up thread has finished, right before the event loop.
// Registers the toolkit's close handling and takes the platform's stop
// requests. A request to stop wakes the event loop, which then saves and
// ends the process; nothing is saved from inside a signal handler or
// beside the event loop. When the loop has not ended the process about
// 1.5 s after a request, the process is ended anyway (by the signal).
void watchCloseRequests();
