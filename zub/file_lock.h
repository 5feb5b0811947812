// What two running instances need to share one settings file: a lock that
// makes their read-merge-write steps take turns, and a stamp that tells
// whether the file changed since it was last read or written.
// One realisation per platform (file_lock_posix.cpp, file_lock_win32.cpp),
// picked by the build.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zub {

// An advisory lock on the folder that holds a settings file. POSIX: flock
// on the folder's own descriptor, so no file has to exist for it (nothing
// can be planted in its place). Windows: a named mutex per folder.
struct FolderLock {
  intptr_t handle = -1;  // descriptor or mutex handle; -1 while not held
};

// Takes the lock of the folder of `filePath` (the path of a settings file
// in it), waiting up to about two seconds while another process holds it.
// The result is not held (handle -1) when the folder cannot be opened or
// the wait runs out: a save then goes ahead without it rather than hang
// on a lock someone else keeps.
FolderLock lockFolderOf(const std::string& filePath);

// Releases `lock` when it is held; it is not held afterwards.
void unlockFolder(FolderLock& lock);

// Enough of a file's identity and state to see that it was replaced or
// rewritten: equal stamps mean the same content as far as the file system
// tells. A missing or unreadable file has exists false.
struct FileStamp {
  bool exists = false;
  uint64_t device = 0, inode = 0, size = 0, modified = 0, changed = 0;
  bool operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified && changed == other.changed;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of the file at `path` (the link itself is not followed).
FileStamp stampOf(const std::string& path);
// The stamp of the file open as `stream`.
FileStamp stampOf(FILE* stream);

}  // namespace zub
