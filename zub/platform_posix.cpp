#include "zub/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace platform
}  // namespace zub
