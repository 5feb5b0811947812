// Handing a file to the system so that it runs, or opens with the
// application associated with its type. One realisation per platform
// (launch_posix.cpp, launch_win32.cpp), picked by the build.
#pragma once

#include <string>

// Starts `fullPath` without waiting and without a visible console; the
// path reaches the new process byte for byte, never through a shell.
// Reports nothing: a launch that fails shows nothing.
void launchFile(const std::string& fullPath);
