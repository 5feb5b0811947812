// The program's main routine, and the platform's entry point that runs it
// (entry_posix.cpp: main; entry_win32.cpp: the windowed WinMain).
#pragma once

// Start-up, then the toolkit's event loop, which does not return in normal
// operation. `argc` and `argv` as the runtime parsed the command line, the
// program's path first. Returns 0 should the loop ever return.
int runBrowser(int argc, char** argv);
