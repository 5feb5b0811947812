// What two running instances need to share one settings file: a lock that
// makes their read-merge-write steps take turns. One realisation per
// platform (file_lock_linux.cpp, file_lock_win32.cpp), picked by the build.
#pragma once

#include <cstdint>
#include <string>

namespace zub {

// An advisory lock that makes the saves of one settings file take turns,
// held for as long as this handle owns it: the destructor (or a move over
// it) releases it. Linux: a write lock (OFD) of the file itself, which
// only a descriptor open for writing can take, so no one who may not
// write the file can hold it; a file that a save replaced meanwhile is
// locked afresh. Where the caller may not write the file, or there is
// none yet, flock on a descriptor of the folder's own instead. Windows: a
// named mutex per folder.
struct FolderLock {
  intptr_t handle = -1;  // descriptor or mutex handle; -1 while not held

  FolderLock() = default;
  explicit FolderLock(intptr_t held) : handle(held) {}
  FolderLock(FolderLock&& other) noexcept : handle(other.handle) { other.handle = -1; }
  FolderLock& operator=(FolderLock&& other) noexcept;
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  ~FolderLock();

  // True while the lock is held.
  bool held() const { return handle != -1; }
};

// Takes the lock for the settings file `filePath`, waiting up to about two
// seconds while another process holds it. The result is not held when the
// folder cannot be opened or the wait runs out: a save then goes ahead
// without it rather than hang on a lock someone else keeps.
FolderLock lockFolderOf(const std::string& filePath);

// lockFolderOf() for the file `name` in the folder open as `folder`
// (POSIX: its descriptor, which every step goes through, so the file
// locked is the one that descriptor was checked on); where the platform
// has no folder descriptors (Windows, `folder` -1), the folder at
// `folderPath`.
FolderLock lockFolder(intptr_t folder, const std::string& folderPath, const std::string& name);

}  // namespace zub
