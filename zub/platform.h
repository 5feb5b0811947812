// The few operating-system calls the path library needs, one realisation
// per platform (platform_posix.cpp, platform_win32.cpp), picked by the build.
#pragma once

#include <cstdio>
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

// The path to read and write for the existing settings file `path`, or the
// empty string when it must be passed over as if it did not exist. POSIX:
// `path` must be a regular file owned by the running user in a folder that
// user owns and others cannot write (group write only for the user's own
// group); a link owned by the user stands for its target, which must pass
// the same test, and the result is then the target's path. Nothing that
// blocks, a fifo or device included, is opened. Windows: `path` itself when
// readableFile(path).
std::string usableSettingsFile(const std::string& path);

// Creates `path` as a new empty regular file (mode 0666 less the umask);
// never through a link and never over anything that exists. False when no
// file was created.
bool createEmptyFile(const char* path);

// Opens the existing regular file `path` with fopen mode `mode` ("r", "w",
// "a", each with an optional "+" and "b"). Never follows a link in the last
// component, never blocks, never creates; "w" empties the file only after
// it is known to be a regular file. nullptr for anything else.
FILE* openRegularFile(const char* path, const char* mode);

// The value of environment variable `name` (UTF-8) into `value`, UTF-8;
// false when the variable is not set. Windows reads the wide environment,
// so a value in any script arrives whole.
bool environmentVariable(const char* name, std::string& value);

// The bytes `utf8` had as a name before names were UTF-8 on this platform:
// Windows, its ANSI code page bytes. Empty when they are the same bytes
// (ASCII), when the code page cannot hold every character, and always on
// POSIX, whose names were never converted.
std::string legacyBytes(const std::string& utf8);

}  // namespace platform
}  // namespace zub
