#include "zub/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zub {
namespace platform {

char nativeSeparator() { return '/'; }

std::string workingDirectory() {
  // Grow the buffer until the directory fits: a deep working directory is
  // no reason to answer with nothing.
  std::vector<char> buffer(1024);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
  return std::string(buffer.data());
}

bool makeDirectory(const char* path) { return mkdir(path, 0777) == 0; }

bool pathExists(const char* path) {
  struct stat st;
  return stat(path, &st) == 0;
}

bool readableFile(const char* path) {
  // O_NONBLOCK keeps a fifo without a writer from hanging the open.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

namespace {

// The folder of `path`: its text up to the last '/', "." when it has none.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A folder in which only the running user can add, remove or rename
// files. Group write is allowed for the user's own group, which is the
// user's private group wherever umask 002 makes folders group-writable.
bool privateFolder(const std::string& folder) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != geteuid() || (st.st_mode & S_IWOTH) != 0) return false;
  return (st.st_mode & S_IWGRP) == 0 || st.st_gid == getegid();
}

bool ownRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
         privateFolder(folderOf(path));
}

}  // namespace

std::string usableSettingsFile(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return std::string();
  std::string target = path;
  if (S_ISLNK(st.st_mode)) {
    // Only the user's own link, in the user's own folder, is followed: one
    // planted by someone else could lead anywhere.
    if (st.st_uid != geteuid() || !privateFolder(folderOf(path))) return std::string();
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::string();
    target = resolved;
    free(resolved);
  }
  if (!ownRegularFile(target) || !readableFile(target.c_str())) return std::string();
  return target;
}

bool createEmptyFile(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  return true;
}

FILE* openRegularFile(const char* path, const char* mode) {
  const bool update = std::strchr(mode, '+') != nullptr;
  int flags = update ? O_RDWR : O_WRONLY;
  switch (mode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': break;
    case 'a': flags |= O_APPEND; break;
    default: return nullptr;
  }
  // O_NONBLOCK: a fifo without a writer must not hang the open; it is
  // turned away by the fstat that follows, like a device or a directory.
  const int fd = open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      (mode[0] == 'w' && ftruncate(fd, 0) != 0)) {
    close(fd);
    return nullptr;
  }
  FILE* stream = fdopen(fd, mode);
  if (stream == nullptr) close(fd);
  return stream;
}

bool environmentVariable(const char* name, std::string& value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  value = found;
  return true;
}

std::string legacyBytes(const std::string&) { return std::string(); }

}  // namespace platform
}  // namespace zub
