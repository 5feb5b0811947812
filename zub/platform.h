// The few operating-system calls the zub library needs, one realisation
// per platform (platform_posix.cpp, platform_win32.cpp), picked by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zub {
namespace platform {

// Sets up, once at start-up, what every file write of the program relies
// on. POSIX: SIGXFSZ is ignored, so that a write past the file-size limit
// (ulimit -f) fails with EFBIG like any other write error instead of
// ending the process. Windows: nothing.
void prepareProcess();

// '/' on POSIX, '\' on Windows.
char nativeSeparator();

// The running process's id.
unsigned long processId();

// The working directory, however long; empty when it cannot be had.
std::string workingDirectory();

// Creates one directory whose parent exists; false on failure.
bool makeDirectory(const char* path);

// True when something (anything) exists at `path`.
bool pathExists(const char* path);

// True when `path` can be opened for reading and is a regular file (a
// directory, fifo, socket or device gives false; none of them blocks).
bool readableFile(const char* path);

// Opens the existing regular file `path` with fopen mode `mode` ("r", "w",
// "a", each with an optional "+" and "b"). Never follows a link in the last
// component, never blocks, never creates; "w" empties the file only after
// it is known to be a regular file. nullptr for anything else.
FILE* openRegularFile(const char* path, const char* mode);

// The value of environment variable `name` (UTF-8) into `value`, UTF-8;
// false when the variable is not set. Windows reads the wide environment,
// so a value in any script arrives whole.
bool environmentVariable(const char* name, std::string& value);

// Moves the read position of `stream`, which stands at byte `offset` of
// the file with nothing of it buffered, past a hole (bytes a sparse file
// does not store, which read as zeros) that starts there; `offset` follows
// it. False when the hole runs to the end of the file: only zero bytes
// follow, and the position is left as it was. True otherwise, also where
// the platform or the stream cannot tell (Windows, a stream on memory).
bool skipHole(FILE* stream, uint64_t& offset);

}  // namespace platform
}  // namespace zub
