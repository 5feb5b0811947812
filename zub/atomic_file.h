// Writing a file whole, so that a crash, a kill or a full disk in
// the middle of a write leaves either the old file or the new one, and
// never a file that is not the program's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zub/file_lock.h"

namespace zub {

// The room a ContentSource is offered at each call: the one buffer every
// streamed save reuses, so a save costs this much memory whatever the
// size of the file.
constexpr size_t contentPieceCapacity = 256 * 1024;

// Produces the content of a file piece by piece: puts up to `capacity`
// bytes (always contentPieceCapacity) at `out` and returns how many, 0
// when the content is complete; returning more than `capacity` fails the
// save. `offset` is how many bytes it produced since the last call with
// offset 0: a writer that has to start over (a second temporary) calls it
// with 0 again, and it must then produce the same content from the start.
// It must not start another save.
struct ContentSource {
  size_t (*fill)(void* context, uint64_t offset, char* out, size_t capacity);
  void* context;
};

// Makes what `source` produces the whole content of the existing regular
// file `path` (never a link: the caller resolves links it trusts).
// Every realisation must: write the new content to a temporary in the
// folder of `path` and move it over `path` in one step; give it the owner,
// group and mode of the file it replaces (POSIX: the group only where the
// user may give it; otherwise the user's group, and the save goes on);
// remove temporaries of `path` that
// earlier saves left behind (a killed process, a failed write), at the
// first save of `path` in a run and at the save after a failed one; leave
// `path` as it was and no temporary behind when any step fails. Where the
// folder cannot take a temporary but the file may be written, the file is
// rewritten in place instead. Returns false when the content did not
// reach `path`; anything at `path` that is not a regular file gives false
// and is left alone. The content is text: on Windows each "\n" reaches the
// file as CR LF, as a stream opened with "w" writes it.
// A caller that holds `lock`, lockFolderOf(path) (zub/file_lock.h), has
// no other save of `path` running beside it: the temporary then takes one
// fixed name, and what a killed writer left under it is removed at every
// save, without reading the folder. A lock that is not held changes nothing.
bool replaceFile(const std::string& path, const ContentSource& source,
                 const FolderLock& lock = FolderLock());
// The same for the `size` bytes at `data`.
bool replaceFile(const std::string& path, const char* data, size_t size);
bool replaceFile(const std::string& path, const std::string& content);

// replaceFile() for the file `name` in the folder open as `folder`, every
// step relative to that descriptor (POSIX), so the folder written is the
// one the caller checked, whatever is done to its path meanwhile. Where
// the platform has no folder descriptors (Windows, `folder` -1) the file
// is `folderPath` + separator + `name`. `folderPath` names the folder in
// the record of swept files. On failure `error` (when given) receives the
// system's error number of the step that failed (0 when none says more).
bool replaceFileIn(intptr_t folder, const std::string& folderPath, const std::string& name,
                   const ContentSource& source, const FolderLock& lock, int* error = nullptr);

// Creates `path` with the given content (mode 0666 less the umask), as
// replaceFile() does for an existing file: the file appears at `path` only
// complete. POSIX: made by root in a folder of another user, it belongs to
// that folder's owner and group before it appears. Never through a link and never over anything: false when
// something (a dangling link included) is at `path` or appears there
// meanwhile.
bool createFile(const std::string& path, const ContentSource& source,
                const FolderLock& lock = FolderLock());
bool createFile(const std::string& path, const char* data, size_t size);

// True when the current user may write the existing file `path`.
bool isWritableFile(const char* path);

}  // namespace zub
