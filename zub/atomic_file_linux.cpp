#include "zub/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zub/atomic_file_calls_linux.h"
#include "zub/atomic_file_internal.h"
#include "zub/path.h"

namespace zub {

int (*syncCall)(int fd) = fsync;
int (*renameCall)(int fromFolder, const char* from, int toFolder, const char* to) = renameat;

namespace {

// Removes `name` from `dirFd` when it is the running user's own (or, for
// root, the folder owner's, whom root's saves give their files): a
// leftover temporary, or a link of the user's own that only stands in the
// way (removing a link leaves its target alone). Whatever another user put
// under a temporary's name in a folder others may write stays.
void removeOwnLeftover(int dirFd, const char* name) {
  struct stat st, folder;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
    return;
  const bool own = st.st_uid == geteuid() ||
                   (geteuid() == 0 && fstat(dirFd, &folder) == 0 && st.st_uid == folder.st_uid);
  if (own) unlinkat(dirFd, name, 0);
}

// Removes the temporaries of `base` in `dirFd` whose writer is gone. One of
// our own is a leftover too: saves run one at a time, so none is under way.
void removeStaleTemporaries(int dirFd, const std::string& base) {
  const int listFd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return;
  }
  const std::string prefix = temporaryPrefix(base);
  while (const dirent* entry = readdir(dir)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name + prefix.size(), &end, 10);
    if (end == entry->d_name + prefix.size() || *end != '-' || pid <= 0) continue;
    const bool gone = pid == static_cast<long>(getpid()) ||
                      (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
    if (gone) removeOwnLeftover(dirfd(dir), entry->d_name);
  }
  closedir(dir);
}

bool writeAll(int fd, const char* data, size_t size, off_t offset) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the content of `source` into `fd` from its start, piece by piece
// through one buffer; false when a piece does not reach the file. `size`
// becomes the length of what was written.
bool writeContent(int fd, const ContentSource& source, off_t& size) {
  // Saves run one at a time, so one buffer serves them all; its pages stay
  // with the process instead of being mapped afresh on every save.
  static char piece[contentPieceCapacity];
  // A write past the file-size limit must fail with EFBIG, not end the
  // process through SIGXFSZ.
  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &previous);
  bool ok = true;
  uint64_t offset = 0;
  for (;;) {
    const size_t n = source.fill(source.context, offset, piece, sizeof piece);
    if (n == 0) break;
    if (n > sizeof piece || !writeAll(fd, piece, n, static_cast<off_t>(offset))) {
      ok = false;
      break;
    }
    offset += n;
  }
  sigaction(SIGXFSZ, &previous, nullptr);
  size = static_cast<off_t>(offset);
  return ok;
}

// The folder and the last component of `path`.
struct PathParts {
  std::string folder;
  std::string base;
};
PathParts split(const std::string& path) { return {folderOf(path), baseName(path.c_str())}; }

// A file open for writing that no one else can reach yet: unnamed
// (O_TMPFILE) where the file system allows, else under a temporary name.
struct Temporary {
  int fd = -1;
  std::string name;  // empty while unnamed
};

// The name a temporary of `base` gets: the fixed one under the lock (what
// a killed writer left there goes first), else one of its own.
std::string nextTemporaryName(int dirFd, const std::string& base, bool locked, int attempt) {
  if (!locked || attempt > 0) return temporaryName(base);
  const std::string name = lockedTemporaryName(base);
  removeOwnLeftover(dirFd, name.c_str());
  return name;
}

Temporary openTemporary(int dirFd, const std::string& base, bool mayBeUnnamed, bool locked) {
  Temporary temporary;
  // Mode 0666 lets the umask decide for a new file, as for any other.
  if (mayBeUnnamed) temporary.fd = openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (temporary.fd >= 0) return temporary;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary.name = nextTemporaryName(dirFd, base, locked, attempt);
    temporary.fd = openat(dirFd, temporary.name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (temporary.fd >= 0 || errno != EEXIST) break;
  }
  if (temporary.fd < 0) temporary.name.clear();
  return temporary;
}

