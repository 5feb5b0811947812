#include "zub/platform.h"
#include "zub/platform_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zub {
namespace platform {

void prepareProcess() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, nullptr);
}

char nativeSeparator() { return '/'; }

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

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
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

FILE* openRegularFileAt(int folder, const char* name, const char* mode, OpenedFileCheck accept) {
  const bool update = std::strchr(mode, '+') != nullptr;
  int flags = update ? O_RDWR : O_WRONLY;
  switch (mode[0]) {
    case 'r': flags = update ? O_RDWR : O_RDONLY; break;
    case 'w': break;
    case 'a': flags |= O_APPEND; break;
    default: errno = EINVAL; return nullptr;
  }
  // O_NONBLOCK: a fifo without a writer must not hang the open; it is
  // turned away by the fstat that follows, like a device or a directory.
  // O_NOCTTY: a terminal planted there must not become the controlling
  // terminal of a program started without one before it is turned away.
  const int fd = openat(folder, name, flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  int error = 0;
  if (fstat(fd, &st) != 0) error = errno;
  else if (!S_ISREG(st.st_mode)) error = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
  else if (accept != nullptr && !accept(folder, st, flags != O_RDONLY)) error = EACCES;
  else if (mode[0] == 'w' && ftruncate(fd, 0) != 0) error = errno;
  FILE* stream = error == 0 ? fdopen(fd, mode) : nullptr;
  if (stream == nullptr) {
    if (error == 0) error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

FILE* openRegularFile(const char* path, const char* mode) {
  return openRegularFileAt(AT_FDCWD, path, mode);
}

bool environmentVariable(const char* name, std::string& value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  value = found;
  return true;
}

bool skipHole(FILE* stream, uint64_t& offset) {
  const int fd = fileno(stream);
  if (fd < 0) return true;
  const off_t at = static_cast<off_t>(offset);
  const off_t data = lseek(fd, at, SEEK_DATA);
  if (data < 0 && errno == ENXIO) return false;
  // The stream is moved in every other case: lseek may have moved its
  // descriptor.
  if (data > at) offset = static_cast<uint64_t>(data);
  fseeko(stream, static_cast<off_t>(offset), SEEK_SET);
  return true;
}

}  // namespace platform
}  // namespace zub
