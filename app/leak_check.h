// Where the leak check of a sanitized build runs. freeglut's exit handler
// closes the X display, and Mesa unloads its driver with it; a leak check
// that runs after that cannot tell the driver's allocations (which the
// suppressions cover) from ours. One realisation per build, picked by
// CMake: leak_check_sanitize.cpp, leak_check_off.cpp.
#pragma once

// Call right after glutInit: registers (sanitized build) a leak check that
// runs at exit before the toolkit's own exit handler. Does nothing in a
// normal build.
void checkLeaksBeforeToolkitExit();
