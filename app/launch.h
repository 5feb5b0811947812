// Handing a file to the system so that it runs, or opens with the
// application associated with its type. One realisation per platform
// (launch_posix.cpp, launch_win32.cpp), picked by the build.
#pragma once

#include <string>

// Starts `fullPath` (an absolute path, as the browser builds it) without
// waiting and without a visible console; the path reaches the new process
// byte for byte as one argument, never through a shell. On POSIX a regular
// file the user may execute that starts as a program does ("#!" or an ELF
// header, or cannot be read to tell) is run directly, and handed to the
// opener when that run cannot start; anything else goes to the opener,
// `xdg-open` found on PATH. The new process is detached: its own session,
// standard streams on /dev/null, no other inherited descriptors, never
// waited for and never left as a zombie. On both platforms the launched
// program (on POSIX the opener too) starts in the folder that holds the
// file, as a file manager starts it; the browser's own working directory
// does not change. Run as root with another user's HOME (sudo -E), both
// get root's own environment, not that user's (app/launch_environment.h).
// On Windows `fullPath` is UTF-8; a path that is not
// strict UTF-8, or one the shell would read as another file (trailing dots
// or blanks, a device name, more than 260 characters) and for which the
// volume keeps no short alias, launches nothing.
// Reports nothing: a launch that fails (no opener, exec failure, a path
// that vanished, a path holding a NUL byte) shows nothing.
void launchFile(const std::string& fullPath);
