// Directory streams: reading the names in one directory, one at a time.
// On POSIX this wraps the system's opendir/readdir/closedir
// (dir_stream_posix.cpp); Windows has no such calls, so dir_stream_win32.cpp
// realises them over the system's wide-character file search, handing out
// names in UTF-8.
#pragma once

#include <memory>

#include "zub/entry_kind.h"

namespace zub {

// One open listing; whoever opens it closes it with closeDir().
struct DirStream;

// What readDir() returns. `name` is valid until the next readDir() or
// closeDir() on the same stream; callers copy it at once.
struct DirEntry {
  const char* name;
};

// Opens a listing of directory `name`. Null when `name` is null or empty
// (errno EINVAL), when memory runs out (ENOMEM), or when `name` is no
// directory that can be read (errno as the platform's search left it).
DirStream* openDir(const char* name);

// The next entry of `stream`, "." and ".." included when the platform
// reports them; null at the end, on an error, or for a null or closed
// stream (errno EBADF).
const DirEntry* readDir(DirStream* stream);

// What the listing says about the kind of the entry readDir() last
// returned, without a further call; EntryKind::unknown when it does not
// tell.
EntryKind entryKind(const DirStream& stream);

// Ends the listing and frees `stream`. 0 on success; -1 with errno EBADF for
// a null stream or when ending the search fails.
int closeDir(DirStream* stream);

// Owns an open listing and ends it with closeDir() when it goes; holds
// null when openDir() failed.
struct DirStreamClose {
  void operator()(DirStream* stream) const { closeDir(stream); }
};
using DirStreamHandle = std::unique_ptr<DirStream, DirStreamClose>;

}  // namespace zub
