// The first directory, opened beside the toolkit's start: on a second
// thread where the platform build has one (background_posix.cpp), at once
// on the calling thread otherwise (background_win32.cpp). Picked by CMake.
#pragma once

#include <string>

// Starts openDirectory(path, browserState), which needs no window. Nothing
// else may touch browserState until finishOpeningFirstDirectory() has
// returned. Once per run. An exit of the process while the open runs
// waits for it to finish first, so that exit-time destruction never meets
// it half way.
void startOpeningFirstDirectory(std::string path);

// Returns once the open has finished; at once when none was started.
// Everything the open wrote is then visible to the caller.
void finishOpeningFirstDirectory();
