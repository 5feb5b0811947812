#include "zub/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace zub {
namespace {

FileStamp stampFrom(const struct stat& st) {
  FileStamp stamp;
  stamp.exists = true;
  stamp.device = static_cast<uint64_t>(st.st_dev);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.modified = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                   static_cast<uint64_t>(st.st_mtim.tv_nsec);
  stamp.changed = static_cast<uint64_t>(st.st_ctim.tv_sec) * 1000000000u +
                  static_cast<uint64_t>(st.st_ctim.tv_nsec);
  return stamp;
}

}  // namespace

FolderLock lockFolderOf(const std::string& filePath) {
  FolderLock lock;
  const size_t slash = filePath.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : slash == 0 ? "/" : filePath.substr(0, slash);
  // Read-only and a directory: opening it can neither block nor change
  // anything, whatever it is.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return lock;
  // Another user who may read the folder could hold the lock for ever;
  // after a bounded wait the save goes on without it.
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      lock.handle = fd;
      return lock;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    const timespec pause{0, 10 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  close(fd);
  return lock;
}

void unlockFolder(FolderLock& lock) {
  if (lock.handle < 0) return;
  // Closing the only descriptor of the open folder releases the lock.
  close(static_cast<int>(lock.handle));
  lock.handle = -1;
}

FileStamp stampOf(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return FileStamp();
  return stampFrom(st);
}

FileStamp stampOf(FILE* stream) {
  struct stat st;
  if (stream == nullptr || fstat(fileno(stream), &st) != 0) return FileStamp();
  return stampFrom(st);
}

}  // namespace zub
