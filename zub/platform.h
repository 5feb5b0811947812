// The few operating-system calls the path library needs, one realisation
// per platform (platform_posix.cpp, platform_win32.cpp), picked by the build.
#pragma once

#include <string>

namespace zub {
namespace platform {

// '/' on POSIX, '\' on Windows.
char nativeSeparator();

// The working directory, however long; empty when it cannot be had.
std::string workingDirectory();

// Creates one directory whose parent exists; false on failure.
bool makeDirectory(const char* path);

// True when something (anything) exists at `path`.
bool pathExists(const char* path);

// True when `path` can be opened for reading and is a regular file (a
// directory, fifo, socket or device gives false; none of them blocks).
bool readableFile(const char* path);

}  // namespace platform
}  // namespace zub
