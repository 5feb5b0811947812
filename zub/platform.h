// The few operating-system calls the path library needs, one realisation
// per platform (platform_posix.cpp, platform_win32.cpp), picked by the build.
#pragma once

#include <cstdio>
#include <string>

namespace zub {
namespace platform {

// '/' on POSIX, '\' on Windows.
char nativeSeparator();

// The running process's id.
unsigned long processId();

// The working directory, however long; empty when it cannot be had.
std::string workingDirectory();

// Creates one directory whose parent exists; false on failure. POSIX: as
// root, in a folder of another user, it is handed to that folder's owner
// and group, so that root leaves nothing of its own among a user's files.
bool makeDirectory(const char* path);

// makeDirectory() for the settings folder itself: POSIX gives it mode 0700
// whatever the umask, for the user alone. False when it was not made.
bool makeSettingsFolder(const char* path);

// True when something (anything) exists at `path`.
bool pathExists(const char* path);

// True when `path` can be opened for reading and is a regular file (a
// directory, fifo, socket or device gives false; none of them blocks).
bool readableFile(const char* path);

// The path to read and write for the existing settings file `path`, or the
// empty string when it must be passed over as if it did not exist.
// POSIX: every link on the way to it (of the folders too, at most 40) must
// belong to the user (or root) and lie in a folder that no other user may
// write (group write only for the user's own group); the file at the end
// must be a regular file of the user's that the user may read, checked on
// the opened descriptor, in a folder of the user's or root's, whatever that
// folder's permission bits. The user is the effective user, and for root
// also the owner of $HOME (root run with a user's HOME works on that user's
// files). The result is `path` itself when no link was followed, else the
// path with every link resolved. Nothing that blocks is opened. Windows:
// `path` itself when readableFile(path) and it is no link or junction.
std::string usableSettingsFile(const std::string& path);

// Where a new settings file for the candidate `path` may be made, its
// folder being there already: the empty string, with `problem` saying why
// in a few words (naming the path), when it may not. POSIX: the folder must
// be reached through links that usableSettingsFile() would follow and
// belong to the user or root, and nothing may be at `path`; the result is
// then `path`, or its link-free form when a link was followed. Windows:
// `path` when nothing is there. Whether the folder takes the new file is
// known only by making it.
std::string newSettingsFilePath(const std::string& path, std::string& problem);

// Opens the existing regular file `path` with fopen mode `mode` ("r", "w",
// "a", each with an optional "+" and "b"). Never follows a link in the last
// component, never blocks, never creates; "w" empties the file only after
// it is known to be a regular file of the user's (POSIX: owned by the user
// as usableSettingsFile() means it). nullptr for anything else.
FILE* openRegularFile(const char* path, const char* mode);

// The value of environment variable `name` (UTF-8) into `value`, UTF-8;
// false when the variable is not set. Windows reads the wide environment,
// so a value in any script arrives whole.
bool environmentVariable(const char* name, std::string& value);

}  // namespace platform
}  // namespace zub
