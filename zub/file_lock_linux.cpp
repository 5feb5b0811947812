#include "zub/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "zub/path.h"

namespace zub {
namespace {

// Another holder is waited for 200 times 10 ms: one that never lets go
// costs a save two seconds, and the save then goes on without the lock.
constexpr int lockAttempts = 200;

void pauseBeforeRetry() {
  const timespec pause{0, 10 * 1000 * 1000};
  nanosleep(&pause, nullptr);
}

// Waits for the flock of the open folder `fd`, which it then owns; closes
// `fd` when the wait runs out. Only for a file that cannot be opened for
// writing: anyone who may read the folder can hold this lock.
FolderLock lockOpenFolder(int fd) {
  if (fd < 0) return FolderLock();
  for (int attempt = 0; attempt < lockAttempts; ++attempt) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return FolderLock(fd);
    if (errno != EWOULDBLOCK && errno != EINTR) break;
    pauseBeforeRetry();
  }
  close(fd);
  return FolderLock();
}

// The regular file `name` in `folder`, open for writing; -1 when it is
// missing, something else, or not the caller's to write.
int openForLock(int folder, const std::string& name) {
  const int fd = openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat st;
  if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    close(fd);
    return -1;
  }
  return fd;
}

// True when `fd` is still the file named `name` in `folder`: a save that
// held the lock may have replaced it meanwhile, and then the lock taken
// guards a file no one uses any more.
bool stillNamed(int fd, int folder, const std::string& name) {
  struct stat open, named;
  return fstat(fd, &open) == 0 && fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// The lock of the file `name` in `folder`: a write lock of the open file
// (OFD), which only a descriptor open for writing can take, so only those
// who may write the file hold it. Another user who opened the folder, or
// read the file, while they still could holds nothing that counts; nor
// does whoever holds a file that a save has replaced since. `noFile` is
// set when there is no file the caller may write to lock.
FolderLock lockFileIn(int folder, const std::string& name, bool& noFile) {
  noFile = false;
  int fd = openForLock(folder, name);
  if (fd < 0) {
    noFile = true;
    return FolderLock();
  }
  for (int attempt = 0; attempt < lockAttempts; ++attempt) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) {
      if (stillNamed(fd, folder, name)) return FolderLock(fd);
      close(fd);
      fd = openForLock(folder, name);
      if (fd < 0) break;
      continue;
    }
    if (errno != EAGAIN && errno != EACCES && errno != EINTR) break;
    pauseBeforeRetry();
  }
  if (fd >= 0) close(fd);
  return FolderLock();
}

}  // namespace

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
  if (this != &other) {
    // Closing the only descriptor of the open file releases the lock.
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
  // Only a base for the *at() calls: opening it can neither block nor
  // change anything, whatever it is.
  const int folder = open(folderOf(filePath).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return FolderLock();
  FolderLock held = lockFolder(folder, folderOf(filePath), baseName(filePath.c_str()));
  close(folder);
  return held;
}

FolderLock lockFolder(intptr_t folder, const std::string& folderPath, const std::string& name) {
  if (folder == -1) return lockFolderOf(folderPath + "/" + name);
  const int folderFd = static_cast<int>(folder);
  bool noFile = false;
  FolderLock held = lockFileIn(folderFd, name, noFile);
  if (!noFile) return held;
  // A description of its own: flock belongs to the open folder, and the
  // caller's descriptor must stay unlocked when this one is closed.
  return lockOpenFolder(openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

}  // namespace zub