// Gives an unnamed temporary the name `name`; false when it stays unnamed.
bool nameTemporary(Temporary& temporary, int dirFd, const std::string& name) {
  if (!temporary.name.empty()) return true;
  bool linked = linkat(temporary.fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0;
  if (!linked && errno != EEXIST) {
    // AT_EMPTY_PATH needs a capability most users lack; /proc does not.
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", temporary.fd);
    linked = linkat(AT_FDCWD, self, dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  if (linked) temporary.name = name;
  return linked;
}

// `path` rewritten where it lies, for a folder that takes no temporary.
// A kill in the middle leaves a mixed file here, which is why this is
// only the way out when the atomic way is closed.
bool rewriteInPlace(int dirFd, const std::string& base, const struct stat& old,
                    const ContentSource& source) {
  const int fd = openat(dirFd, base.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat now;
  off_t size = 0;
  bool ok = fstat(fd, &now) == 0 && S_ISREG(now.st_mode) && now.st_ino == old.st_ino &&
            now.st_dev == old.st_dev && writeContent(fd, source, size) &&
            ftruncate(fd, size) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

enum class Outcome { written, failed, unnamable };

// Gives the new file `fd` in folder `dirFd` its owner, group and mode,
// before it has content or a name anyone else could see: those of the file
// `old` it replaces, so that a save by root leaves a user's file the
// user's; for a new file that root makes in another user's folder, that
// folder's owner and group. An owner or a group the writer may not give
// (a root-owned file that a user's save replaces, a group the user is not
// in) stays the writer's own rather than the save not being made at all.
// False when the mode cannot be given.
bool giveOwnership(int fd, int dirFd, const struct stat* old) {
  struct stat made, folder;
  if (fstat(fd, &made) != 0) return false;
  uid_t owner = made.st_uid;
  gid_t group = made.st_gid;
  if (old != nullptr) {
    owner = old->st_uid;
    group = old->st_gid;
  } else if (geteuid() == 0) {
    if (fstat(dirFd, &folder) != 0) return false;
    if (folder.st_uid != 0) {
      owner = folder.st_uid;
      group = folder.st_gid;
    }
  }
  if ((owner != made.st_uid || group != made.st_gid) && fchown(fd, owner, group) != 0 &&
      group != made.st_gid) {
    fchown(fd, static_cast<uid_t>(-1), group);
  }
  return old == nullptr || fchmod(fd, old->st_mode & 07777) == 0;
}

// Fills `temporary` and moves it to `base`: over the file `old`, or, when
// `old` is null, only where nothing is.
Outcome fillAndMove(Temporary& temporary, int dirFd, const std::string& base,
                    const struct stat* old, const ContentSource& source, bool locked) {
  if (!giveOwnership(temporary.fd, dirFd, old)) return Outcome::failed;
  off_t size = 0;
  if (!writeContent(temporary.fd, source, size) || syncCall(temporary.fd) != 0) return Outcome::failed;
  if (old == nullptr && temporary.name.empty()) {
    // An unnamed file is linked straight to its name; linkat never
    // replaces anything, a dangling link included.
    if (nameTemporary(temporary, dirFd, base)) {
      temporary.name.clear();  // it is the file now, not a temporary
      return Outcome::written;
    }
    return errno == EEXIST ? Outcome::failed : Outcome::unnamable;
  }
  if (temporary.name.empty() &&
      !nameTemporary(temporary, dirFd, nextTemporaryName(dirFd, base, locked, 0)) &&
      !nameTemporary(temporary, dirFd, temporaryName(base)))
    return Outcome::unnamable;
  const bool moved =
      old == nullptr
          ? renameat2(dirFd, temporary.name.c_str(), dirFd, base.c_str(), RENAME_NOREPLACE) == 0
          : renameCall(dirFd, temporary.name.c_str(), dirFd, base.c_str()) == 0;
  if (!moved) return Outcome::failed;
  temporary.name.clear();
  return Outcome::written;
}

// A descriptor of `folder` that fsync accepts where the folder may be
// read, and that still serves as a base for *at() calls where it may not.
int openFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? fd : open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// Writes the new content of the file `base` in the folder open as `dirFd`
// (`sweepKey` names it among the swept files); `old` is the file it
// replaces, or null for a file that must not exist yet. `error` receives
// the error number of the step that failed.
bool writeWhole(int dirFd, const std::string& sweepKey, const std::string& base,
                const struct stat* old, const ContentSource& source, bool locked, int& error) {
  error = 0;
  if (base.empty() || base == "." || base == ".." || base.find('/') != std::string::npos)
    return false;
  if (sweptFiles().insert(sweepKey).second) removeStaleTemporaries(dirFd, base);
  // Under the lock a killed writer's temporary has the fixed name: it goes
  // at every save, also when this save needs no named temporary itself.
  if (locked) removeOwnLeftover(dirFd, lockedTemporaryName(base).c_str());

  Outcome outcome = Outcome::failed;
  bool tookTemporary = false;
  // A second round with a named temporary where an unnamed one cannot be
  // given a name (no /proc, no capability for AT_EMPTY_PATH).
  for (bool mayBeUnnamed : {true, false}) {
    Temporary temporary = openTemporary(dirFd, base, mayBeUnnamed, locked);
    if (temporary.fd < 0) {
      error = errno;
      break;
    }
    tookTemporary = true;
    outcome = fillAndMove(temporary, dirFd, base, old, source, locked);
    if (outcome != Outcome::written) error = errno;
    close(temporary.fd);  // after fsync, nothing is left for close to report
    if (!temporary.name.empty()) unlinkat(dirFd, temporary.name.c_str(), 0);
    if (outcome != Outcome::unnamable) break;
  }

  // A folder the user may not write, holding a file the user may:
  // rewritten in place, as a program without atomic replacement would.
  if (!tookTemporary && old != nullptr && faccessat(dirFd, ".", W_OK, AT_EACCESS) != 0 &&
      faccessat(dirFd, base.c_str(), W_OK, AT_EACCESS) == 0) {
    if (rewriteInPlace(dirFd, base, *old, source)) outcome = Outcome::written;
    else error = errno;
  }
  // Makes the rename itself durable; a failure here loses nothing that
  // the rename has not already settled, so it is not reported.
  if (outcome == Outcome::written) {
    error = 0;
    syncCall(dirFd);
  } else {
    sweptFiles().erase(sweepKey);
  }
  return outcome == Outcome::written;
}

// replaceFile() in the open folder `dirFd`.
bool replaceIn(int dirFd, const std::string& sweepKey, const std::string& base,
               const ContentSource& source, bool locked, int& error) {
  struct stat old;
  if (fstatat(dirFd, base.c_str(), &old, AT_SYMLINK_NOFOLLOW) != 0) {
    error = errno;
    return errno == ENOENT && writeWhole(dirFd, sweepKey, base, nullptr, source, locked, error);
  }
  if (!S_ISREG(old.st_mode)) {
    error = S_ISDIR(old.st_mode) ? EISDIR : EEXIST;
    return false;
  }
  return writeWhole(dirFd, sweepKey, base, &old, source, locked, error);
}

}  // namespace

bool replaceFile(const std::string& path, const ContentSource& source, const FolderLock& lock) {
  const PathParts parts = split(path);
  const int dirFd = openFolder(parts.folder);
  if (dirFd < 0) return false;
  int error = 0;
  const bool written = replaceIn(dirFd, path, parts.base, source, lock.held(), error);
  close(dirFd);
  return written;
}

bool replaceFileIn(intptr_t folder, const std::string& folderPath, const std::string& name,
                   const ContentSource& source, const FolderLock& lock, int* error) {
  int failure = 0;
  const bool written =
      folder == -1 ? replaceFile(folderPath + "/" + name, source, lock)
                   : replaceIn(static_cast<int>(folder), folderPath + "/" + name, name, source,
                               lock.held(), failure);
  if (error != nullptr) *error = failure;
  return written;
}

bool createFile(const std::string& path, const ContentSource& source, const FolderLock& lock) {
  const PathParts parts = split(path);
  const int dirFd = openFolder(parts.folder);
  if (dirFd < 0) return false;
  int error = 0;
  const bool written =
      writeWhole(dirFd, path, parts.base, nullptr, source, lock.held(), error);
  close(dirFd);
  return written;
}

bool isWritableFile(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISREG(st.st_mode) && access(path, W_OK) == 0;
}

}  // namespace zub
