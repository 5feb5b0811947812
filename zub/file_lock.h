// What two running instances need to share one settings file: a lock that
// makes their read-merge-write steps take turns. One realisation per
// platform (file_lock_posix.cpp, file_lock_win32.cpp), picked by the build.
#pragma once

#include <cstdint>
#include <string>

namespace zub {

// An advisory lock on the folder that holds a settings file, held for as
// long as this handle owns it: the destructor (or a move over it) releases
// it. POSIX: flock on a descriptor of the folder's own, so no file has to
// exist for it (nothing can be planted in its place). Windows: a named
// mutex per folder.
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

// Takes the lock of the folder of `filePath` (the path of a settings file
// in it), waiting up to about two seconds while another process holds it.
// The result is not held when the folder cannot be opened or the wait runs
// out: a save then goes ahead without it rather than hang on a lock
// someone else keeps.
FolderLock lockFolderOf(const std::string& filePath);

// lockFolderOf() for the folder open as `folder` (POSIX: its descriptor,
// which the lock opens afresh through, so the folder locked is the one
// that descriptor was checked on); where the platform has no folder
// descriptors (Windows, `folder` -1), the folder at `folderPath`.
FolderLock lockFolder(intptr_t folder, const std::string& folderPath);

}  // namespace zub
