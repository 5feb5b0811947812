#include "zub/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "zub/path.h"

namespace zub {
namespace {

// Waits for the lock on the open folder `fd`, which it then owns; closes
// `fd` when the wait runs out. Another user who may read the folder could
// hold the lock for ever; after a bounded wait the save goes on without it.
FolderLock lockOpenFolder(int fd) {
  if (fd < 0) return FolderLock();
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock(fd);
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    const timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  close(fd);
  return FolderLock();
}

}  // namespace

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    // Closing the only descriptor of the open folder releases the lock.
    if (handle != -1) close(static_cast<int>(handle));
    handle = other.handle;
    other.handle = -1;
  }
  return *this;
}

FolderLock::~FolderLock() {
  if (handle != -1) close(static_cast<int>(handle));
}

FolderLock lockFolderOf(const std::string& filePath) {
  const std::string folder = folderOf(filePath);
  // Read-only and a directory: opening it can neither block nor change
  // anything, whatever it is.
  return lockOpenFolder(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

FolderLock lockFolder(intptr_t folder, const std::string& folderPath) {
  if (folder == -1) return lockFolderOf(folderPath + "/");
  // A description of its own: flock belongs to the open folder, and the
  // caller's descriptor must stay unlocked when this one is closed.
  return lockOpenFolder(openat(static_cast<int>(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace zub
